package org.grabkit.features;

import java.util.LinkedHashMap;
import java.util.Map;
import org.w3c.dom.Element;

/** The node types that read as integers. */
final class IntegerKinds {
  private IntegerKinds() {}

  /** {@code Integer}: a constant, another node's value, or one chosen by an index. */
  static final class Plain extends IntegerNode {
    private Ref value;
    private long memory;
    private Ref index;
    private final Map<Long, Ref> indexed = new LinkedHashMap<>();
    private final Map<Long, Long> indexedMemory = new LinkedHashMap<>();
    private Ref fallback;
    private Ref min;
    private Ref max;
    private Ref inc;
    private final java.util.List<Node> copies = new java.util.ArrayList<>();

    Plain(NodeMap map, Def def) {
      super(map, def);
    }

    @Override
    void link() {
      super.link();
      value = value("Value", "pValue", false);
      if (value != null && value.node == null) {
        memory = value.constant.longValue();
      }
      String i = def.text("pIndex");
      if (i != null) {
        index = reference("pIndex", i);
        for (Element e : def.all("ValueIndexed")) {
          indexed.put(def.parseInteger("ValueIndexed", e.getAttribute("Index")),
              Ref.constant(def.parseInteger("ValueIndexed", e.getTextContent().trim())));
        }
        for (Element e : def.all("pValueIndexed")) {
          indexed.put(def.parseInteger("pValueIndexed", e.getAttribute("Index")),
              reference("pValueIndexed", e.getTextContent().trim()));
        }
        fallback = value("ValueDefault", "pValueDefault", false);
      } else if (value == null) {
        throw def.bad("Value", "the Integer has neither Value, pValue nor pIndex");
      }
      for (String c : def.texts("pValueCopy")) {
        copies.add(use("pValueCopy", c));
      }
      min = value("Min", "pMin", false);
      max = value("Max", "pMax", false);
      inc = value("Inc", "pInc", false);
    }

    private Ref selected() {
      long i = index.asLong();
      Ref r = indexed.get(i);
      if (r == null && fallback == null) {
        throw new FeatureException(FeatureException.Kind.NOT_READABLE, name(),
            name() + " has no value for " + index + " = " + i);
      }
      return r == null ? fallback : r;
    }

    @Override
    long get() {
      if (index != null) {
        Ref r = selected();
        if (r.node == null) {
          return indexedMemory.getOrDefault(index.asLong(), r.constant.longValue());
        }
        return r.asLong();
      }
      return value.node == null ? memory : value.asLong();
    }

    @Override
    void put(long v) {
      if (index != null) {
        Ref r = selected();
        if (r.node == null) {
          indexedMemory.put(index.asLong(), v);
        } else {
          r.node.setNumber(v);
        }
      } else if (value.node == null) {
        memory = v;
      } else {
        value.node.setNumber(v);
      }
      for (Node c : copies) {
        c.setNumber(v);
      }
    }

    @Override
    Node accessVia() {
      if (index != null) {
        Ref r = indexed.get(index.asLong());
        return r == null ? (fallback == null ? null : fallback.node) : r.node;
      }
      return value.node;
    }

    @Override
    long lo() {
      if (min != null) {
        return min.asLong();
      }
      return value != null && value.node != null ? value.node.numberMin().longValue() : Long.MIN_VALUE;
    }

    @Override
    long hi() {
      if (max != null) {
        return max.asLong();
      }
      return value != null && value.node != null ? value.node.numberMax().longValue() : Long.MAX_VALUE;
    }

    @Override
    long step() {
      return inc == null ? 1 : inc.asLong();
    }
  }

  /** {@code IntReg}: a whole register as a signed or unsigned integer. */
  static class IntReg extends IntegerNode {
    final Reg reg;
    final boolean signed;

    IntReg(NodeMap map, Def def, Reg reg) {
      super(map, def);
      this.reg = reg;
      String s = def.text("Sign", "Unsigned");
      if (!s.equals("Signed") && !s.equals("Unsigned")) {
        throw def.bad("Sign", "'" + s + "' is neither Signed nor Unsigned");
      }
      signed = s.equals("Signed");
    }

    @Override
    void link() {
      super.link();
      reg.link(this);
    }

    int bits() {
      int length = reg.length();
      if (length < 1 || length > 8) {
        throw def.bad("Length", "an integer register has 1 to 8 bytes, not " + length);
      }
      return length * 8;
    }

    @Override
    long get() {
      int bits = bits();
      return extend(reg.toLong(reg.read(this)), bits);
    }

    long extend(long raw, int bits) {
      if (bits >= 64) {
        return raw;
      }
      return signed ? (raw << (64 - bits)) >> (64 - bits) : raw;
    }

    @Override
    void put(long v) {
      bits();
      reg.write(this, reg.fromLong(v, reg.length()));
    }

    @Override
    long lo() {
      int bits = bits();
      return signed ? (bits >= 64 ? Long.MIN_VALUE : -(1L << (bits - 1))) : 0;
    }

    @Override
    long hi() {
      int bits = bits();
      if (signed) {
        return bits >= 64 ? Long.MAX_VALUE : (1L << (bits - 1)) - 1;
      }
      return bits >= 63 ? Long.MAX_VALUE : (1L << bits) - 1;
    }

    @Override
    Reg register() {
      return reg;
    }
  }

  /** {@code MaskedIntReg} and {@code StructEntry}: a bit field of a register. */
  static final class Masked extends IntReg {
    private final Def own;
    private final boolean shared;
    private int low;
    private int width;

    Masked(NodeMap map, Def own, Def register, Reg reg, boolean shared) {
      super(map, own, reg);
      this.own = own;
      this.shared = shared;
    }

    private long lsb;
    private long msb;
    private int layoutFor = -1;

    @Override
    void link() {
      super.link();
      String bit = own.text("Bit");
      if (bit != null) {
        lsb = msb = own.parseInteger("Bit", bit);
      } else {
        String l = own.text("LSB");
        String m = own.text("MSB");
        if (l == null || m == null) {
          throw own.bad("LSB", "a bit field needs Bit, or LSB and MSB");
        }
        lsb = own.parseInteger("LSB", l);
        msb = own.parseInteger("MSB", m);
      }
      if (reg.bigEndian ? lsb < msb : lsb > msb) {
        throw own.bad("LSB", "in a " + (reg.bigEndian ? "BigEndian" : "LittleEndian") + " register LSB ("
            + lsb + ") must not be " + (reg.bigEndian ? "below" : "above") + " MSB (" + msb + ")");
      }
    }

    // The register's length may come from another node, so the layout is worked out on use.
    private void layout() {
      int length = reg.length();
      if (length == layoutFor) {
        return;
      }
      int bits = length * 8;
      if (bits > 64 || bits < 8) {
        throw own.bad("Length", "a bit field's register has 1 to 8 bytes, not " + length);
      }
      // Bit 0 is the register's most significant bit in a BigEndian register.
      long l = reg.bigEndian ? bits - 1 - lsb : lsb;
      long m = reg.bigEndian ? bits - 1 - msb : msb;
      if (l < 0 || m >= bits) {
        throw own.bad("MSB", "bit " + Math.max(lsb, msb) + " is outside the " + bits + "-bit register");
      }
      low = (int) l;
      width = (int) (m - l + 1);
      layoutFor = length;
    }

    @Override
    FeatureAccess ownAccess() {
      String mode = shared ? own.text("AccessMode") : null;
      return mode == null ? reg.access() : accessMode(own, "AccessMode", mode);
    }

    @Override
    int bits() {
      layout();
      return width;
    }

    private long mask() {
      return width >= 64 ? -1L : (1L << width) - 1;
    }

    @Override
    long get() {
      layout();
      return extend((reg.toLong(reg.read(this)) >>> low) & mask(), width);
    }

    @Override
    void put(long v) {
      layout();
      long raw = reg.toLong(reg.read(this));
      raw = (raw & ~(mask() << low)) | ((v & mask()) << low);
      reg.write(this, reg.fromLong(raw, reg.length()));
    }
  }

  /** {@code IntConverter}: an integer computed from another node, both ways. */
  static final class Converter extends IntegerNode {
    private final Conversion conversion = new Conversion(true);

    Converter(NodeMap map, Def def) {
      super(map, def);
    }

    @Override
    void link() {
      super.link();
      conversion.linkBothWays(this);
    }

    @Override
    long get() {
      return conversion.get().longValue();
    }

    @Override
    void put(long v) {
      conversion.put(v);
    }

    @Override
    long lo() {
      return conversion.lo().longValue();
    }

    @Override
    long hi() {
      return conversion.hi().longValue();
    }

    @Override
    Node accessVia() {
      return conversion.target();
    }
  }

  /** {@code IntSwissKnife}: a read-only integer formula. */
  static final class SwissKnife extends IntegerNode {
    private final Conversion conversion = new Conversion(true);

    SwissKnife(NodeMap map, Def def) {
      super(map, def);
    }

    @Override
    void link() {
      super.link();
      conversion.linkFormula(this);
    }

    @Override
    long get() {
      return conversion.formulaValue().longValue();
    }

    @Override
    void put(long v) {
      throw new IllegalStateException();
    }

    @Override
    long lo() {
      return Long.MIN_VALUE;
    }

    @Override
    long hi() {
      return Long.MAX_VALUE;
    }

    @Override
    FeatureAccess ownAccess() {
      return FeatureAccess.RO;
    }
  }
}

package org.grabkit.features;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/** The node types that read as floating-point numbers. */
final class FloatKinds {
  private FloatKinds() {}

  /** {@code Float}: a constant or another node's value. */
  static final class Plain extends FloatNode {
    private Ref value;
    private double memory;
    private Ref min;
    private Ref max;
    private Ref inc;

    Plain(NodeMap map, Def def) {
      super(map, def);
    }

    @Override
    void link() {
      super.link();
      value = value("Value", "pValue", true);
      if (value == null) {
        throw def.bad("Value", "the Float has neither Value nor pValue");
      }
      if (value.node == null) {
        memory = value.constant.doubleValue();
      }
      min = value("Min", "pMin", true);
      max = value("Max", "pMax", true);
      inc = value("Inc", "pInc", true);
    }

    @Override
    double get() {
      return value.node == null ? memory : value.asDouble();
    }

    @Override
    void put(double v) {
      if (value.node == null) {
        memory = v;
      } else {
        value.node.setNumber(v);
      }
    }

    @Override
    double lo() {
      if (min != null) {
        return min.asDouble();
      }
      return value.node != null ? value.node.numberMin().doubleValue() : Double.NEGATIVE_INFINITY;
    }

    @Override
    double hi() {
      if (max != null) {
        return max.asDouble();
      }
      return value.node != null ? value.node.numberMax().doubleValue() : Double.POSITIVE_INFINITY;
    }

    @Override
    double step() {
      return inc == null ? Double.NaN : inc.asDouble();
    }

    @Override
    Node accessVia() {
      return value.node;
    }
  }

  /** {@code FloatReg}: an IEEE float (4 bytes) or double (8 bytes) register. */
  static final class FloatReg extends FloatNode {
    private final Reg reg;

    FloatReg(NodeMap map, Def def, Reg reg) {
      super(map, def);
      this.reg = reg;
    }

    @Override
    void link() {
      super.link();
      reg.link(this);
    }

    private ByteOrder order() {
      return reg.bigEndian ? ByteOrder.BIG_ENDIAN : ByteOrder.LITTLE_ENDIAN;
    }

    private int length() {
      int n = reg.length();
      if (n != 4 && n != 8) {
        throw def.bad("Length", "a FloatReg has 4 or 8 bytes, not " + n);
      }
      return n;
    }

    @Override
    double get() {
      int n = length();
      ByteBuffer b = ByteBuffer.wrap(reg.read(this)).order(order());
      return n == 4 ? b.getFloat() : b.getDouble();
    }

    @Override
    void put(double v) {
      int n = length();
      ByteBuffer b = ByteBuffer.allocate(n).order(order());
      if (n == 4) {
        b.putFloat((float) v);
      } else {
        b.putDouble(v);
      }
      reg.write(this, b.array());
    }

    @Override
    double lo() {
      return length() == 4 ? -Float.MAX_VALUE : -Double.MAX_VALUE;
    }

    @Override
    double hi() {
      return length() == 4 ? Float.MAX_VALUE : Double.MAX_VALUE;
    }

    @Override
    Reg register() {
      return reg;
    }
  }

  /** {@code Converter}: a float computed from another node, both ways. */
  static final class Converter extends FloatNode {
    private final Conversion conversion = new Conversion(false);

    Converter(NodeMap map, Def def) {
      super(map, def);
    }

    @Override
    void link() {
      super.link();
      conversion.linkBothWays(this);
    }

    @Override
    double get() {
      return conversion.get().doubleValue();
    }

    @Override
    void put(double v) {
      conversion.put(v);
    }

    @Override
    double lo() {
      return conversion.lo().doubleValue();
    }

    @Override
    double hi() {
      return conversion.hi().doubleValue();
    }

    @Override
    Node accessVia() {
      return conversion.target();
    }
  }

  /** {@code SwissKnife}: a read-only float formula. */
  static final class SwissKnife extends FloatNode {
    private final Conversion conversion = new Conversion(false);

    SwissKnife(NodeMap map, Def def) {
      super(map, def);
    }

    @Override
    void link() {
      super.link();
      conversion.linkFormula(this);
    }

    @Override
    double get() {
      return conversion.formulaValue().doubleValue();
    }

    @Override
    void put(double v) {
      throw new IllegalStateException();
    }

    @Override
    double lo() {
      return Double.NEGATIVE_INFINITY;
    }

    @Override
    double hi() {
      return Double.POSITIVE_INFINITY;
    }

    @Override
    FeatureAccess ownAccess() {
      return FeatureAccess.RO;
    }
  }
}

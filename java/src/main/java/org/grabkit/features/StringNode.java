package org.grabkit.features;

import java.nio.charset.StandardCharsets;
import java.util.Arrays;

/** A text feature, e.g. {@code DeviceUserID}. */
public abstract class StringNode extends Node {
  StringNode(NodeMap map, Def def) {
    super(map, def);
  }

  abstract String get();

  abstract void put(String value);

  /** @return the text, read from the device unless cached */
  public String value() {
    checkReadable();
    return get();
  }

  /**
   * Writes the text.
   *
   * @param value the new text
   * @throws FeatureException if it is not writable now or the text is longer than {@link #maxLength()}
   */
  public void setValue(String value) {
    checkWritable();
    long max = maxLength();
    int length = value.getBytes(StandardCharsets.UTF_8).length;
    if (length > max) {
      throw new FeatureException(FeatureException.Kind.OUT_OF_RANGE, name(),
          name() + ": " + length + " bytes of text do not fit in " + max);
    }
    put(value);
    map.changed(this);
  }

  /** @return the most bytes the text may have (UTF-8) */
  public abstract long maxLength();

  @Override
  public String text() {
    return value();
  }

  @Override
  void parse(String text) {
    setValue(text);
  }

  @Override
  boolean isValue() {
    return true;
  }

  @Override
  String kind() {
    return "String";
  }

  /** {@code String}: text kept by the node map. */
  static final class Plain extends StringNode {
    private String value;

    Plain(NodeMap map, Def def) {
      super(map, def);
      value = def.text("Value", "");
    }

    @Override
    String get() {
      return value;
    }

    @Override
    void put(String v) {
      value = v;
    }

    @Override
    public long maxLength() {
      return Integer.MAX_VALUE;
    }
  }

  /** {@code StringReg}: text in a register, up to the first NUL. */
  static final class Reg extends StringNode {
    private final org.grabkit.features.Reg reg;

    Reg(NodeMap map, Def def, org.grabkit.features.Reg reg) {
      super(map, def);
      this.reg = reg;
    }

    @Override
    void link() {
      super.link();
      reg.link(this);
    }

    @Override
    String get() {
      byte[] b = reg.read(this);
      int end = 0;
      while (end < b.length && b[end] != 0) {
        end++;
      }
      return new String(b, 0, end, StandardCharsets.UTF_8);
    }

    @Override
    void put(String v) {
      reg.write(this, Arrays.copyOf(v.getBytes(StandardCharsets.UTF_8), reg.length()));
    }

    @Override
    public long maxLength() {
      return reg.length();
    }

    @Override
    org.grabkit.features.Reg register() {
      return reg;
    }
  }
}

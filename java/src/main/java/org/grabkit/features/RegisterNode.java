package org.grabkit.features;

import java.util.HexFormat;

/** Raw register bytes, e.g. a lookup table or a {@code StructReg} as a whole. */
public final class RegisterNode extends Node {
  private final Reg reg;

  RegisterNode(NodeMap map, Def def, Reg reg) {
    super(map, def);
    this.reg = reg;
  }

  @Override
  void link() {
    super.link();
    reg.link(this);
  }

  /** @return the register's address now (it may depend on other features) */
  public long address() {
    return reg.address();
  }

  /** @return how many bytes it has */
  public int length() {
    return reg.length();
  }

  /** @return the bytes, read from the device unless cached */
  public byte[] bytes() {
    checkReadable();
    return reg.read(this);
  }

  /**
   * Writes the bytes.
   *
   * @param bytes exactly {@link #length()} bytes
   */
  public void setBytes(byte[] bytes) {
    checkWritable();
    if (bytes.length != reg.length()) {
      throw new FeatureException(FeatureException.Kind.OUT_OF_RANGE, name(),
          name() + " has " + reg.length() + " bytes, not " + bytes.length);
    }
    reg.write(this, bytes.clone());
    map.changed(this);
  }

  @Override
  public String text() {
    return HexFormat.of().formatHex(bytes());
  }

  @Override
  void parse(String text) {
    byte[] b;
    try {
      b = HexFormat.of().parseHex(text.trim());
    } catch (IllegalArgumentException e) {
      throw badText(text, "not hexadecimal bytes");
    }
    setBytes(b);
  }

  @Override
  Reg register() {
    return reg;
  }

  @Override
  String kind() {
    return "Register";
  }
}

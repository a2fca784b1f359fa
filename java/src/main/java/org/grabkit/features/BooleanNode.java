package org.grabkit.features;

/** A feature that is on or off, e.g. {@code ReverseX}. */
public final class BooleanNode extends Node {
  private Ref value;
  private long memory;
  private long on;
  private long off;

  BooleanNode(NodeMap map, Def def) {
    super(map, def);
  }

  @Override
  void link() {
    super.link();
    value = value("Value", "pValue", false);
    if (value == null) {
      throw def.bad("Value", "the Boolean has neither Value nor pValue");
    }
    if (value.node == null) {
      memory = value.constant.longValue();
    }
    on = def.integer("OnValue", 1);
    off = def.integer("OffValue", 0);
  }

  private long get() {
    return value.node == null ? memory : value.asLong();
  }

  /** @return whether it is on, read from the device unless cached */
  public boolean value() {
    checkReadable();
    return get() == on;
  }

  /**
   * Switches it on or off.
   *
   * @param value true for on
   */
  public void setValue(boolean value) {
    checkWritable();
    long v = value ? on : off;
    if (this.value.node == null) {
      memory = v;
    } else {
      this.value.node.setNumber(v);
    }
    map.changed(this);
  }

  @Override
  Node accessVia() {
    return value.node;
  }

  @Override
  public String text() {
    return Boolean.toString(value());
  }

  @Override
  void parse(String text) {
    String t = text.trim();
    if (t.equalsIgnoreCase("true") || t.equals("1")) {
      setValue(true);
    } else if (t.equalsIgnoreCase("false") || t.equals("0")) {
      setValue(false);
    } else {
      throw badText(text, "neither true nor false");
    }
  }

  @Override
  boolean isValue() {
    return true;
  }

  @Override
  Number number() {
    return get() == on ? 1L : 0L;
  }

  @Override
  void setNumber(Number v) {
    setValue(v.longValue() != 0);
  }

  @Override
  String kind() {
    return "Boolean";
  }
}

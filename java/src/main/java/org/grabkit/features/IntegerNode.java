package org.grabkit.features;

/**
 * A 64-bit integer feature, e.g. {@code Width}. Writes check the bounds and the increment
 * before anything reaches the device.
 */
public abstract class IntegerNode extends Node {
  IntegerNode(NodeMap map, Def def) {
    super(map, def);
  }

  abstract long get();

  abstract void put(long value);

  abstract long lo();

  abstract long hi();

  long step() {
    return 1;
  }

  /** @return the value, read from the device unless cached */
  public long value() {
    checkReadable();
    return get();
  }

  /**
   * Writes the value.
   *
   * @param value the new value
   * @throws FeatureException if it is not writable now or the value is out of range
   */
  public void setValue(long value) {
    checkWritable();
    set(value);
  }

  final void set(long value) {
    long min = lo();
    long max = hi();
    long inc = step();
    if (value < min || value > max || (inc > 1 && Math.floorMod(value - min, inc) != 0)) {
      throw new FeatureException(FeatureException.Kind.OUT_OF_RANGE, name(),
          name() + " = " + value + " is out of range: min " + min + ", max " + max + ", inc " + inc);
    }
    put(value);
    map.changed(this);
  }

  /** @return the smallest value */
  public long min() {
    return lo();
  }

  /** @return the largest value */
  public long max() {
    return hi();
  }

  /** @return the step between valid values, counted from {@link #min()} */
  public long inc() {
    return step();
  }

  /** @return the unit, empty when none */
  public String unit() {
    return def.text("Unit", "");
  }

  /** @return how to show the value: {@code Linear}, {@code HexNumber}, {@code IPV4Address}, ... */
  public String representation() {
    return def.text("Representation", "PureNumber");
  }

  @Override
  public String text() {
    return Long.toString(value());
  }

  @Override
  void parse(String text) {
    long v;
    try {
      v = Def.parseLong(text);
    } catch (NumberFormatException e) {
      throw badText(text, "not an integer");
    }
    setValue(v);
  }

  @Override
  boolean isValue() {
    return true;
  }

  @Override
  Number number() {
    return get();
  }

  @Override
  void setNumber(Number value) {
    set(value instanceof Double ? Math.round(value.doubleValue()) : value.longValue());
  }

  @Override
  Number numberMin() {
    return lo();
  }

  @Override
  Number numberMax() {
    return hi();
  }

  @Override
  Number numberInc() {
    return step();
  }

  @Override
  String kind() {
    return "Integer";
  }
}

package org.grabkit.features;

/** A floating-point feature, e.g. {@code ExposureTime}. Writes check the bounds first. */
public abstract class FloatNode extends Node {
  FloatNode(NodeMap map, Def def) {
    super(map, def);
  }

  abstract double get();

  abstract void put(double value);

  abstract double lo();

  abstract double hi();

  /** The increment, NaN when any value in the bounds is fine. */
  double step() {
    return Double.NaN;
  }

  /** @return the value, read from the device unless cached */
  public double value() {
    checkReadable();
    return get();
  }

  /**
   * Writes the value.
   *
   * @param value the new value
   * @throws FeatureException if it is not writable now or the value is out of range
   */
  public void setValue(double value) {
    checkWritable();
    set(value);
  }

  final void set(double value) {
    double min = lo();
    double max = hi();
    double inc = step();
    boolean offStep = !Double.isNaN(inc) && inc > 0
        && Math.abs(Math.IEEEremainder(value - min, inc)) > inc * 1e-9;
    if (!(value >= min && value <= max) || offStep) {
      throw new FeatureException(FeatureException.Kind.OUT_OF_RANGE, name(),
          name() + " = " + value + " is out of range: min " + min + ", max " + max
              + (Double.isNaN(inc) ? "" : ", inc " + inc));
    }
    put(value);
    map.changed(this);
  }

  /** @return the smallest value */
  public double min() {
    return lo();
  }

  /** @return the largest value */
  public double max() {
    return hi();
  }

  /** @return whether the feature has an increment */
  public boolean hasInc() {
    return !Double.isNaN(step());
  }

  /** @return the step between valid values, NaN when it has none */
  public double inc() {
    return step();
  }

  /** @return the unit, empty when none */
  public String unit() {
    return def.text("Unit", "");
  }

  /** @return how to show the value: {@code Linear}, {@code Logarithmic} or {@code PureNumber} */
  public String representation() {
    return def.text("Representation", "PureNumber");
  }

  /** @return {@code Automatic}, {@code Fixed} or {@code Scientific} */
  public String displayNotation() {
    return def.text("DisplayNotation", "Automatic");
  }

  /** @return the digits to show after the decimal point */
  public int displayPrecision() {
    return (int) def.integer("DisplayPrecision", 6);
  }

  @Override
  public String text() {
    return Double.toString(value());
  }

  @Override
  void parse(String text) {
    double v;
    try {
      v = Def.parseDouble(text);
    } catch (NumberFormatException e) {
      throw badText(text, "not a number");
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
    set(value.doubleValue());
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
    return "Float";
  }
}

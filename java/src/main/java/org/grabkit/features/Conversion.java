package org.grabkit.features;

/**
 * The formulas of a converter or swiss knife node, shared by the integer and the float kinds so
 * that both read their elements and evaluate them alike; only the arithmetic differs.
 */
final class Conversion {
  private final boolean integer;
  private Vars vars;
  private Formula to;
  private Formula from;
  private Node target;

  Conversion(boolean integer) {
    this.integer = integer;
  }

  /** Reads {@code FormulaTo}, {@code FormulaFrom} and {@code pValue} of a converter. */
  void linkBothWays(Node owner) {
    vars = new Vars(owner);
    to = vars.formula("FormulaTo", require(owner.def, "FormulaTo"));
    from = vars.formula("FormulaFrom", require(owner.def, "FormulaFrom"));
    vars.check("FormulaTo", to, "FROM");
    vars.check("FormulaFrom", from, "TO");
    target = owner.use("pValue", require(owner.def, "pValue"));
  }

  /** Reads the single {@code Formula} of a swiss knife. */
  void linkFormula(Node owner) {
    vars = new Vars(owner);
    from = vars.formula("Formula", require(owner.def, "Formula"));
    vars.check("Formula", from);
  }

  private static String require(Def def, String element) {
    String t = def.text(element);
    if (t == null) {
      throw def.bad(element, "missing");
    }
    return t;
  }

  private Number evaluate(Formula f, String extraName, Number extraValue) {
    Formula.Variables v = vars.variables(integer, extraName, extraValue);
    return integer ? (Number) f.evaluateInteger(v) : (Number) f.evaluateFloat(v);
  }

  private Number convert(Number raw) {
    return evaluate(from, "TO", raw);
  }

  /** The swiss knife's value. */
  Number formulaValue() {
    return evaluate(from, null, null);
  }

  Number get() {
    return convert(target.number());
  }

  void put(Number v) {
    target.setNumber(evaluate(to, "FROM", v));
  }

  Number lo() {
    Number a = convert(target.numberMin());
    Number b = convert(target.numberMax());
    return integer
        ? (Number) Math.min(a.longValue(), b.longValue())
        : (Number) Math.min(a.doubleValue(), b.doubleValue());
  }

  Number hi() {
    Number a = convert(target.numberMin());
    Number b = convert(target.numberMax());
    return integer
        ? (Number) Math.max(a.longValue(), b.longValue())
        : (Number) Math.max(a.doubleValue(), b.doubleValue());
  }

  Node target() {
    return target;
  }
}

package org.grabkit.features;

import java.util.Collections;
import java.util.LinkedHashSet;
import java.util.Map;
import java.util.Set;
import java.util.function.DoubleBinaryOperator;
import java.util.function.DoubleUnaryOperator;
import java.util.function.LongBinaryOperator;
import java.util.function.LongUnaryOperator;

/**
 * A formula of a description file, parsed once into a tree so that the node map can evaluate it on
 * every read without touching its text again.
 *
 * <p>The same tree serves integer formulas ({@link #evaluateInteger}) and float ones ({@link
 * #evaluateFloat}). In an integer formula, a fractional value (a float literal, {@code E}, {@code
 * PI}, or the result of {@code SQRT}, {@code SIN}, ... {@code LG}) stays a double while it passes
 * through unary {@code -}/{@code +}, {@code SGN}, {@code NEG}, {@code ABS}, the branches of {@code
 * ? :} and the other float functions; every other operator, and a ternary's condition, truncates it
 * toward zero first. {@code TRUNC}, {@code FLOOR}, {@code CEIL} and {@code ROUND} turn it into an
 * integer their own way. So {@code SQRT(2)*SQRT(2)} is 1, {@code FLOOR(-2.5)} is -3 and {@code
 * ROUND(SQRT(10)*10)} is 30 (the product truncates 3.16... first). A {@code Double} that {@link
 * Variables} give an integer formula truncates where it is read.
 */
final class Formula {
  /** The names a formula can read. */
  interface Variables {
    /**
     * The current value of a name.
     *
     * @param name as written in the formula, e.g. {@code Width.Min}
     * @return a {@code Long} or {@code Double}; null if the name is unknown
     */
    Number value(String name);
  }

  private final String text;
  private final Node root;
  private final Set<String> names;

  private Formula(String text, Node root, Set<String> names) {
    this.text = text;
    this.root = root;
    this.names = Collections.unmodifiableSet(names);
  }

  /**
   * Parses a formula.
   *
   * @param text e.g. {@code (W+7)/8*8}
   * @return the parsed formula
   * @throws IllegalArgumentException {@code "<message> at column <n> of \"<text>\""}, 1-based
   */
  static Formula parse(String text) {
    Parser parser = new Parser(text);
    Node root = parser.parseAll();
    return new Formula(text, root, parser.names);
  }

  /**
   * The identifiers the formula reads, in the order they first appear. {@code E} and {@code PI}
   * are not among them: they have a value without {@link Variables}, which only may override it.
   *
   * @return an unmodifiable set
   */
  Set<String> names() {
    return names;
  }

  /**
   * The value in 64-bit two's complement arithmetic, as {@code IntSwissKnife} and {@code
   * IntConverter} compute.
   *
   * @param variables the values of {@link #names()}
   * @return the value
   * @throws IllegalArgumentException when a name has no value
   * @throws ArithmeticException on division or modulo by zero
   */
  long evaluateInteger(Variables variables) {
    return root.integer(variables);
  }

  /**
   * The value in doubles, as {@code SwissKnife} and {@code Converter} compute; bitwise operators,
   * shifts and {@code %} work on the operands truncated to 64-bit integers.
   *
   * @param variables the values of {@link #names()}
   * @return the value
   * @throws IllegalArgumentException when a name has no value
   * @throws ArithmeticException on modulo by zero
   */
  double evaluateFloat(Variables variables) {
    return root.real(variables);
  }

  /**
   * The text the formula was parsed from.
   *
   * @return the text as given
   */
  String text() {
    return text;
  }

  @Override
  public String toString() {
    return text;
  }

  // --- The tree -------------------------------------------------------------------------------

  /** A subexpression, evaluable under both semantics. */
  private abstract static class Node {
    /** Integer semantics. */
    abstract long integer(Variables v);

    /**
     * Integer semantics, for a consumer that can take a fraction (a float function, a rounding
     * function, a sign-preserving operator). Must truncate to {@link #integer}.
     */
    double integerAsDouble(Variables v) {
      return integer(v);
    }

    /** Float semantics. */
    abstract double real(Variables v);

    /** Whether {@link #integerAsDouble} can carry a fraction; fixed at parse time. */
    boolean fractional() {
      return false;
    }
  }

  /**
   * Keeps both readings of a literal: 9223372036854775808 wraps to -2^63 as an integer (so that
   * {@code -9223372036854775808} is the least long) but is 2^63 as a double.
   */
  private static final class IntegerLiteral extends Node {
    private final long value;
    private final double real;

    IntegerLiteral(long value, double real) {
      this.value = value;
      this.real = real;
    }

    @Override
    long integer(Variables v) {
      return value;
    }

    @Override
    double real(Variables v) {
      return real;
    }
  }

  private static final class FloatLiteral extends Node {
    private final double value;

    FloatLiteral(double value) {
      this.value = value;
    }

    @Override
    long integer(Variables v) {
      return (long) value;
    }

    @Override
    double integerAsDouble(Variables v) {
      return value;
    }

    @Override
    double real(Variables v) {
      return value;
    }

    @Override
    boolean fractional() {
      return true;
    }
  }

  /** Truncation toward zero for fractions, as the integer semantics read every number. */
  private static long toLong(Number n) {
    return n instanceof Double || n instanceof Float ? (long) n.doubleValue() : n.longValue();
  }

  private static final class Variable extends Node {
    private final String name;
    private final String formula;

    Variable(String name, String formula) {
      this.name = name;
      this.formula = formula;
    }

    private Number fetch(Variables v) {
      Number n = v.value(name);
      if (n == null) {
        throw new IllegalArgumentException("unknown name " + name + " in \"" + formula + "\"");
      }
      return n;
    }

    @Override
    long integer(Variables v) {
      return toLong(fetch(v));
    }

    @Override
    double real(Variables v) {
      return fetch(v).doubleValue();
    }
  }

  /** {@code E} or {@code PI}: files may define a variable of that name, and theirs wins. */
  private static final class Constant extends Node {
    private final String name;
    private final double value;

    Constant(String name, double value) {
      this.name = name;
      this.value = value;
    }

    @Override
    long integer(Variables v) {
      Number n = v == null ? null : v.value(name);
      return n == null ? (long) value : toLong(n);
    }

    @Override
    double integerAsDouble(Variables v) {
      Number n = v == null ? null : v.value(name);
      return n == null ? value : toLong(n);
    }

    @Override
    double real(Variables v) {
      Number n = v == null ? null : v.value(name);
      return n == null ? value : n.doubleValue();
    }

    @Override
    boolean fractional() {
      return true;
    }
  }

  /** Operations that keep a fraction in integer formulas, so that {@code -2.5} is a literal. */
  private enum SignFunction {
    MINUS(x -> -x, x -> -x),
    ABS(Math::abs, Math::abs),
    SGN(Long::signum, Math::signum);

    final LongUnaryOperator onLong;
    final DoubleUnaryOperator onDouble;

    SignFunction(LongUnaryOperator onLong, DoubleUnaryOperator onDouble) {
      this.onLong = onLong;
      this.onDouble = onDouble;
    }
  }

  private static final Map<String, SignFunction> SIGN_FUNCTIONS =
      Map.of("NEG", SignFunction.MINUS, "ABS", SignFunction.ABS, "SGN", SignFunction.SGN);

  private static final class Sign extends Node {
    private final SignFunction function;
    private final Node operand;
    private final boolean fractional;

    Sign(SignFunction function, Node operand) {
      this.function = function;
      this.operand = operand;
      this.fractional = operand.fractional();
    }

    @Override
    long integer(Variables v) {
      return fractional
          ? (long) function.onDouble.applyAsDouble(operand.integerAsDouble(v))
          : function.onLong.applyAsLong(operand.integer(v));
    }

    @Override
    double integerAsDouble(Variables v) {
      return fractional
          ? function.onDouble.applyAsDouble(operand.integerAsDouble(v))
          : function.onLong.applyAsLong(operand.integer(v));
    }

    @Override
    double real(Variables v) {
      return function.onDouble.applyAsDouble(operand.real(v));
    }

    @Override
    boolean fractional() {
      return fractional;
    }
  }

  private static final class Complement extends Node {
    private final Node operand;

    Complement(Node operand) {
      this.operand = operand;
    }

    @Override
    long integer(Variables v) {
      return ~operand.integer(v);
    }

    @Override
    double real(Variables v) {
      return ~(long) operand.real(v);
    }
  }

  private static final class Not extends Node {
    private final Node operand;

    Not(Node operand) {
      this.operand = operand;
    }

    @Override
    long integer(Variables v) {
      return operand.integer(v) == 0 ? 1 : 0;
    }

    @Override
    double real(Variables v) {
      return operand.real(v) == 0 ? 1 : 0;
    }
  }

  /** Functions that compute in doubles whatever the formula's semantics. */
  private static final Map<String, DoubleUnaryOperator> FLOAT_FUNCTIONS =
      Map.of(
          "SQRT", Math::sqrt,
          "SIN", Math::sin,
          "COS", Math::cos,
          "TAN", Math::tan,
          "ASIN", Math::asin,
          "ACOS", Math::acos,
          "ATAN", Math::atan,
          "EXP", Math::exp,
          "LN", Math::log,
          "LG", Math::log10);

  private static final class FloatCall extends Node {
    private final DoubleUnaryOperator function;
    private final Node operand;

    FloatCall(DoubleUnaryOperator function, Node operand) {
      this.function = function;
      this.operand = operand;
    }

    @Override
    long integer(Variables v) {
      return (long) integerAsDouble(v);
    }

    @Override
    double integerAsDouble(Variables v) {
      return function.applyAsDouble(operand.integerAsDouble(v));
    }

    @Override
    double real(Variables v) {
      return function.applyAsDouble(operand.real(v));
    }

    @Override
    boolean fractional() {
      return true;
    }
  }

  /** Half away from zero, as people round; {@link Math#round} would take -2.5 to -2. */
  private static double roundHalfAway(double x) {
    double magnitude = Math.abs(x);
    double whole = Math.floor(magnitude);
    if (magnitude - whole >= 0.5) {
      whole += 1;
    }
    return Math.copySign(whole, x);
  }

  private static double round(double x, long digits) {
    // Dividing by 10^n is exact where multiplying by 10^-n is not (0.1 has no double).
    if (digits >= 0) {
      double scale = Math.pow(10, digits);
      double scaled = x * scale;
      return Double.isInfinite(scaled) ? x : roundHalfAway(scaled) / scale;
    }
    double scale = Math.pow(10, -digits);
    return roundHalfAway(x / scale) * scale;
  }

  /** Rounding of integers that stays exact beyond 2^53, where doubles would not. */
  private static long round(long x, long digits) {
    if (digits >= 0) {
      return x;
    }
    if (digits < -18) { // 10^19 does not fit; the double result saturates as a cast does
      return (long) round((double) x, digits);
    }
    long scale = 1;
    for (long i = 0; i < -digits; i++) {
      scale *= 10;
    }
    long quotient = x / scale;
    long remainder = Math.abs(x % scale);
    if (remainder >= scale - remainder) {
      quotient += Long.signum(x);
    }
    return quotient * scale;
  }

  /** Functions that give an integer from a fraction, each its own way. */
  private static final Map<String, DoubleUnaryOperator> ROUNDING_FUNCTIONS =
      Map.of(
          "TRUNC", x -> x < 0 ? Math.ceil(x) : Math.floor(x),
          "FLOOR", Math::floor,
          "CEIL", Math::ceil,
          "ROUND", Formula::roundHalfAway);

  private static final class Rounding extends Node {
    private final DoubleUnaryOperator function;
    private final Node operand;
    private final boolean fractional;

    Rounding(DoubleUnaryOperator function, Node operand) {
      this.function = function;
      this.operand = operand;
      this.fractional = operand.fractional();
    }

    @Override
    long integer(Variables v) {
      return fractional
          ? (long) function.applyAsDouble(operand.integerAsDouble(v))
          : operand.integer(v);
    }

    @Override
    double real(Variables v) {
      return function.applyAsDouble(operand.real(v));
    }
  }

  private static final class RoundToDigits extends Node {
    private final Node operand;
    private final Node digits;
    private final boolean fractional;

    RoundToDigits(Node operand, Node digits) {
      this.operand = operand;
      this.digits = digits;
      this.fractional = operand.fractional();
    }

    @Override
    long integer(Variables v) {
      long n = digits.integer(v);
      return fractional
          ? (long) round(operand.integerAsDouble(v), n)
          : round(operand.integer(v), n);
    }

    @Override
    double real(Variables v) {
      return round(operand.real(v), (long) digits.real(v));
    }
  }

  private static long power(long base, long exponent) {
    if (exponent < 0) {
      // 1/base^n truncates to 0 except for a base of magnitude 1.
      if (base == 1) {
        return 1;
      }
      return base == -1 ? ((exponent & 1) == 0 ? 1 : -1) : 0;
    }
    long result = 1;
    while (exponent != 0) {
      if ((exponent & 1) != 0) {
        result *= base;
      }
      base *= base;
      exponent >>>= 1;
    }
    return result;
  }

  /**
   * Binary operators. Java's long arithmetic already wraps, truncates division toward zero and
   * takes shift counts modulo 64, which is what the integer semantics ask for.
   */
  private enum Operator {
    OR("|", (a, b) -> a | b, null),
    XOR("^", (a, b) -> a ^ b, null),
    AND("&", (a, b) -> a & b, null),
    EQUAL("=", (a, b) -> a == b ? 1 : 0, (a, b) -> a == b ? 1 : 0),
    NOT_EQUAL("<>", (a, b) -> a != b ? 1 : 0, (a, b) -> a != b ? 1 : 0),
    LESS("<", (a, b) -> a < b ? 1 : 0, (a, b) -> a < b ? 1 : 0),
    GREATER(">", (a, b) -> a > b ? 1 : 0, (a, b) -> a > b ? 1 : 0),
    LESS_OR_EQUAL("<=", (a, b) -> a <= b ? 1 : 0, (a, b) -> a <= b ? 1 : 0),
    GREATER_OR_EQUAL(">=", (a, b) -> a >= b ? 1 : 0, (a, b) -> a >= b ? 1 : 0),
    SHIFT_LEFT("<<", (a, b) -> a << b, null),
    SHIFT_RIGHT(">>", (a, b) -> a >> b, null),
    PLUS("+", (a, b) -> a + b, (a, b) -> a + b),
    MINUS("-", (a, b) -> a - b, (a, b) -> a - b),
    TIMES("*", (a, b) -> a * b, (a, b) -> a * b),
    DIVIDE("/", (a, b) -> a / b, (a, b) -> a / b),
    MODULO("%", (a, b) -> a % b, null),
    POWER("**", Formula::power, Math::pow);

    final String symbol;
    final LongBinaryOperator onLong;
    final DoubleBinaryOperator onDouble;

    /** Without {@code onDouble}, float formulas apply {@code onLong} to truncated operands. */
    Operator(String symbol, LongBinaryOperator onLong, DoubleBinaryOperator onDouble) {
      this.symbol = symbol;
      this.onLong = onLong;
      this.onDouble =
          onDouble != null ? onDouble : (a, b) -> onLong.applyAsLong((long) a, (long) b);
    }
  }

  private static final class Binary extends Node {
    private final Operator operator;
    private final Node left;
    private final Node right;
    private final String formula;

    Binary(Operator operator, Node left, Node right, String formula) {
      this.operator = operator;
      this.left = left;
      this.right = right;
      this.formula = formula;
    }

    @Override
    long integer(Variables v) {
      long a = left.integer(v);
      long b = right.integer(v);
      try {
        return operator.onLong.applyAsLong(a, b);
      } catch (ArithmeticException e) { // only / and % throw, and only for a zero divisor
        throw divisionByZero(formula);
      }
    }

    @Override
    double real(Variables v) {
      double a = left.real(v);
      double b = right.real(v);
      try {
        return operator.onDouble.applyAsDouble(a, b);
      } catch (ArithmeticException e) {
        throw divisionByZero(formula);
      }
    }
  }

  private static ArithmeticException divisionByZero(String formula) {
    return new ArithmeticException("division by zero in \"" + formula + "\"");
  }

  /** Short-circuits, so that {@code X<>0 && 100/X>2} does not divide by zero. */
  private static final class LogicalAnd extends Node {
    private final Node left;
    private final Node right;

    LogicalAnd(Node left, Node right) {
      this.left = left;
      this.right = right;
    }

    @Override
    long integer(Variables v) {
      return left.integer(v) != 0 && right.integer(v) != 0 ? 1 : 0;
    }

    @Override
    double real(Variables v) {
      return left.real(v) != 0 && right.real(v) != 0 ? 1 : 0;
    }
  }

  private static final class LogicalOr extends Node {
    private final Node left;
    private final Node right;

    LogicalOr(Node left, Node right) {
      this.left = left;
      this.right = right;
    }

    @Override
    long integer(Variables v) {
      return left.integer(v) != 0 || right.integer(v) != 0 ? 1 : 0;
    }

    @Override
    double real(Variables v) {
      return left.real(v) != 0 || right.real(v) != 0 ? 1 : 0;
    }
  }

  private static final class Conditional extends Node {
    private final Node condition;
    private final Node then;
    private final Node otherwise;
    private final boolean fractional;

    Conditional(Node condition, Node then, Node otherwise) {
      this.condition = condition;
      this.then = then;
      this.otherwise = otherwise;
      this.fractional = then.fractional() || otherwise.fractional();
    }

    @Override
    long integer(Variables v) {
      return condition.integer(v) != 0 ? then.integer(v) : otherwise.integer(v);
    }

    @Override
    double integerAsDouble(Variables v) {
      return condition.integer(v) != 0 ? then.integerAsDouble(v) : otherwise.integerAsDouble(v);
    }

    @Override
    double real(Variables v) {
      return condition.real(v) != 0 ? then.real(v) : otherwise.real(v);
    }

    @Override
    boolean fractional() {
      return fractional;
    }
  }

  // --- The parser -----------------------------------------------------------------------------

  private enum Kind {
    NUMBER,
    NAME,
    SYMBOL,
    END
  }

  /** Binary operator levels, lowest precedence first; {@code **} is handled apart (right). */
  private static final String[][] LEVELS = {
    {"||"},
    {"&&"},
    {"|"},
    {"^"},
    {"&"},
    {"=", "==", "<>", "!="},
    {"<", ">", "<=", ">="},
    {"<<", ">>"},
    {"+", "-"},
    {"*", "/", "%"},
  };

  private static final String[] TWO_CHARACTER_SYMBOLS = {
    "||", "&&", "==", "<>", "!=", "<=", ">=", "<<", ">>", "**"
  };
  private static final String ONE_CHARACTER_SYMBOLS = "?:|^&=<>+-*/%~!(),";

  /** Recursive descent with one token of look-ahead. */
  private static final class Parser {
    private final String text;
    private final Set<String> names = new LinkedHashSet<>();
    private int position;

    private Kind kind;
    private int start;
    private String symbol; // for SYMBOL and NAME
    private long integerValue;
    private double floatValue; // of every number; for hex, the long's
    private boolean isFloat;

    Parser(String text) {
      this.text = text;
    }

    Node parseAll() {
      advance();
      if (kind == Kind.END) {
        throw error("empty formula", 0);
      }
      Node node = conditional();
      if (kind != Kind.END) {
        throw error(
            kind == Kind.SYMBOL && symbol.equals(")")
                ? "unbalanced )"
                : "expected an operator before " + describe(),
            start);
      }
      return node;
    }

    private Node conditional() {
      Node condition = binary(0);
      if (!at("?")) {
        return condition;
      }
      advance();
      Node then = conditional();
      expect(":");
      return new Conditional(condition, then, conditional());
    }

    private Node binary(int level) {
      if (level == LEVELS.length) {
        return power();
      }
      Node left = binary(level + 1);
      for (String found = atAny(LEVELS[level]); found != null; found = atAny(LEVELS[level])) {
        advance();
        Node right = binary(level + 1);
        left = combine(found, left, right);
      }
      return left;
    }

    private Node combine(String found, Node left, Node right) {
      switch (found) {
        case "||":
          return new LogicalOr(left, right);
        case "&&":
          return new LogicalAnd(left, right);
        case "==":
          return new Binary(Operator.EQUAL, left, right, text);
        case "!=":
          return new Binary(Operator.NOT_EQUAL, left, right, text);
        default:
          for (Operator operator : Operator.values()) {
            if (operator.symbol.equals(found)) {
              return new Binary(operator, left, right, text);
            }
          }
          throw new AssertionError(found);
      }
    }

    private Node power() {
      Node base = unary();
      if (!at("**")) {
        return base;
      }
      advance();
      return new Binary(Operator.POWER, base, power(), text);
    }

    private Node unary() {
      if (kind == Kind.SYMBOL) {
        switch (symbol) {
          case "-":
            advance();
            return new Sign(SignFunction.MINUS, unary());
          case "+":
            advance();
            return unary();
          case "~":
            advance();
            return new Complement(unary());
          case "!":
            advance();
            return new Not(unary());
          default:
            break;
        }
      }
      return primary();
    }

    private Node primary() {
      int at = start;
      switch (kind) {
        case NUMBER:
          {
            Node literal =
                isFloat
                    ? new FloatLiteral(floatValue)
                    : new IntegerLiteral(integerValue, floatValue);
            advance();
            return literal;
          }
        case NAME:
          {
            String name = symbol;
            advance();
            if (at("(")) {
              return call(name, at);
            }
            if (name.equals("E")) {
              return new Constant(name, Math.E);
            }
            if (name.equals("PI")) {
              return new Constant(name, Math.PI);
            }
            names.add(name);
            return new Variable(name, text);
          }
        case SYMBOL:
          if (symbol.equals("(")) {
            advance();
            Node inner = conditional();
            expect(")");
            return inner;
          }
          throw error("expected a value before " + describe(), at);
        default:
          throw error("expected a value", at);
      }
    }

    private Node call(String function, int at) {
      if (!SIGN_FUNCTIONS.containsKey(function)
          && !ROUNDING_FUNCTIONS.containsKey(function)
          && !FLOAT_FUNCTIONS.containsKey(function)) {
        throw error("unknown function " + function, at);
      }
      advance(); // (
      Node argument = conditional();
      if (function.equals("ROUND") && at(",")) {
        advance();
        Node digits = conditional();
        expect(")");
        return new RoundToDigits(argument, digits);
      }
      if (at(",")) {
        throw error(function + " takes one argument", start);
      }
      expect(")");
      SignFunction sign = SIGN_FUNCTIONS.get(function);
      if (sign != null) {
        return new Sign(sign, argument);
      }
      DoubleUnaryOperator rounding = ROUNDING_FUNCTIONS.get(function);
      return rounding != null
          ? new Rounding(rounding, argument)
          : new FloatCall(FLOAT_FUNCTIONS.get(function), argument);
    }

    private boolean at(String wanted) {
      return kind == Kind.SYMBOL && symbol.equals(wanted);
    }

    private String atAny(String[] wanted) {
      if (kind != Kind.SYMBOL) {
        return null;
      }
      for (String s : wanted) {
        if (symbol.equals(s)) {
          return s;
        }
      }
      return null;
    }

    private void expect(String wanted) {
      if (!at(wanted)) {
        throw error(
            "expected " + wanted + (kind == Kind.END ? "" : " before " + describe()), start);
      }
      advance();
    }

    private String describe() {
      return kind == Kind.END ? "the end" : text.substring(start, position);
    }

    private IllegalArgumentException error(String message, int index) {
      return new IllegalArgumentException(
          message + " at column " + (index + 1) + " of \"" + text + "\"");
    }

    private void advance() {
      while (position < text.length() && Character.isWhitespace(text.charAt(position))) {
        position++;
      }
      start = position;
      if (position == text.length()) {
        kind = Kind.END;
        return;
      }
      char c = text.charAt(position);
      if (isDigit(c) || (c == '.' && isDigit(peek(1)))) {
        number();
      } else if (isLetter(c) || c == '_') {
        while (position < text.length() && isNamePart(text.charAt(position))) {
          position++;
        }
        kind = Kind.NAME;
        symbol = text.substring(start, position);
      } else {
        kind = Kind.SYMBOL;
        for (String two : TWO_CHARACTER_SYMBOLS) {
          if (text.startsWith(two, position)) {
            symbol = two;
            position += 2;
            return;
          }
        }
        if (ONE_CHARACTER_SYMBOLS.indexOf(c) < 0) {
          throw error("unexpected character '" + c + "'", position);
        }
        symbol = String.valueOf(c);
        position++;
      }
    }

    private void number() {
      kind = Kind.NUMBER;
      if (text.charAt(position) == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
        position += 2;
        int digits = position;
        while (position < text.length() && Character.digit(text.charAt(position), 16) >= 0) {
          position++;
        }
        if (digits == position) {
          throw error("hexadecimal number without digits", start);
        }
        isFloat = false;
        integerValue = unsigned(text.substring(digits, position), 16);
        floatValue = integerValue;
        return;
      }
      skipDigits();
      isFloat = false;
      if (peek(0) == '.') {
        isFloat = true;
        position++;
        skipDigits();
      }
      if (peek(0) == 'e' || peek(0) == 'E') {
        isFloat = true;
        position++;
        if (peek(0) == '+' || peek(0) == '-') {
          position++;
        }
        if (!isDigit(peek(0))) {
          throw error("exponent without digits", start);
        }
        skipDigits();
      }
      floatValue = Double.parseDouble(text.substring(start, position));
      if (!isFloat) {
        integerValue = unsigned(text.substring(start, position), 10);
      }
    }

    /** Up to 2^64-1, wrapping like hex does, so that -9223372036854775808 can be written. */
    private long unsigned(String digits, int radix) {
      try {
        return Long.parseUnsignedLong(digits, radix);
      } catch (NumberFormatException e) {
        throw error("number wider than 64 bits", start);
      }
    }

    private void skipDigits() {
      while (isDigit(peek(0))) {
        position++;
      }
    }

    private char peek(int ahead) {
      int i = position + ahead;
      return i < text.length() ? text.charAt(i) : '\0';
    }

    private static boolean isDigit(char c) {
      return c >= '0' && c <= '9';
    }

    private static boolean isLetter(char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    }

    private static boolean isNamePart(char c) {
      return isLetter(c) || isDigit(c) || c == '_' || c == '.';
    }
  }
}

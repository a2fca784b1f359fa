// Stand-in until the full formula language lands
package org.grabkit.features;

import java.util.LinkedHashSet;
import java.util.Set;

/**
 * A parsed formula of a description file. This small version covers the operators the node map
 * needs while the complete language (functions, constants) is written elsewhere; its API is the
 * one the complete version keeps.
 */
final class Formula {
  /** Gives the value of a name used in a formula. */
  interface Variables {
    /**
     * @param name an identifier of the formula
     * @return a {@link Long} or {@link Double}, null when the name is unknown
     */
    Number value(String name);
  }

  private interface Term {
    Object eval(Variables v, boolean integer);
  }

  private final String text;
  private final Set<String> names = new LinkedHashSet<>();
  private final Term root;
  private int pos;

  private Formula(String text) {
    this.text = text;
    this.root = ternary();
    skip();
    if (pos < text.length()) {
      throw error("unexpected '" + text.charAt(pos) + "'");
    }
  }

  static Formula parse(String text) {
    return new Formula(text);
  }

  Set<String> names() {
    return names;
  }

  long evaluateInteger(Variables variables) {
    return toLong(root.eval(variables, true));
  }

  double evaluateFloat(Variables variables) {
    return toDouble(root.eval(variables, false));
  }

  String text() {
    return text;
  }

  private IllegalArgumentException error(String what) {
    return new IllegalArgumentException(what + " at column " + (pos + 1) + " of '" + text + "'");
  }

  private void skip() {
    while (pos < text.length() && Character.isWhitespace(text.charAt(pos))) {
      pos++;
    }
  }

  private boolean eat(String op) {
    skip();
    if (text.startsWith(op, pos)) {
      // "<" must not swallow "<>", "<=" or "<<"; "*" must not swallow "**" and so on.
      String next = pos + op.length() < text.length() ? text.substring(pos + op.length(), pos + op.length() + 1) : "";
      if (op.length() == 1 && ("<".equals(op) && "<>=".contains(next) && !next.isEmpty()
          || ">".equals(op) && ">=".contains(next) && !next.isEmpty()
          || "*".equals(op) && "*".equals(next)
          || "&".equals(op) && "&".equals(next)
          || "|".equals(op) && "|".equals(next))) {
        return false;
      }
      pos += op.length();
      return true;
    }
    return false;
  }

  private Term ternary() {
    Term c = binary(0);
    if (eat("?")) {
      Term a = ternary();
      if (!eat(":")) {
        throw error("':' expected");
      }
      Term b = ternary();
      return (v, i) -> truth(c.eval(v, i)) ? a.eval(v, i) : b.eval(v, i);
    }
    return c;
  }

  private static final String[][] LEVELS = {
    {"||"}, {"&&"}, {"|"}, {"^"}, {"&"}, {"=", "<>"}, {"<=", ">=", "<", ">"}, {"<<", ">>"},
    {"+", "-"}, {"*", "/", "%"}
  };

  private Term binary(int level) {
    if (level == LEVELS.length) {
      return power();
    }
    Term left = binary(level + 1);
    outer:
    while (true) {
      for (String op : LEVELS[level]) {
        if (eat(op)) {
          Term l = left;
          Term r = binary(level + 1);
          left = (v, i) -> apply(op, l.eval(v, i), r.eval(v, i), i);
          continue outer;
        }
      }
      return left;
    }
  }

  private Term power() {
    Term base = unary();
    if (eat("**")) {
      Term exp = power();
      return (v, i) -> {
        double d = Math.pow(toDouble(base.eval(v, i)), toDouble(exp.eval(v, i)));
        return i ? (Object) (long) d : (Object) d;
      };
    }
    return base;
  }

  private Term unary() {
    if (eat("-")) {
      Term t = unary();
      return (v, i) -> i ? (Object) (-toLong(t.eval(v, i))) : (Object) (-toDouble(t.eval(v, i)));
    }
    if (eat("+")) {
      return unary();
    }
    if (eat("~")) {
      Term t = unary();
      return (v, i) -> ~toLong(t.eval(v, i));
    }
    if (eat("!")) {
      Term t = unary();
      return (v, i) -> truth(t.eval(v, i)) ? 0L : 1L;
    }
    return primary();
  }

  private Term primary() {
    skip();
    if (eat("(")) {
      Term t = ternary();
      if (!eat(")")) {
        throw error("')' expected");
      }
      return t;
    }
    if (pos >= text.length()) {
      throw error("operand expected");
    }
    char c = text.charAt(pos);
    int start = pos;
    if (Character.isDigit(c) || c == '.') {
      if (text.startsWith("0x", pos) || text.startsWith("0X", pos)) {
        pos += 2;
        while (pos < text.length() && Character.digit(text.charAt(pos), 16) >= 0) {
          pos++;
        }
        long value = Long.parseUnsignedLong(text.substring(start + 2, pos), 16);
        return (v, i) -> value;
      }
      boolean isFloat = false;
      while (pos < text.length()) {
        char d = text.charAt(pos);
        if (Character.isDigit(d)) {
          pos++;
        } else if (d == '.' || d == 'e' || d == 'E') {
          isFloat = true;
          pos++;
          if ((d == 'e' || d == 'E') && pos < text.length() && "+-".indexOf(text.charAt(pos)) >= 0) {
            pos++;
          }
        } else {
          break;
        }
      }
      String number = text.substring(start, pos);
      try {
        if (isFloat) {
          double d = Double.parseDouble(number);
          return (v, i) -> i ? (Object) (long) d : (Object) d;
        }
        long l = Long.parseLong(number);
        return (v, i) -> l;
      } catch (NumberFormatException e) {
        pos = start;
        throw error("bad number '" + number + "'");
      }
    }
    if (Character.isLetter(c) || c == '_') {
      while (pos < text.length()
          && (Character.isLetterOrDigit(text.charAt(pos)) || "_.".indexOf(text.charAt(pos)) >= 0)) {
        pos++;
      }
      String name = text.substring(start, pos);
      names.add(name);
      int at = start;
      return (v, i) -> {
        Number n = v.value(name);
        if (n == null) {
          throw new IllegalArgumentException("unknown name " + name + " at column " + (at + 1) + " of '" + text + "'");
        }
        return n instanceof Double || n instanceof Float ? (Object) n.doubleValue() : (Object) n.longValue();
      };
    }
    throw error("unexpected '" + c + "'");
  }

  private static Object apply(String op, Object a, Object b, boolean integer) {
    boolean floats = !integer && (a instanceof Double || b instanceof Double);
    switch (op) {
      case "||": return truth(a) || truth(b) ? 1L : 0L;
      case "&&": return truth(a) && truth(b) ? 1L : 0L;
      case "|": return toLong(a) | toLong(b);
      case "^": return toLong(a) ^ toLong(b);
      case "&": return toLong(a) & toLong(b);
      case "<<": return toLong(a) << toLong(b);
      case ">>": return toLong(a) >> toLong(b);
      default: break;
    }
    if (floats) {
      double x = toDouble(a);
      double y = toDouble(b);
      switch (op) {
        case "=": return x == y ? 1L : 0L;
        case "<>": return x != y ? 1L : 0L;
        case "<": return x < y ? 1L : 0L;
        case ">": return x > y ? 1L : 0L;
        case "<=": return x <= y ? 1L : 0L;
        case ">=": return x >= y ? 1L : 0L;
        case "+": return x + y;
        case "-": return x - y;
        case "*": return x * y;
        case "/": return x / y;
        case "%": return x % y;
        default: throw new IllegalStateException(op);
      }
    }
    long x = toLong(a);
    long y = toLong(b);
    switch (op) {
      case "=": return x == y ? 1L : 0L;
      case "<>": return x != y ? 1L : 0L;
      case "<": return x < y ? 1L : 0L;
      case ">": return x > y ? 1L : 0L;
      case "<=": return x <= y ? 1L : 0L;
      case ">=": return x >= y ? 1L : 0L;
      case "+": return x + y;
      case "-": return x - y;
      case "*": return x * y;
      case "/":
        if (!integer) {
          return (double) x / y;
        }
        return x / y;
      case "%": return x % y;
      default: throw new IllegalStateException(op);
    }
  }

  private static boolean truth(Object o) {
    return o instanceof Double ? (Double) o != 0 : (Long) o != 0;
  }

  private static long toLong(Object o) {
    return o instanceof Double ? (long) (double) (Double) o : (Long) o;
  }

  private static double toDouble(Object o) {
    return o instanceof Double ? (Double) o : (double) (Long) o;
  }

}

package org.grabkit.features;

import java.util.ArrayDeque;
import java.util.Deque;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.regex.Pattern;

/**
 * The names a node's formulas use: its {@code pVariable}, {@code Constant} and
 * {@code Expression} elements.
 */
final class Vars {
  // Compiled once: a large file has thousands of constants.
  private static final Pattern INTEGER = Pattern.compile("-?(0[xX][0-9a-fA-F]+|\\d+)");
  private final Node owner;
  private final Map<String, Ref> refs = new LinkedHashMap<>();
  private final Map<String, Formula> expressions = new LinkedHashMap<>();

  Vars(Node owner) {
    this.owner = owner;
    Def def = owner.def;
    for (var e : def.all("pVariable")) {
      refs.put(e.getAttribute("Name"), owner.reference("pVariable", e.getTextContent().trim()));
    }
    for (var e : def.all("Constant")) {
      String t = e.getTextContent().trim();
      Number n;
      try {
        n = INTEGER.matcher(t).matches() ? (Number) Def.parseLong(t) : (Number) Def.parseDouble(t);
      } catch (NumberFormatException x) {
        throw def.bad("Constant", "'" + t + "' is not a number");
      }
      refs.put(e.getAttribute("Name"), Ref.constant(n));
    }
    for (var e : def.all("Expression")) {
      expressions.put(e.getAttribute("Name"), formula("Expression", e.getTextContent().trim()));
    }
    for (String name : expressions.keySet()) {
      checkCycle(name, new ArrayDeque<>());
    }
  }

  private void checkCycle(String name, Deque<String> path) {
    if (path.contains(name)) {
      path.addLast(name);
      throw owner.def.bad("Expression", "cycle of expressions " + String.join(" -> ", path));
    }
    path.addLast(name);
    for (String used : expressions.get(name).names()) {
      if (expressions.containsKey(used)) {
        checkCycle(used, path);
      }
    }
    path.removeLast();
  }

  /** Parses a formula of the node and checks that it uses only names the node defines. */
  Formula formula(String element, String text) {
    Formula f;
    try {
      f = Formula.parse(text);
    } catch (IllegalArgumentException e) {
      throw owner.def.bad(element, e.getMessage());
    }
    return f;
  }

  void check(String element, Formula f, String... extra) {
    for (String name : f.names()) {
      if (!known(name, extra)) {
        throw owner.def.bad(element, "the formula uses " + name
            + ", which no pVariable, Constant or Expression of " + owner.name() + " defines");
      }
    }
  }

  private boolean known(String name, String... extra) {
    for (String x : extra) {
      if (x.equals(name)) {
        return true;
      }
    }
    if (refs.containsKey(name) || expressions.containsKey(name) || name.equals("PI") || name.equals("E")) {
      return true;
    }
    int dot = name.lastIndexOf('.');
    return dot > 0 && refs.containsKey(name.substring(0, dot))
        && List.of("Min", "Max", "Inc", "Value").contains(name.substring(dot + 1));
  }

  Formula.Variables variables(boolean integer, String extraName, Number extraValue) {
    Map<String, Number> memo = new HashMap<>();
    return new Formula.Variables() {
      @Override
      public Number value(String name) {
        if (name.equals(extraName)) {
          return extraValue;
        }
        Number known = memo.get(name);
        if (known != null) {
          return known;
        }
        Number n = lookup(name, this, integer);
        if (n != null) {
          memo.put(name, n);
        }
        return n;
      }
    };
  }

  private Number lookup(String name, Formula.Variables self, boolean integer) {
    Ref r = refs.get(name);
    if (r != null) {
      return r.value();
    }
    Formula f = expressions.get(name);
    if (f != null) {
      return integer ? (Number) f.evaluateInteger(self) : (Number) f.evaluateFloat(self);
    }
    int dot = name.lastIndexOf('.');
    if (dot > 0) {
      Ref base = refs.get(name.substring(0, dot));
      if (base != null && base.node != null) {
        return Ref.node(base.node, name.substring(dot + 1)).value();
      }
    }
    switch (name) {
      case "PI": return Math.PI;
      case "E": return Math.E;
      default: return null;
    }
  }
}

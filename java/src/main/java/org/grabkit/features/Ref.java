package org.grabkit.features;

/**
 * A number a node takes from its file: a constant, or another node's value or bound (for
 * names such as {@code Width.Max}).
 */
final class Ref {
  final Number constant;
  final Node node;
  final String bound;

  private Ref(Number constant, Node node, String bound) {
    this.constant = constant;
    this.node = node;
    this.bound = bound;
  }

  static Ref constant(Number n) {
    return new Ref(n, null, null);
  }

  static Ref node(Node node, String bound) {
    return new Ref(null, node, bound);
  }

  Number value() {
    if (node == null) {
      return constant;
    }
    if (bound == null || bound.equals("Value")) {
      return node.number();
    }
    switch (bound) {
      case "Min": return node.numberMin();
      case "Max": return node.numberMax();
      case "Inc": return node.numberInc();
      default: throw new IllegalStateException(bound);
    }
  }

  long asLong() {
    Number n = value();
    return n instanceof Double ? Math.round(n.doubleValue()) : n.longValue();
  }

  double asDouble() {
    return value().doubleValue();
  }

  boolean isTrue() {
    Number n = value();
    return n instanceof Double ? n.doubleValue() != 0 : n.longValue() != 0;
  }

  @Override
  public String toString() {
    return node == null ? String.valueOf(constant) : node.name() + (bound == null ? "" : "." + bound);
  }
}

package org.grabkit.features;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import org.w3c.dom.Element;
import org.w3c.dom.Node;

/** The XML element of one node, with the lookups the node types need. */
final class Def {
  final Element element;
  final String name;
  final String type;
  private Map<String, List<Element>> byName;

  Def(Element element, String name) {
    this.element = element;
    this.name = name;
    this.type = local(element);
  }

  static String local(Element e) {
    return e.getLocalName() != null ? e.getLocalName() : e.getTagName();
  }

  static List<Element> children(Element parent) {
    List<Element> out = new ArrayList<>();
    for (Node n = parent.getFirstChild(); n != null; n = n.getNextSibling()) {
      if (n instanceof Element) {
        out.add((Element) n);
      }
    }
    return out;
  }

  /** @return the children of that name, in the file's order (not to be modified) */
  List<Element> all(String child) {
    // A node's type asks for a dozen or more elements: walking the DOM children for each made
    // this the bulk of parsing a large file.
    if (byName == null) {
      byName = new HashMap<>();
      for (Element e : children(element)) {
        byName.computeIfAbsent(local(e), k -> new ArrayList<>(1)).add(e);
      }
    }
    return byName.getOrDefault(child, List.of());
  }

  List<String> texts(String child) {
    List<String> out = new ArrayList<>();
    for (Element e : all(child)) {
      out.add(e.getTextContent().trim());
    }
    return out;
  }

  boolean has(String child) {
    return !all(child).isEmpty();
  }

  /** @return the text of the only such child, null when absent */
  String text(String child) {
    List<Element> e = all(child);
    if (e.size() > 1) {
      throw bad(child, "appears " + e.size() + " times");
    }
    return e.isEmpty() ? null : e.get(0).getTextContent().trim();
  }

  String text(String child, String fallback) {
    String t = text(child);
    return t == null ? fallback : t;
  }

  long integer(String child, long fallback) {
    String t = text(child);
    return t == null ? fallback : parseInteger(child, t);
  }

  long parseInteger(String child, String t) {
    try {
      return parseLong(t);
    } catch (NumberFormatException e) {
      throw bad(child, "'" + t + "' is not an integer");
    }
  }

  double parseFloat(String child, String t) {
    try {
      return parseDouble(t);
    } catch (NumberFormatException e) {
      throw bad(child, "'" + t + "' is not a number");
    }
  }

  FeatureException bad(String child, String why) {
    return new FeatureException(FeatureException.Kind.INVALID_FILE, name,
        type + " " + name + ", element " + child + ": " + why);
  }

  static long parseLong(String text) {
    String t = text.trim();
    boolean negative = t.startsWith("-");
    if (negative || t.startsWith("+")) {
      t = t.substring(1);
    }
    long v;
    if (t.startsWith("0x") || t.startsWith("0X")) {
      v = Long.parseUnsignedLong(t.substring(2), 16);
    } else {
      v = Long.parseLong(t);
    }
    return negative ? -v : v;
  }

  static double parseDouble(String text) {
    String t = text.trim();
    if (t.equalsIgnoreCase("INF") || t.equalsIgnoreCase("+INF")) {
      return Double.POSITIVE_INFINITY;
    }
    if (t.equalsIgnoreCase("-INF")) {
      return Double.NEGATIVE_INFINITY;
    }
    if (t.startsWith("0x") || t.startsWith("0X") || t.startsWith("-0x")) {
      return parseLong(t);
    }
    return Double.parseDouble(t);
  }
}

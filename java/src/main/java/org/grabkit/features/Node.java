package org.grabkit.features;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import org.w3c.dom.Element;

/**
 * A node of a camera's description: a feature users set and read, or a piece the file builds
 * features from (registers, converters, formulas). Typed subclasses give the values.
 */
public abstract class Node {
  final NodeMap map;
  final Def def;
  private final String displayName;
  private final String toolTip;
  private final String description;
  private final String visibility;
  final Boolean streamable;
  private FeatureAccess imposed;
  private Ref implemented;
  private Ref available;
  private Ref locked;
  // Everything this node reads through; a change of any of them makes this node stale.
  final List<Node> references = new ArrayList<>();
  // What evaluating this node's value (or its bounds) evaluates: the cycle check follows these.
  // Bounds and values are told apart because Width's maximum may read OffsetX while OffsetX's
  // maximum reads Width, which never loops.
  final List<Edge> edges = new ArrayList<>();
  final List<Node> invalidators = new ArrayList<>();
  final List<Node> selected = new ArrayList<>();

  Node(NodeMap map, Def def) {
    this.map = map;
    this.def = def;
    this.displayName = def.text("DisplayName");
    this.toolTip = def.text("ToolTip", "");
    this.description = def.text("Description", "");
    this.visibility = def.text("Visibility", "Beginner");
    String s = def.text("Streamable");
    this.streamable = s == null ? null : s.equals("Yes");
  }

  /** Resolves the names this node uses; every node exists by then. */
  void link() {
    String mode = def.text("ImposedAccessMode");
    if (mode != null) {
      imposed = accessMode(def, "ImposedAccessMode", mode);
    }
    implemented = pointer("pIsImplemented");
    available = pointer("pIsAvailable");
    locked = pointer("pIsLocked");
    for (String n : def.texts("pInvalidator")) {
      invalidators.add(map.resolve(this, "pInvalidator", n));
    }
    for (String n : def.texts("pSelected")) {
      selected.add(map.resolve(this, "pSelected", n));
    }
  }

  static FeatureAccess accessMode(Def def, String element, String text) {
    try {
      return FeatureAccess.valueOf(text);
    } catch (IllegalArgumentException e) {
      throw def.bad(element, "'" + text + "' is not an access mode");
    }
  }

  /** One step of evaluation: from this node's value or bounds to another's value or bounds. */
  record Edge(boolean fromBounds, Node to, boolean toBounds) {}

  /** A named node this one reads through. */
  final Node use(String element, String target) {
    return use(element, target, false);
  }

  private Node use(String element, String target, boolean toBounds) {
    Node n = map.resolve(this, element, target);
    references.add(n);
    if (List.of("pMin", "pMax", "pInc").contains(element)) {
      edges.add(new Edge(true, n, toBounds));
    } else {
      edges.add(new Edge(false, n, toBounds));
      edges.add(new Edge(true, n, toBounds));
      if (element.equals("pValue")) {
        // Without bounds of its own a node takes those of its value node.
        edges.add(new Edge(true, n, true));
      }
    }
    return n;
  }

  private Ref pointer(String element) {
    String t = def.text(element);
    return t == null ? null : reference(element, t);
  }

  /** A reference to a node's value or, for {@code Name.Min} and the like, its bound. */
  final Ref reference(String element, String target) {
    String bound = null;
    int dot = target.lastIndexOf('.');
    if (dot > 0 && !map.has(target)) {
      String suffix = target.substring(dot + 1);
      if (List.of("Min", "Max", "Inc", "Value").contains(suffix)) {
        bound = suffix;
        target = target.substring(0, dot);
      }
    }
    return Ref.node(use(element, target, bound != null && !bound.equals("Value")), bound);
  }

  /** The constant {@code plain} or the node named by {@code pointer}; null when neither. */
  final Ref value(String plain, String pointer, boolean floating) {
    String p = def.text(pointer);
    if (p != null) {
      return reference(pointer, p);
    }
    String c = def.text(plain);
    if (c == null) {
      return null;
    }
    return Ref.constant(floating ? (Number) def.parseFloat(plain, c) : (Number) def.parseInteger(plain, c));
  }

  static Element only(List<Element> elements) {
    return elements.isEmpty() ? null : elements.get(0);
  }

  /** @return the name, unique in the description */
  public String name() {
    return def.name;
  }

  /** @return the node type as the description file spells it, e.g. {@code IntReg} */
  public String type() {
    return def.type;
  }

  /** @return the name to show users (the name when the file gives none) */
  public String displayName() {
    return displayName == null ? name() : displayName;
  }

  /** @return a short help text, empty when none */
  public String toolTip() {
    return toolTip;
  }

  /** @return a longer help text, empty when none */
  public String description() {
    return description;
  }

  /** @return {@code Beginner}, {@code Expert}, {@code Guru} or {@code Invisible} */
  public String visibility() {
    return visibility;
  }

  /** @return what the node allows now; reading it may read the device */
  public FeatureAccess accessMode() {
    if (implemented != null && !implemented.isTrue()) {
      return FeatureAccess.NI;
    }
    if (available != null && !available.isTrue()) {
      return FeatureAccess.NA;
    }
    FeatureAccess m = ownAccess();
    if (imposed != null) {
      m = FeatureAccess.both(m, imposed);
    }
    if (locked != null && m.writable() && locked.isTrue()) {
      m = FeatureAccess.of(m.readable(), false);
    }
    return m;
  }

  /** @return whether the device has this node at all */
  public boolean isImplemented() {
    return accessMode() != FeatureAccess.NI;
  }

  /** @return whether the node can be read or written now */
  public boolean isAvailable() {
    FeatureAccess m = accessMode();
    return m != FeatureAccess.NI && m != FeatureAccess.NA;
  }

  /** @return whether the node can be read now */
  public boolean isReadable() {
    return accessMode().readable();
  }

  /** @return whether the node can be written now */
  public boolean isWritable() {
    return accessMode().writable();
  }

  /** @return the nodes this one reads through (its value, bounds, address and conditions) */
  public List<Node> dependencies() {
    return Collections.unmodifiableList(references);
  }

  /** @return the value as text, in the form {@link NodeMap#set(String, String)} accepts */
  public String text() {
    throw wrongType("a value");
  }

  /** The access this node's type and the nodes it goes through allow. */
  FeatureAccess ownAccess() {
    // A node with a register of its own answers from it, so no register kind repeats this.
    Reg reg = register();
    if (reg != null) {
      return reg.access();
    }
    Node via = accessVia();
    return via == null ? FeatureAccess.RW : via.accessMode();
  }

  /** The register this node reads and writes, null when it has none of its own. */
  Reg register() {
    return null;
  }

  /** The node whose access mode this one inherits, null when none. */
  Node accessVia() {
    return null;
  }

  /** Why the node is not readable ({@code write} false) or writable now. */
  String whyNot(boolean write) {
    if (implemented != null && !implemented.isTrue()) {
      return "it is not implemented (" + implemented + " = " + implemented.value() + ")";
    }
    if (available != null && !available.isTrue()) {
      return "it is not available (" + available + " = " + available.value() + ")";
    }
    if (write && locked != null && locked.isTrue()) {
      return "locked while " + locked + " = " + locked.value();
    }
    if (imposed != null && !(write ? imposed.writable() : imposed.readable())) {
      return "its imposed access mode is " + imposed;
    }
    Reg reg = register();
    String port = reg == null ? null : reg.whyNot(write);
    if (port != null) {
      return port;
    }
    Node via = accessVia();
    if (via != null) {
      return "through " + via.name() + ", " + via.whyNot(write);
    }
    return "its access mode is " + ownAccess();
  }

  final void checkReadable() {
    FeatureAccess mode = accessMode();
    if (!mode.readable()) {
      throw new FeatureException(kindOfRefusal(mode, FeatureException.Kind.NOT_READABLE), name(),
          name() + " is not readable: " + whyNot(false));
    }
  }

  final void checkWritable() {
    FeatureAccess mode = accessMode();
    if (!mode.writable()) {
      throw new FeatureException(kindOfRefusal(mode, FeatureException.Kind.NOT_WRITABLE), name(),
          name() + " is not writable: " + whyNot(true));
    }
  }

  private static FeatureException.Kind kindOfRefusal(FeatureAccess mode, FeatureException.Kind otherwise) {
    return mode == FeatureAccess.NA || mode == FeatureAccess.NI ? FeatureException.Kind.NOT_AVAILABLE : otherwise;
  }

  /** The public kind for messages: Integer, Float, Enumeration, ... */
  abstract String kind();

  final FeatureException wrongType(String wanted) {
    return new FeatureException(FeatureException.Kind.WRONG_TYPE, name(),
        name() + " is " + article(kind()) + ", not " + wanted);
  }

  // One wording for text that does not parse, whatever the kind of node.
  final FeatureException badText(String text, String what) {
    return new FeatureException(FeatureException.Kind.BAD_VALUE, name(),
        name() + ": '" + text + "' is " + what);
  }

  static String article(String word) {
    return ("AEIOU".indexOf(word.charAt(0)) >= 0 ? "an " : "a ") + word;
  }

  /** The value as a number, for formulas and the nodes built on this one. */
  Number number() {
    throw wrongType("a number");
  }

  /** Writes a number from a node built on this one, within this node's bounds. */
  void setNumber(Number value) {
    throw wrongType("a number");
  }

  Number numberMin() {
    throw wrongType("a number with bounds");
  }

  Number numberMax() {
    throw wrongType("a number with bounds");
  }

  Number numberInc() {
    throw wrongType("a number with bounds");
  }

  /** Sets the value from text as {@link #text()} writes it. */
  void parse(String text) {
    throw wrongType("a value");
  }

  /** Whether the node holds a value users set (Integer, Float, Enumeration, Boolean, String). */
  boolean isValue() {
    return false;
  }

  /** Forgets what was read from the device. */
  void dropCache() {
    Reg reg = register();
    if (reg != null) {
      reg.drop();
    }
  }

  @Override
  public String toString() {
    return type() + " " + name();
  }
}

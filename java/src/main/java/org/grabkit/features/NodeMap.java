package org.grabkit.features;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Collection;
import java.util.Collections;
import java.util.Comparator;
import java.util.Deque;
import java.util.HashMap;
import java.util.HashSet;
import java.util.IdentityHashMap;
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import java.util.Objects;
import java.util.Set;
import java.util.function.LongFunction;
import java.util.stream.Collectors;
import javax.xml.XMLConstants;
import javax.xml.parsers.DocumentBuilder;
import javax.xml.parsers.DocumentBuilderFactory;
import javax.xml.parsers.ParserConfigurationException;
import org.w3c.dom.Document;
import org.w3c.dom.Element;
import org.xml.sax.SAXException;
import org.xml.sax.SAXParseException;

/**
 * A camera's features by name, built from its GenICam description file over its registers.
 *
 * <pre>{@code
 * NodeMap features = NodeMap.parse(xml, port);
 * features.setInteger("Width", 640);
 * features.setEnum("PixelFormat", "Mono8");
 * features.execute("AcquisitionStart");
 * }</pre>
 *
 * Values read from registers are cached as the file allows; a write makes every feature that
 * depends on the written one read afresh. Chunk features ({@code ChunkTimestamp}, ...) read the
 * chunk data of the buffer last given to {@link #attachChunks(LongFunction)}. Not safe for use by
 * several threads at once.
 */
public final class NodeMap {
  private static final Set<String> LEGACY =
      Set.of("ConfRom", "TextDesc", "IntKey", "AdvFeatureLock", "SmartFeature");

  final RegisterPort port;
  private final Map<String, Node> byName = new LinkedHashMap<>();
  private final List<Node> all = new ArrayList<>();
  private final Map<String, String> skipped = new HashMap<>();
  private final Map<Node, List<Node>> dependents = new IdentityHashMap<>();
  // Reached through pInvalidator or pSelected: the whole value chain of such a node is stale.
  private final Set<Node> stalesDeeply = Collections.newSetFromMap(new IdentityHashMap<>());
  private final Map<String, String> attributes = new LinkedHashMap<>();
  private final List<PortNode> chunkPorts = new ArrayList<>();
  /** The attached buffer's chunks by ID, null while none is attached. */
  LongFunction<ByteBuffer> chunks;

  private NodeMap(RegisterPort port) {
    this.port = port;
  }

  /**
   * Reads a description file.
   *
   * @param xml the file's text
   * @param port the registers its nodes read and write
   * @return the node map
   * @throws FeatureException of kind {@link FeatureException.Kind#INVALID_FILE} if the file is
   *     malformed or inconsistent
   */
  public static NodeMap parse(String xml, RegisterPort port) {
    return parse(new ByteArrayInputStream(xml.getBytes(StandardCharsets.UTF_8)), port);
  }

  /**
   * Reads a description file.
   *
   * @param xml the file's bytes; not closed
   * @param port the registers its nodes read and write
   * @return the node map
   * @throws FeatureException of kind {@link FeatureException.Kind#INVALID_FILE} if the file is
   *     malformed or inconsistent
   */
  public static NodeMap parse(InputStream xml, RegisterPort port) {
    Document doc;
    try {
      DocumentBuilderFactory f = DocumentBuilderFactory.newInstance();
      f.setNamespaceAware(true);
      // A description file never needs outside documents; refusing them keeps parsing local.
      f.setFeature(XMLConstants.FEATURE_SECURE_PROCESSING, true);
      f.setAttribute(XMLConstants.ACCESS_EXTERNAL_DTD, "");
      f.setAttribute(XMLConstants.ACCESS_EXTERNAL_SCHEMA, "");
      f.setExpandEntityReferences(false);
      try {
        // Every element is visited anyway: building them at once is cheaper than on demand.
        f.setFeature("http://apache.org/xml/features/dom/defer-node-expansion", false);
      } catch (ParserConfigurationException e) {
        // Another DOM implementation: it builds its tree its own way.
      }
      DocumentBuilder b = f.newDocumentBuilder();
      // The exception carries line and column; the default handler would also print to stderr.
      b.setErrorHandler(new org.xml.sax.helpers.DefaultHandler() {
        @Override
        public void fatalError(SAXParseException e) throws SAXException {
          throw e;
        }
      });
      doc = b.parse(xml);
    } catch (SAXParseException e) {
      throw new FeatureException(FeatureException.Kind.INVALID_FILE, null,
          "description file, line " + e.getLineNumber() + ", column " + e.getColumnNumber()
              + ": " + e.getMessage(), e);
    } catch (SAXException | ParserConfigurationException e) {
      throw new FeatureException(FeatureException.Kind.INVALID_FILE, null,
          "description file: " + e.getMessage(), e);
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
    Element root = doc.getDocumentElement();
    if (!Def.local(root).equals("RegisterDescription")) {
      throw new FeatureException(FeatureException.Kind.INVALID_FILE, null,
          "description file: the root element is " + Def.local(root) + ", not RegisterDescription");
    }
    NodeMap map = new NodeMap(port);
    for (int i = 0; i < root.getAttributes().getLength(); i++) {
      var a = root.getAttributes().item(i);
      map.attributes.put(a.getNodeName(), a.getNodeValue());
    }
    map.collect(root);
    for (Node n : new ArrayList<>(map.all)) {
      n.link();
    }
    map.checkCycles();
    map.indexDependents();
    for (Node n : map.all) {
      if (n instanceof PortNode && ((PortNode) n).isChunk()) {
        map.chunkPorts.add((PortNode) n);
      }
    }
    return map;
  }

  private void collect(Element parent) {
    for (Element e : Def.children(parent)) {
      String type = Def.local(e);
      if (type.equals("Group")) {
        collect(e);
        continue;
      }
      String name = e.getAttribute("Name");
      if (type.equals("StructReg")) {
        structReg(e);
        continue;
      }
      if (name.isEmpty()) {
        throw new FeatureException(FeatureException.Kind.INVALID_FILE, null,
            "description file: a " + type + " element has no Name");
      }
      Node n = create(e, new Def(e, name));
      if (n == null) {
        checkFree(name, type);
        skipped.put(name, type);
      } else {
        add(n);
      }
    }
  }

  private Node create(Element e, Def def) {
    switch (def.type) {
      case "Category": return new CategoryNode(this, def);
      case "Integer": return new IntegerKinds.Plain(this, def);
      case "IntReg": return new IntegerKinds.IntReg(this, def, new Reg(def));
      case "MaskedIntReg": return new IntegerKinds.Masked(this, def, def, new Reg(def), false);
      case "IntConverter": return new IntegerKinds.Converter(this, def);
      case "IntSwissKnife": return new IntegerKinds.SwissKnife(this, def);
      case "Float": return new FloatKinds.Plain(this, def);
      case "FloatReg": return new FloatKinds.FloatReg(this, def, new Reg(def));
      case "Converter": return new FloatKinds.Converter(this, def);
      case "SwissKnife": return new FloatKinds.SwissKnife(this, def);
      case "Enumeration": return new EnumerationNode(this, def);
      case "Boolean": return new BooleanNode(this, def);
      case "Command": return new CommandNode(this, def);
      case "String": return new StringNode.Plain(this, def);
      case "StringReg": return new StringNode.Reg(this, def, new Reg(def));
      case "Register": return new RegisterNode(this, def, new Reg(def));
      case "Port": return new PortNode(this, def);
      default: return null;
    }
  }

  private void structReg(Element e) {
    Def whole = new Def(e, e.getAttribute("Name").isEmpty() ? "StructReg" : e.getAttribute("Name"));
    Reg reg = new Reg(whole);
    if (!e.getAttribute("Name").isEmpty()) {
      add(new RegisterNode(this, whole, reg));
    }
    for (Element entry : whole.all("StructEntry")) {
      String name = entry.getAttribute("Name");
      if (name.isEmpty()) {
        throw whole.bad("StructEntry", "an entry has no Name");
      }
      add(new IntegerKinds.Masked(this, new Def(entry, name), whole, reg, true));
    }
  }

  private void checkFree(String name, String type) {
    String other = byName.containsKey(name) ? byName.get(name).type() : skipped.get(name);
    if (other != null) {
      throw new FeatureException(FeatureException.Kind.INVALID_FILE, name,
          "description file: the name " + name + " is used twice (" + other + " and " + type + ")");
    }
  }

  private void add(Node n) {
    checkFree(n.name(), n.type());
    byName.put(n.name(), n);
    all.add(n);
  }

  /** An anonymous node inside another, such as an address formula. */
  Node embedded(Element e, Node owner) {
    String name = e.getAttribute("Name");
    Node n = create(e, new Def(e, name.isEmpty() ? owner.name() + "/" + Def.local(e) : name));
    all.add(n);
    n.link();
    return n;
  }

  boolean has(String name) {
    return byName.containsKey(name);
  }

  /** The node a p-element of {@code from} names. */
  Node resolve(Node from, String element, String target) {
    Node n = byName.get(target);
    if (n != null) {
      return n;
    }
    String type = skipped.get(target);
    String where = from.type() + " " + from.name() + ", element " + element + ": ";
    if (type != null) {
      throw new FeatureException(FeatureException.Kind.INVALID_FILE, from.name(),
          where + target + " is a " + type + ", a node type this reader does not "
              + (LEGACY.contains(type) ? "use" : "know"));
    }
    throw new FeatureException(FeatureException.Kind.INVALID_FILE, from.name(),
        where + "names " + target + ", which is not in the file");
  }

  private void checkCycles() {
    Map<Node.Edge, Integer> state = new HashMap<>();
    for (Node n : all) {
      visit(new Node.Edge(false, n, false), state, new ArrayDeque<>());
      visit(new Node.Edge(true, n, true), state, new ArrayDeque<>());
    }
  }

  // Vertices are (node, bounds?) pairs, written as edges leading to them.
  private void visit(Node.Edge at, Map<Node.Edge, Integer> state, Deque<Node.Edge> path) {
    Node.Edge key = new Node.Edge(false, at.to(), at.toBounds());
    Integer s = state.get(key);
    if (s != null && s == 2) {
      return;
    }
    if (s != null && s == 1) {
      List<String> cycle = new ArrayList<>();
      boolean in = false;
      for (Node.Edge p : path) {
        in |= p.equals(key);
        if (in) {
          cycle.add(p.to().name());
        }
      }
      cycle.add(at.to().name());
      throw new FeatureException(FeatureException.Kind.INVALID_FILE, at.to().name(),
          "description file: cycle of references " + String.join(" -> ", cycle));
    }
    state.put(key, 1);
    path.addLast(key);
    for (Node.Edge e : at.to().edges) {
      if (e.fromBounds() == at.toBounds()) {
        visit(e, state, path);
      }
    }
    path.removeLast();
    state.put(key, 2);
  }

  private void indexDependents() {
    for (Node n : all) {
      for (Node r : n.references) {
        dependents.computeIfAbsent(r, k -> new ArrayList<>()).add(n);
      }
      for (Node r : n.invalidators) {
        dependents.computeIfAbsent(r, k -> new ArrayList<>()).add(n);
        stalesDeeply.add(n);
      }
      for (Node r : n.selected) {
        dependents.computeIfAbsent(n, k -> new ArrayList<>()).add(r);
        stalesDeeply.add(r);
      }
    }
  }

  /** After a write: everything that depends on {@code changed} reads afresh. */
  void changed(Node changed) {
    Set<Node> seen = Collections.newSetFromMap(new IdentityHashMap<>());
    Deque<Node> todo = new ArrayDeque<>(dependents.getOrDefault(changed, List.of()));
    while (!todo.isEmpty()) {
      Node n = todo.removeFirst();
      if (n != changed && seen.add(n)) {
        n.dropCache();
        if (stalesDeeply.contains(n)) {
          for (Node v = n.accessVia(); v != null && v != changed; v = v.accessVia()) {
            v.dropCache();
          }
        }
        todo.addAll(dependents.getOrDefault(n, List.of()));
      }
    }
  }

  /** Forgets the cached values {@code n} reads through, so that it reads the device. */
  void dropDownward(Node n) {
    Set<Node> seen = Collections.newSetFromMap(new IdentityHashMap<>());
    Deque<Node> todo = new ArrayDeque<>(List.of(n));
    while (!todo.isEmpty()) {
      Node m = todo.removeFirst();
      if (seen.add(m)) {
        m.dropCache();
        todo.addAll(m.references);
      }
    }
  }

  /**
   * Attaches a buffer's chunk data: until the next attachment or {@link #detachChunks()}, a
   * feature on a port with a {@code ChunkID} reads the bytes of the chunk with that ID, address 0
   * being the chunk's first byte. The function is asked on every access, so it must answer for
   * as long as the attachment lasts; a chunk it does not give, or one it cannot give any more
   * (the exception's message says why), makes the features on it not available. Features on a
   * read-only buffer are read-only.
   *
   * <pre>{@code
   * features.attachChunks(id -> id == 0x11 ? chunkBytes : null);
   * long timestamp = features.getInteger("ChunkTimestamp");
   * }</pre>
   *
   * @param chunkById the bytes of the chunk with an ID, from position to limit; null when the
   *     buffer has no such chunk
   */
  public void attachChunks(LongFunction<ByteBuffer> chunkById) {
    chunks = Objects.requireNonNull(chunkById, "chunkById");
    chunksChanged();
  }

  /** Detaches the chunk data: chunk features are not available until the next attachment. */
  public void detachChunks() {
    chunks = null;
    chunksChanged();
  }

  // Chunk registers are never cached, but nodes built on them may be (a register whose address
  // a chunk value gives, a pInvalidator naming a chunk feature): a new buffer makes them stale.
  private void chunksChanged() {
    for (PortNode p : chunkPorts) {
      changed(p);
    }
  }

  /** Forgets every cached value: the next reads ask the device. */
  public void invalidate() {
    for (Node n : all) {
      n.dropCache();
    }
  }

  /**
   * @return the root element's attributes ({@code ModelName}, {@code VendorName}, ...)
   */
  public Map<String, String> fileAttributes() {
    return Collections.unmodifiableMap(attributes);
  }

  /**
   * @param name a node's name
   * @return the node
   * @throws FeatureException of kind {@link FeatureException.Kind#UNKNOWN_FEATURE} naming the
   *     closest names when there is none
   */
  public Node node(String name) {
    Node n = byName.get(name);
    if (n == null) {
      List<String> close = closest(name);
      throw new FeatureException(FeatureException.Kind.UNKNOWN_FEATURE, name,
          "no feature is named " + name + (close.isEmpty() ? "" : "; did you mean " + String.join(", ", close) + "?"));
    }
    return n;
  }

  /**
   * @param name a name
   * @return whether a node has the name
   */
  public boolean contains(String name) {
    return byName.containsKey(name);
  }

  /**
   * @return every named node, in the file's order
   */
  public Collection<Node> nodes() {
    return Collections.unmodifiableCollection(byName.values());
  }

  /**
   * @return the category {@code Root}, the top of the feature tree, if the file has it
   */
  public Optional<CategoryNode> root() {
    Node n = byName.get("Root");
    return n instanceof CategoryNode ? Optional.of((CategoryNode) n) : Optional.empty();
  }

  private List<String> closest(String name) {
    int limit = Math.max(2, name.length() / 3);
    String lower = name.toLowerCase();
    return byName.keySet().stream()
        .map(k -> Map.entry(k, distance(lower, k.toLowerCase())))
        .filter(e -> e.getValue() <= limit)
        .sorted(Comparator.comparingInt((Map.Entry<String, Integer> e) -> e.getValue())
            .thenComparing(Map.Entry::getKey))
        .limit(3)
        .map(Map.Entry::getKey)
        .collect(Collectors.toList());
  }

  static int distance(String a, String b) {
    int[] prev = new int[b.length() + 1];
    int[] cur = new int[b.length() + 1];
    for (int j = 0; j <= b.length(); j++) {
      prev[j] = j;
    }
    for (int i = 1; i <= a.length(); i++) {
      cur[0] = i;
      for (int j = 1; j <= b.length(); j++) {
        int cost = a.charAt(i - 1) == b.charAt(j - 1) ? 0 : 1;
        cur[j] = Math.min(Math.min(cur[j - 1] + 1, prev[j] + 1), prev[j - 1] + cost);
      }
      int[] t = prev;
      prev = cur;
      cur = t;
    }
    return prev[b.length()];
  }

  private <T extends Node> T typed(String name, Class<T> type, String kind) {
    Node n = node(name);
    if (!type.isInstance(n)) {
      throw n.wrongType(Node.article(kind));
    }
    return type.cast(n);
  }

  /**
   * @param name an Integer feature
   * @return its value
   */
  public long getInteger(String name) {
    return typed(name, IntegerNode.class, "Integer").value();
  }

  /**
   * @param name an Integer feature
   * @param value its new value
   */
  public void setInteger(String name, long value) {
    typed(name, IntegerNode.class, "Integer").setValue(value);
  }

  /**
   * @param name a Float feature
   * @return its value
   */
  public double getFloat(String name) {
    return typed(name, FloatNode.class, "Float").value();
  }

  /**
   * @param name a Float feature
   * @param value its new value
   */
  public void setFloat(String name, double value) {
    typed(name, FloatNode.class, "Float").setValue(value);
  }

  /**
   * @param name an Enumeration feature
   * @return the current entry's symbol
   */
  public String getEnum(String name) {
    return typed(name, EnumerationNode.class, "Enumeration").symbol();
  }

  /**
   * @param name an Enumeration feature
   * @param symbol the entry to set
   */
  public void setEnum(String name, String symbol) {
    typed(name, EnumerationNode.class, "Enumeration").setSymbol(symbol);
  }

  /**
   * @param name a Boolean feature
   * @return its value
   */
  public boolean getBoolean(String name) {
    return typed(name, BooleanNode.class, "Boolean").value();
  }

  /**
   * @param name a Boolean feature
   * @param value its new value
   */
  public void setBoolean(String name, boolean value) {
    typed(name, BooleanNode.class, "Boolean").setValue(value);
  }

  /**
   * @param name a String feature
   * @return its text
   */
  public String getString(String name) {
    return typed(name, StringNode.class, "String").value();
  }

  /**
   * @param name a String feature
   * @param value its new text
   */
  public void setString(String name, String value) {
    typed(name, StringNode.class, "String").setValue(value);
  }

  /**
   * @param name a Register node
   * @return its bytes
   */
  public byte[] getBytes(String name) {
    return typed(name, RegisterNode.class, "Register").bytes();
  }

  /**
   * Runs a command without waiting.
   *
   * @param name a Command feature
   */
  public void execute(String name) {
    typed(name, CommandNode.class, "Command").execute();
  }

  /**
   * @param name a Command feature
   * @return whether its last run has finished
   */
  public boolean isDone(String name) {
    return typed(name, CommandNode.class, "Command").isDone();
  }

  /**
   * Runs a command and waits until it is done.
   *
   * @param name a Command feature
   * @param timeout how long to wait at most
   * @throws FeatureException of kind {@link FeatureException.Kind#TIMEOUT} if it is not done by then
   */
  public void execute(String name, Duration timeout) {
    typed(name, CommandNode.class, "Command").execute(timeout);
  }

  /**
   * @param name a feature with a value
   * @return the value as text: a number, an entry's symbol, {@code true}/{@code false}, the text
   */
  public String get(String name) {
    return node(name).text();
  }

  /**
   * Sets a feature from text as {@link #get(String)} writes it (integers may be {@code 0x} hex).
   *
   * @param name a feature with a value
   * @param value the text
   */
  public void set(String name, String value) {
    node(name).parse(value);
  }

  /**
   * Writes the settings to a file that {@link #load(Path)} replays: one {@code Name = value} line
   * per feature, selectors before the features they select, each selected value under a comment
   * naming its selector's value.
   *
   * @param file the file to write
   */
  public void save(Path file) {
    try {
      Files.write(file, Settings.save(this, saved()), StandardCharsets.UTF_8);
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
  }

  /**
   * Applies a settings file written by {@link #save(Path)}, line by line.
   *
   * @param file the file to read
   * @return a message for each line that could not be applied, empty when all were
   */
  public List<String> load(Path file) {
    try {
      return Settings.load(this, Files.readAllLines(file, StandardCharsets.UTF_8));
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
  }

  /** The features a settings file holds, in the tree's order. */
  private List<Node> saved() {
    boolean marked = all.stream().anyMatch(n -> Boolean.TRUE.equals(n.streamable));
    List<Node> order = new ArrayList<>();
    Set<Node> seen = new HashSet<>();
    root().ifPresent(r -> walk(r, order, seen));
    if (order.isEmpty() || marked) {
      // Without a tree, the nodes that others read through are the implementation of a
      // feature, not features of their own: saving them too would write each value twice.
      Set<Node> underlying = Collections.newSetFromMap(new IdentityHashMap<>());
      all.forEach(n -> underlying.addAll(n.references));
      for (Node n : byName.values()) {
        if ((marked || !underlying.contains(n)) && seen.add(n)) {
          order.add(n);
        }
      }
    }
    return order.stream()
        .filter(n -> n.isValue() && (marked ? Boolean.TRUE.equals(n.streamable) : !Boolean.FALSE.equals(n.streamable)))
        .collect(Collectors.toCollection(ArrayList::new));
  }

  private void walk(CategoryNode c, List<Node> order, Set<Node> seen) {
    if (!seen.add(c)) {
      return;
    }
    for (Node n : c.features()) {
      if (n instanceof CategoryNode) {
        walk((CategoryNode) n, order, seen);
      } else if (seen.add(n)) {
        order.add(n);
      }
    }
  }

}

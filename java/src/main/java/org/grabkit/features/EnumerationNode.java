package org.grabkit.features;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.stream.Collectors;
import org.w3c.dom.Element;

/** A feature that takes one of a list of named entries, e.g. {@code PixelFormat}. */
public final class EnumerationNode extends Node {
  private final List<EnumEntryNode> entries = new ArrayList<>();
  private Ref value;
  private long memory;

  EnumerationNode(NodeMap map, Def def) {
    super(map, def);
    for (Element e : def.all("EnumEntry")) {
      entries.add(new EnumEntryNode(map, new Def(e, e.getAttribute("Name"))));
    }
    if (entries.isEmpty()) {
      throw def.bad("EnumEntry", "the enumeration has no entries");
    }
  }

  @Override
  void link() {
    super.link();
    value = value("Value", "pValue", false);
    if (value == null) {
      throw def.bad("Value", "the Enumeration has neither Value nor pValue");
    }
    if (value.node == null) {
      memory = value.constant.longValue();
    }
    for (EnumEntryNode e : entries) {
      e.link();
      references.addAll(e.references);
    }
  }

  List<EnumEntryNode> allEntries() {
    return entries;
  }

  /** @return every entry the file lists, available now or not */
  public List<EnumEntryNode> entries() {
    return Collections.unmodifiableList(entries);
  }

  /** @return the entries that can be set now */
  public List<EnumEntryNode> availableEntries() {
    return entries.stream().filter(Node::isAvailable).collect(Collectors.toList());
  }

  /**
   * @param symbol an entry's symbol (or its name in the file)
   * @return the entry, null when the enumeration has none of that symbol
   */
  public EnumEntryNode entry(String symbol) {
    for (EnumEntryNode e : entries) {
      if (e.symbol().equals(symbol)) {
        return e;
      }
    }
    for (EnumEntryNode e : entries) {
      if (e.name().equals(symbol)) {
        return e;
      }
    }
    return null;
  }

  long get() {
    return value.node == null ? memory : value.asLong();
  }

  /** @return the integer value, read from the device unless cached */
  public long intValue() {
    checkReadable();
    return get();
  }

  /** @return the current entry */
  public EnumEntryNode entry() {
    checkReadable();
    long v = get();
    for (EnumEntryNode e : entries) {
      if (e.value() == v) {
        return e;
      }
    }
    throw new FeatureException(FeatureException.Kind.NOT_READABLE, name(),
        name() + " has value " + v + ", which is none of its entries");
  }

  /** @return the current entry's symbol */
  public String symbol() {
    return entry().symbol();
  }

  /**
   * Sets the entry.
   *
   * @param symbol the entry's symbol
   * @throws FeatureException if the enumeration is not writable or has no such available entry
   */
  public void setSymbol(String symbol) {
    checkWritable();
    EnumEntryNode e = entry(symbol);
    if (e == null || !e.isAvailable()) {
      String available = availableEntries().stream().map(EnumEntryNode::symbol)
          .collect(Collectors.joining(", "));
      throw new FeatureException(FeatureException.Kind.NOT_AN_ENTRY, name(),
          (e == null ? symbol + " is not an entry of " + name() : symbol + " of " + name() + " is not available now")
              + "; available entries: " + available);
    }
    put(e.value());
  }

  private void put(long v) {
    if (value.node == null) {
      memory = v;
    } else {
      value.node.setNumber(v);
    }
    map.changed(this);
  }

  @Override
  Node accessVia() {
    return value.node;
  }

  @Override
  public String text() {
    return symbol();
  }

  @Override
  void parse(String text) {
    setSymbol(text.trim());
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
  void setNumber(Number v) {
    long n = v.longValue();
    for (EnumEntryNode e : entries) {
      if (e.value() == n) {
        put(n);
        return;
      }
    }
    throw new FeatureException(FeatureException.Kind.OUT_OF_RANGE, name(),
        n + " is the value of no entry of " + name());
  }

  @Override
  String kind() {
    return "Enumeration";
  }
}

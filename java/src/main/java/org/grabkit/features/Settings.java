package org.grabkit.features;

import java.util.ArrayList;
import java.util.HashSet;
import java.util.List;
import java.util.Set;

/** The text of a settings file: what {@link NodeMap#save} writes and {@link NodeMap#load} replays. */
final class Settings {
  // Integer selectors with more values than this are saved at their current value only.
  private static final long MAX_SELECTOR_VALUES = 256;

  private Settings() {}

  static List<String> save(NodeMap map, List<Node> features) {
    Set<Node> saved = new HashSet<>(features);
    Set<Node> selected = new HashSet<>();
    for (Node n : features) {
      selected.addAll(n.selected);
    }
    List<String> lines = new ArrayList<>();
    String model = map.fileAttributes().getOrDefault("ModelName", "");
    lines.add("# Settings of " + (model.isEmpty() ? "a camera" : model) + "; each line is Name = value, applied in order");
    for (Node n : features) {
      if (!selected.contains(n)) {
        write(n, saved, lines, "");
      }
    }
    return lines;
  }

  private static void write(Node n, Set<Node> saved, List<String> lines, String indent) {
    if (!n.isReadable() || !n.isWritable()) {
      return;
    }
    List<Node> group = new ArrayList<>();
    for (Node s : n.selected) {
      if (saved.contains(s)) {
        group.add(s);
      }
    }
    String current = n.text();
    if (group.isEmpty()) {
      lines.add(indent + n.name() + " = " + current);
      return;
    }
    for (String value : values(n)) {
      try {
        n.parse(value);
      } catch (FeatureException e) {
        continue;
      }
      lines.add(indent + "# " + n.name() + " = " + value + ":");
      lines.add(indent + n.name() + " = " + value);
      for (Node s : group) {
        write(s, saved, lines, indent + "  ");
      }
    }
    n.parse(current);
    lines.add(indent + n.name() + " = " + current);
  }

  private static List<String> values(Node selector) {
    List<String> out = new ArrayList<>();
    if (selector instanceof EnumerationNode) {
      for (EnumEntryNode e : ((EnumerationNode) selector).availableEntries()) {
        out.add(e.symbol());
      }
    } else if (selector instanceof IntegerNode) {
      IntegerNode i = (IntegerNode) selector;
      long min = i.min();
      long max = i.max();
      long inc = Math.max(1, i.inc());
      if (max >= min && (max - min) / inc < MAX_SELECTOR_VALUES) {
        for (long v = min; v <= max; v += inc) {
          out.add(Long.toString(v));
        }
      } else {
        out.add(selector.text());
      }
    } else {
      out.add(selector.text());
    }
    return out;
  }

  static List<String> load(NodeMap map, List<String> lines) {
    List<String> problems = new ArrayList<>();
    for (int i = 0; i < lines.size(); i++) {
      String line = lines.get(i).trim();
      if (line.isEmpty() || line.startsWith("#")) {
        continue;
      }
      int eq = line.indexOf('=');
      if (eq <= 0) {
        problems.add("line " + (i + 1) + ": not Name = value: " + line);
        continue;
      }
      String name = line.substring(0, eq).trim();
      String value = line.substring(eq + 1).trim();
      try {
        map.set(name, value);
      } catch (FeatureException e) {
        problems.add("line " + (i + 1) + ": " + e.getMessage());
      }
    }
    return problems;
  }
}

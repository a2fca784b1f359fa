package org.grabkit.cli;

import java.util.ArrayList;
import java.util.HashSet;
import java.util.List;
import java.util.Locale;
import java.util.Set;
import java.util.stream.Collectors;
import org.grabkit.AccessMode;
import org.grabkit.features.CategoryNode;
import org.grabkit.features.CommandNode;
import org.grabkit.features.EnumEntryNode;
import org.grabkit.features.EnumerationNode;
import org.grabkit.features.FeatureException;
import org.grabkit.features.FloatNode;
import org.grabkit.features.IntegerNode;
import org.grabkit.features.Node;
import org.grabkit.features.NodeMap;

/** {@code grabkit features}: the feature tree with values, units, access and ranges. */
final class FeaturesCommand extends Command {
  private static final String INDENT = "  ";

  FeaturesCommand() {
    super(
        "features",
        "list the feature tree with values, units, access and ranges",
        Set.of("--device"),
        "usage: grabkit [--cti PATH] features [--device NAME] [--all] [FILTER]",
        "",
        "Prints the device's categories and, under each, its features as",
        "  Name = value unit  [min..max, step inc]  access",
        "with access RW, RO or WO; writable numbers show their range, writable enumerations",
        "their available symbols in {}. Invisible features and those the device does not have",
        "or offer now (NI, NA) are left out.",
        "Without a category tree, every node is listed instead.",
        "  --device NAME the device by ID, serial number, user-defined or display name",
        "                (default: the first one listed)",
        "  --all         show invisible and unavailable features too",
        "  FILTER        only features whose name contains FILTER (any case), with their",
        "                categories");
  }

  @Override
  Set<String> flags() {
    return Set.of("--all");
  }

  @Override
  int run(Options options, Session session) {
    List<String> args = options.positional();
    if (args.size() > 1) {
      throw CliException.usage("features takes at most one FILTER");
    }
    String filter = args.isEmpty() ? "" : args.get(0).toLowerCase(Locale.ROOT);
    boolean all = options.has("--all");
    List<String> lines =
        session.withCamera(
            options.value("--device"),
            AccessMode.READ_ONLY,
            camera -> list(camera.features(), filter, all));
    lines.forEach(session.out::println);
    if (lines.isEmpty() && !filter.isEmpty()) {
      session.err.println("grabkit: no feature name contains '" + args.get(0) + "'");
      return CliException.NOT_FOUND;
    }
    return CliException.OK;
  }

  private static List<String> list(NodeMap map, String filter, boolean all) {
    List<String> lines = new ArrayList<>();
    if (map.root().isPresent()) {
      category(map.root().get(), "", filter, all, lines, new HashSet<>());
    } else {
      for (Node n : map.nodes()) {
        if (!(n instanceof CategoryNode || n instanceof EnumEntryNode) && shown(n, filter, all)) {
          lines.add(line(n));
        }
      }
    }
    return lines;
  }

  /** Adds the category's lines, or none when nothing under it is shown. */
  private static void category(
      CategoryNode c, String indent, String filter, boolean all, List<String> lines,
      Set<Node> seen) {
    if (!seen.add(c) || !(all || visible(c))) {
      return;
    }
    List<String> below = new ArrayList<>();
    for (Node n : c.features()) {
      if (n instanceof CategoryNode) {
        category((CategoryNode) n, indent + INDENT, filter, all, below, seen);
      } else if (shown(n, filter, all)) {
        below.add(indent + INDENT + line(n));
      }
    }
    if (!below.isEmpty()) {
      lines.add(indent + c.name());
      lines.addAll(below);
    }
  }

  private static boolean shown(Node n, String filter, boolean all) {
    return n.name().toLowerCase(Locale.ROOT).contains(filter) && (all || visible(n));
  }

  private static boolean visible(Node n) {
    return !n.visibility().equals("Invisible") && n.isAvailable();
  }

  /** One feature; a failure to read a part shows in place of that part, not as an error. */
  private static String line(Node n) {
    StringBuilder text = new StringBuilder(n.name());
    String access;
    try {
      access = n.accessMode().toString();
    } catch (FeatureException e) {
      return text.append("  (").append(e.getMessage()).append(')').toString();
    }
    try {
      if (n instanceof CommandNode) {
        text.append("  (command)");
      } else if (n.isReadable()) {
        text.append(" = ").append(n.text());
        text.append(unit(n));
      }
      // A read-only value's bounds are only its register's width: nothing a user can choose.
      if (n.isWritable()) {
        text.append(range(n));
      }
    } catch (FeatureException e) {
      text.append("  (").append(e.getMessage()).append(')');
    }
    return text.append("  ").append(access).toString();
  }

  private static String unit(Node n) {
    String unit =
        n instanceof IntegerNode ? ((IntegerNode) n).unit()
            : n instanceof FloatNode ? ((FloatNode) n).unit() : "";
    return unit.isEmpty() ? "" : " " + unit;
  }

  private static String range(Node n) {
    if (n instanceof IntegerNode) {
      IntegerNode i = (IntegerNode) n;
      return "  [" + i.min() + ".." + i.max() + (i.inc() == 1 ? "" : ", step " + i.inc()) + "]";
    }
    if (n instanceof FloatNode) {
      FloatNode f = (FloatNode) n;
      return "  [" + f.min() + ".." + f.max() + (f.hasInc() ? ", step " + f.inc() : "") + "]";
    }
    if (n instanceof EnumerationNode) {
      return ((EnumerationNode) n).availableEntries().stream()
          .map(EnumEntryNode::symbol)
          .collect(Collectors.joining(", ", "  {", "}"));
    }
    return "";
  }
}

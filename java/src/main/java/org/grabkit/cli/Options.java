package org.grabkit.cli;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import java.util.Set;

/** A command line split into {@code --name value} options, switches and positional words. */
final class Options {
  private final Map<String, List<String>> values = new HashMap<>();
  private final List<String> switches = new ArrayList<>();
  private final List<String> positional = new ArrayList<>();

  /**
   * @param valued options that take a value ({@code --name value} or {@code --name=value})
   * @param flags options that take none
   */
  static Options parse(List<String> args, Set<String> valued, Set<String> flags) {
    Options o = new Options();
    for (int i = 0; i < args.size(); i++) {
      String arg = args.get(i);
      if (!arg.startsWith("-") || arg.equals("-")) {
        o.positional.add(arg);
        continue;
      }
      int eq = arg.indexOf('=');
      String name = eq < 0 ? arg : arg.substring(0, eq);
      if (flags.contains(name) && eq < 0) {
        o.switches.add(name);
      } else if (valued.contains(name)) {
        if (eq >= 0) {
          o.values.computeIfAbsent(name, k -> new ArrayList<>()).add(arg.substring(eq + 1));
        } else if (i + 1 < args.size()) {
          o.values.computeIfAbsent(name, k -> new ArrayList<>()).add(args.get(++i));
        } else {
          throw CliException.usage(name + " needs a value");
        }
      } else if (arg.matches("-\\d.*")) {
        o.positional.add(arg); // a negative number
      } else {
        throw CliException.usage("unknown option " + arg);
      }
    }
    return o;
  }

  boolean has(String flag) {
    return switches.contains(flag);
  }

  /** The option's value; given more than once, the last one wins. */
  Optional<String> value(String name) {
    List<String> all = values(name);
    return all.isEmpty() ? Optional.empty() : Optional.of(all.get(all.size() - 1));
  }

  /** Every value of a repeatable option, in command-line order. */
  List<String> values(String name) {
    return values.getOrDefault(name, List.of());
  }

  List<String> positional() {
    return positional;
  }

  /** A whole number of at least {@code min}, decimal or 0x-hex. */
  long number(String name, long fallback, long min) {
    return value(name).map(v -> number(name, v, min)).orElse(fallback);
  }

  static long number(String what, String text, long min) {
    long n;
    try {
      n =
          text.startsWith("0x") || text.startsWith("0X")
              ? Long.parseUnsignedLong(text.substring(2), 16)
              : Long.parseLong(text);
    } catch (NumberFormatException e) {
      throw CliException.usage(what + " must be a number, not '" + text + "'");
    }
    if (n < min) {
      throw CliException.usage(what + " must be at least " + min + ", not " + text);
    }
    return n;
  }
}

package org.grabkit.cli;

import java.time.Duration;
import java.util.List;
import java.util.Set;
import org.grabkit.AccessMode;
import org.grabkit.features.CommandNode;
import org.grabkit.features.NodeMap;

/** {@code grabkit set}: writes features by name, or runs commands. */
final class SetCommand extends Command {
  // Long enough for a device to finish any ordinary command, short enough not to hang the tool.
  private static final Duration COMMAND_TIMEOUT = Duration.ofSeconds(5);

  SetCommand() {
    super(
        "set",
        "set features by name (NAME=VALUE) or run commands (NAME)",
        Set.of("--device"),
        "usage: grabkit [--cti PATH] set [--device NAME] NAME=VALUE|COMMAND...",
        "",
        "Sets each feature in the order given and prints its value as read back; a word",
        "without '=' runs that command and waits up to 5 s until it is done. Values are",
        "written as 'grabkit get' prints them: numbers (integers also 0x-hex), an enumeration's",
        "symbol, true/false, text. The first feature that cannot be set ends the command with",
        "its name and why. The simulated camera starts from its defaults at each open, so a",
        "setting lasts only for this command; 'grabkit grab --set' sets features for a grab.",
        "  --device NAME the device by ID, serial number, user-defined or display name",
        "                (default: the first one listed)");
  }

  @Override
  int run(Options options, Session session) {
    List<String> edits = options.positional();
    if (edits.isEmpty()) {
      throw CliException.usage("set needs at least one NAME=VALUE or COMMAND");
    }
    check(edits);
    session.withCamera(
        options.value("--device"),
        AccessMode.CONTROL,
        camera -> {
          apply(camera.features(), edits, session);
          return null;
        });
    return CliException.OK;
  }

  /** Rejects a malformed word before the camera is opened, so nothing is half done. */
  static void check(List<String> edits) {
    for (String edit : edits) {
      if (edit.isEmpty() || edit.startsWith("=")) {
        throw CliException.usage("'" + edit + "' names no feature: NAME=VALUE or COMMAND");
      }
    }
  }

  /** Applies each {@code NAME=VALUE} or runs each {@code COMMAND}, reporting each on a line. */
  static void apply(NodeMap features, List<String> edits, Session session) {
    for (String edit : edits) {
      int eq = edit.indexOf('=');
      if (eq < 0) {
        if (!(features.node(edit) instanceof CommandNode)) {
          throw CliException.usage(edit + " is no command: give " + edit + "=VALUE");
        }
        features.execute(edit, COMMAND_TIMEOUT);
        session.out.println("Executed " + edit);
      } else {
        String name = edit.substring(0, eq);
        features.set(name, edit.substring(eq + 1));
        session.out.println(
            features.node(name).isReadable()
                ? name + " = " + features.get(name)
                : "Set " + name);
      }
    }
  }
}

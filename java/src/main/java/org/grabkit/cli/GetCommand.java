package org.grabkit.cli;

import java.util.List;
import java.util.Set;
import org.grabkit.AccessMode;

/** {@code grabkit get}: reads features by name. */
final class GetCommand extends Command {
  GetCommand() {
    super(
        "get",
        "print features by name as NAME = value",
        Set.of("--device"),
        "usage: grabkit [--cti PATH] get [--device NAME] NAME...",
        "",
        "Prints 'NAME = value' for each feature, in the form 'grabkit set' accepts: numbers,",
        "an enumeration's symbol, true/false, text. The first feature that cannot be read",
        "ends the command with its name and why ('did you mean' for a misspelt name).",
        "  --device NAME the device by ID, serial number, user-defined or display name",
        "                (default: the first one listed)");
  }

  @Override
  int run(Options options, Session session) {
    List<String> names = options.positional();
    if (names.isEmpty()) {
      throw CliException.usage("get needs at least one feature name");
    }
    session.withCamera(
        options.value("--device"),
        AccessMode.READ_ONLY,
        camera -> {
          for (String name : names) {
            session.out.println(name + " = " + camera.features().get(name));
          }
          return null;
        });
    return CliException.OK;
  }
}

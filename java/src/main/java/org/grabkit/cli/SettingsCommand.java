package org.grabkit.cli;

import java.io.UncheckedIOException;
import java.nio.file.Path;
import java.util.List;
import java.util.Set;
import org.grabkit.AccessMode;

/** {@code grabkit settings}: a device's settings to a file and back. */
final class SettingsCommand extends Command {
  SettingsCommand() {
    super(
        "settings",
        "save the device's settings to a file or load them from one",
        Set.of("--device"),
        "usage: grabkit [--cti PATH] settings [--device NAME] save FILE",
        "       grabkit [--cti PATH] settings [--device NAME] load FILE",
        "",
        "save writes one 'Name = value' line per setting (selectors before what they",
        "select); load applies such a file line by line, prints each line that could not",
        "be applied with why, and then fails. Lines starting with # are comments.",
        "  --device NAME the device by ID, serial number, user-defined or display name",
        "                (default: the first one listed)");
  }

  @Override
  int run(Options options, Session session) {
    List<String> args = options.positional();
    if (args.size() != 2 || !(args.get(0).equals("save") || args.get(0).equals("load"))) {
      throw CliException.usage("settings needs 'save FILE' or 'load FILE'");
    }
    Path file = Path.of(args.get(1));
    if (args.get(0).equals("save")) {
      OutputFile.check(file);
      // Saving steps every selector through its values to read what each one selects, and
      // writing a selector needs control of the device.
      session.withCamera(
          options.value("--device"),
          AccessMode.CONTROL,
          camera -> {
            try {
              camera.features().save(file);
            } catch (UncheckedIOException e) {
              throw OutputFile.failure(file, e);
            }
            return null;
          });
      session.out.println("Wrote " + file);
      return CliException.OK;
    }
    List<String> problems =
        session.withCamera(
            options.value("--device"),
            AccessMode.CONTROL,
            camera -> {
              try {
                return camera.features().load(file);
              } catch (UncheckedIOException e) {
                throw new UncheckedIOException("cannot read " + file, e.getCause());
              }
            });
    for (String problem : problems) {
      session.out.println(file + ": " + problem);
    }
    if (!problems.isEmpty()) {
      throw new CliException(
          CliException.FAILURE,
          problems.size() + (problems.size() == 1 ? " line" : " lines") + " of " + file
              + " could not be applied");
    }
    session.out.println("Applied " + file);
    return CliException.OK;
  }
}

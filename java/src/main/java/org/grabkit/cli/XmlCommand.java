package org.grabkit.cli;

import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.Optional;
import java.util.Set;
import org.grabkit.AccessMode;

/** {@code grabkit xml}: a device's GenICam description file. */
final class XmlCommand extends Command {
  XmlCommand() {
    super(
        "xml",
        "print a device's GenICam description file (unzipped)",
        Set.of("--device", "--out"),
        "usage: grabkit [--cti PATH] xml [--device NAME] [--out FILE]",
        "",
        "Prints the description file of the device's first URL: Local: files are read from",
        "the device, File: files from disk; zipped files are unzipped.",
        "  --device NAME the device by ID, serial number, user-defined or display name",
        "                (default: the first one listed)",
        "  --out FILE    write the file there instead of printing it");
  }

  @Override
  int run(Options options, Session session) {
    if (!options.positional().isEmpty()) {
      throw CliException.usage("xml takes no arguments");
    }
    Optional<Path> out = options.value("--out").map(Path::of);
    out.ifPresent(OutputFile::check);
    String xml =
        session.withCamera(
            options.value("--device"),
            AccessMode.READ_ONLY,
            camera ->
                camera
                    .descriptionXml()
                    .orElseThrow(
                        () ->
                            new CliException(
                                CliException.FAILURE,
                                "device " + camera.id() + " has no description file URL")));
    if (out.isEmpty()) {
      session.out.print(xml);
      return CliException.OK;
    }
    OutputFile.write(out.get(), o -> o.write(xml.getBytes(StandardCharsets.UTF_8)));
    session.out.println("Wrote " + out.get() + " (" + xml.length() + " characters)");
    return CliException.OK;
  }
}

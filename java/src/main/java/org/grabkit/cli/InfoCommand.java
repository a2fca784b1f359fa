package org.grabkit.cli;

import java.util.Set;
import java.util.stream.Collectors;
import org.grabkit.AccessMode;
import org.grabkit.Camera;
import org.grabkit.DeviceEntry;
import org.grabkit.ImageStream;
import org.grabkit.InterfaceEntry;
import org.grabkit.LoadFailure;
import org.grabkit.LoadedProducers;
import org.grabkit.Producer;
import org.grabkit.StreamEntry;
import org.grabkit.SystemInfo;
import org.grabkit.gentl.GenTLException;

/** {@code grabkit info}: the tree of systems, interfaces, devices and streams. */
final class InfoCommand extends Command {
  InfoCommand() {
    super(
        "info",
        "list systems, interfaces, devices and streams with their information",
        Set.of(),
        "usage: grabkit [--cti PATH] info",
        "",
        "Lists each producer's system, its interfaces, their devices and each device's data",
        "streams. Devices are opened read-only to list their streams; a device that cannot be",
        "opened (e.g. in use) shows why instead. Without --cti every producer on",
        "GENICAM_GENTL64_PATH is listed, and each file that does not load gets a 'Not loaded'",
        "line with the reason; the exit code is 0 when at least one producer loaded.");
  }

  @Override
  int run(Options options, Session session) {
    if (!options.positional().isEmpty()) {
      throw CliException.usage("info takes no arguments");
    }
    try (LoadedProducers loaded = session.load()) {
      for (Producer producer : loaded.producers()) {
        try {
          print(producer, session);
        } catch (GenTLException e) {
          // One producer that fails its listing must not hide the others.
          line(session, "  (listing failed: " + e.getMessage() + ")");
        }
      }
      for (LoadFailure failure : loaded.failures()) {
        line(session, "Not loaded " + failure.path() + ": " + failure.message());
      }
      if (loaded.producers().isEmpty()) {
        throw new CliException(
            CliException.FAILURE,
            "no producer loaded: "
                + loaded.failures().stream()
                    .map(LoadFailure::message)
                    .collect(Collectors.joining("; ")));
      }
    }
    return CliException.OK;
  }

  // Lines are concatenated, not formatted: the first printf costs a cold JVM its formatter and
  // regular expressions, a sizeable part of the whole listing.
  private static void print(Producer producer, Session s) {
    SystemInfo sys = producer.system();
    line(s, "System " + sys.id() + ": " + sys.vendor() + " " + sys.model() + " " + sys.version()
        + " (TL " + sys.transportLayerType() + ", GenTL " + sys.genTLVersion() + ")");
    line(s, "  file " + sys.path());
    for (InterfaceEntry itf : producer.interfaces()) {
      line(s, "  Interface " + itf.id() + ": " + itf.displayName() + " (TL "
          + itf.transportLayerType() + ")");
      for (DeviceEntry dev : itf.devices()) {
        line(s, "    Device " + dev.id() + ": " + dev.vendor() + " " + dev.model() + ", serial "
            + dev.serialNumber() + ", version " + dev.version() + ", access "
            + dev.accessStatus());
        printStreams(producer, dev, s);
      }
    }
  }

  /** What printf's %n ends a line with. */
  private static void line(Session s, String text) {
    s.out.print(text + System.lineSeparator());
  }

  private static void printStreams(Producer producer, DeviceEntry dev, Session s) {
    try (Camera camera = producer.openCamera(dev.id(), AccessMode.READ_ONLY)) {
      for (String id : camera.streamIds()) {
        try (ImageStream stream = camera.openStream(id)) {
          StreamEntry info = stream.info();
          line(s, "      Stream " + info.id() + ": payload " + Session.text(info.payloadSize())
              + " bytes, at least " + Session.text(info.minimumBuffers()) + " buffers, alignment "
              + Session.text(info.bufferAlignment()));
        }
      }
    } catch (GenTLException | IllegalStateException e) {
      line(s, "      (streams unknown: " + e.getMessage() + ")");
    }
  }
}

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
          session.out.printf("  (listing failed: %s)%n", e.getMessage());
        }
      }
      for (LoadFailure failure : loaded.failures()) {
        session.out.printf("Not loaded %s: %s%n", failure.path(), failure.message());
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

  private static void print(Producer producer, Session s) {
    SystemInfo sys = producer.system();
    s.out.printf(
        "System %s: %s %s %s (TL %s, GenTL %s)%n",
        sys.id(), sys.vendor(), sys.model(), sys.version(), sys.transportLayerType(),
        sys.genTLVersion());
    s.out.printf("  file %s%n", sys.path());
    for (InterfaceEntry itf : producer.interfaces()) {
      s.out.printf("  Interface %s: %s (TL %s)%n", itf.id(), itf.displayName(),
          itf.transportLayerType());
      for (DeviceEntry dev : itf.devices()) {
        s.out.printf(
            "    Device %s: %s %s, serial %s, version %s, access %s%n",
            dev.id(), dev.vendor(), dev.model(), dev.serialNumber(), dev.version(),
            dev.accessStatus());
        printStreams(producer, dev, s);
      }
    }
  }

  private static void printStreams(Producer producer, DeviceEntry dev, Session s) {
    try (Camera camera = producer.openCamera(dev.id(), AccessMode.READ_ONLY)) {
      for (String id : camera.streamIds()) {
        try (ImageStream stream = camera.openStream(id)) {
          StreamEntry info = stream.info();
          s.out.printf(
              "      Stream %s: payload %s bytes, at least %s buffers, alignment %s%n",
              info.id(), Session.text(info.payloadSize()), Session.text(info.minimumBuffers()),
              Session.text(info.bufferAlignment()));
        }
      }
    } catch (GenTLException | IllegalStateException e) {
      s.out.printf("      (streams unknown: %s)%n", e.getMessage());
    }
  }
}

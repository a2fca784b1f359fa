package org.grabkit.cli;

import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import java.util.OptionalLong;
import java.util.function.Function;
import org.grabkit.AccessMode;
import org.grabkit.Camera;
import org.grabkit.DeviceEntry;
import org.grabkit.Producer;
import org.grabkit.Producers;

/** One run of the tool: its streams, its environment and the producers it works on. */
final class Session {
  final PrintStream out;
  final PrintStream err;
  private final Map<String, String> env;
  private final Optional<String> cti;

  Session(PrintStream out, PrintStream err, Map<String, String> env, Optional<String> cti) {
    this.out = out;
    this.err = err;
    this.env = env;
    this.cti = cti;
  }

  /**
   * {@code --cti} (a file or a directory of producers), else the producers on the environment
   * variable, else the simulated camera the jar carries.
   */
  List<Path> producers() {
    if (cti.isPresent()) {
      Path path = Path.of(cti.get());
      if (!Files.exists(path)) {
        throw new CliException(CliException.NOT_FOUND, "no such producer file: " + path);
      }
      return nonEmpty(Producers.fromPathList(path.toString()), "--cti " + path);
    }
    String list = env.get(Producers.ENVIRONMENT_VARIABLE);
    if (list != null && !list.isBlank()) {
      return nonEmpty(Producers.fromPathList(list), Producers.ENVIRONMENT_VARIABLE);
    }
    return List.of(Producers.simulated());
  }

  /**
   * Runs {@code use} on a device of the first producer that lists it (any device when no ID is
   * given), closing the camera and the producer afterwards.
   */
  <R> R withCamera(Optional<String> deviceId, AccessMode mode, Function<Camera, R> use) {
    List<String> known = new ArrayList<>();
    for (Path path : producers()) {
      try (Producer producer = Producer.open(path)) {
        List<String> ids = producer.devices().stream().map(DeviceEntry::id).toList();
        Optional<String> wanted = deviceId.isPresent() ? deviceId : ids.stream().findFirst();
        if (wanted.isPresent() && ids.contains(wanted.get())) {
          try (Camera camera = producer.openCamera(wanted.get(), mode)) {
            return use.apply(camera);
          }
        }
        known.addAll(ids);
      }
    }
    String message =
        deviceId
            .map(id -> "no device '" + id + "' (devices: " + String.join(", ", known) + ")")
            .orElse("no device found");
    throw new CliException(CliException.NOT_FOUND, message);
  }

  /** A figure that may be unknown, as text. */
  static String text(OptionalLong value) {
    return value.isPresent() ? Long.toString(value.getAsLong()) : "?";
  }

  private static List<Path> nonEmpty(List<Path> producers, String source) {
    if (producers.isEmpty()) {
      throw new CliException(CliException.NOT_FOUND, source + " names no producer (*.cti)");
    }
    return producers;
  }
}

package org.grabkit.cli;

import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.NoSuchElementException;
import java.util.Optional;
import java.util.OptionalLong;
import java.util.function.Function;
import org.grabkit.AccessMode;
import org.grabkit.AmbiguousNameException;
import org.grabkit.Camera;
import org.grabkit.CameraEntry;
import org.grabkit.Cameras;
import org.grabkit.DeviceEntry;
import org.grabkit.Isolation;
import org.grabkit.LoadFailure;
import org.grabkit.LoadedProducers;
import org.grabkit.Producers;

/** One run of the tool: its streams, its environment and the producers it works on. */
final class Session {
  final PrintStream out;
  final PrintStream err;
  /** Whether standard error is a terminal, where a line can be redrawn with a carriage return. */
  final boolean terminal;
  private final Map<String, String> env;
  private final Optional<String> cti;
  private final Isolation isolation;

  Session(
      PrintStream out,
      PrintStream err,
      boolean terminal,
      Map<String, String> env,
      Optional<String> cti) {
    this(out, err, terminal, env, cti, Isolation.configured());
  }

  /** A session whose producers run where {@code isolation} says (--isolated: in helpers). */
  Session(
      PrintStream out,
      PrintStream err,
      boolean terminal,
      Map<String, String> env,
      Optional<String> cti,
      Isolation isolation) {
    this.out = out;
    this.err = err;
    this.terminal = terminal;
    this.env = env;
    this.cti = cti;
    this.isolation = isolation;
  }

  /**
   * Loads {@code --cti} (a file or a directory of producers), else the producers on the
   * environment variable, else the simulated camera the jar carries. Files that fail to load are
   * in the result's failures; at least one producer or one failure is there.
   */
  LoadedProducers load() {
    if (cti.isPresent()) {
      Path path = Path.of(cti.get());
      if (!Files.exists(path)) {
        throw new CliException(CliException.NOT_FOUND, "no such producer file: " + path);
      }
      return nonEmpty(Producers.loadAll(List.of(path), isolation), "--cti " + path);
    }
    String list = env.get(Producers.ENVIRONMENT_VARIABLE);
    if (list != null && !list.isBlank()) {
      return nonEmpty(Producers.loadAll(list, isolation), Producers.ENVIRONMENT_VARIABLE);
    }
    return Producers.loadAll(List.of(Producers.simulated()), isolation);
  }

  /**
   * Runs {@code use} on the camera that {@code name} fits (ID, serial number, user-defined name or
   * display name over all producers; the first camera when no name is given), closing the camera
   * and the producers afterwards.
   */
  <R> R withCamera(Optional<String> name, AccessMode mode, Function<Camera, R> use) {
    try (LoadedProducers loaded = load()) {
      Cameras cameras = loaded.cameras();
      CameraEntry entry;
      if (name.isPresent()) {
        try {
          entry = cameras.find(name.get());
        } catch (NoSuchElementException e) {
          throw new CliException(
              CliException.NOT_FOUND,
              "no device '" + name.get() + "' (devices: " + names(cameras) + ")"
                  + why(loaded, cameras));
        } catch (AmbiguousNameException e) {
          throw new CliException(CliException.NOT_FOUND, lowerFirst(e.getMessage()));
        }
      } else if (cameras.list().isEmpty()) {
        throw new CliException(CliException.NOT_FOUND, "no device found" + why(loaded, cameras));
      } else {
        entry = cameras.list().get(0);
      }
      try (Camera camera = Cameras.open(entry, mode)) {
        return use.apply(camera);
      }
    }
  }

  /**
   * Every camera with each name --device takes, so that the user sees what to type: {@code
   * SimCam0 [serial GKS-0000, user name sim0, display name Grabkit SimCam (SimCam0)] in
   * grabkit-sim.cti}. Names the producer does not give are left out.
   */
  private static String names(Cameras cameras) {
    StringBuilder text = new StringBuilder();
    for (CameraEntry c : cameras.list()) {
      DeviceEntry d = c.device();
      List<String> names = new ArrayList<>();
      if (!d.serialNumber().isEmpty()) {
        names.add("serial " + d.serialNumber());
      }
      if (!d.userDefinedName().isEmpty()) {
        names.add("user name " + d.userDefinedName());
      }
      if (!d.displayName().isEmpty()) {
        names.add("display name " + d.displayName());
      }
      text.append(text.length() == 0 ? "" : ", ").append(d.id());
      if (!names.isEmpty()) {
        text.append(" [").append(String.join(", ", names)).append("]");
      }
      text.append(c.toString().substring(d.id().length()));
    }
    return text.length() == 0 ? "none" : text.toString();
  }

  /** A figure that may be unknown, as text. */
  static String text(OptionalLong value) {
    return value.isPresent() ? Long.toString(value.getAsLong()) : "?";
  }

  private static LoadedProducers nonEmpty(LoadedProducers loaded, String source) {
    if (loaded.producers().isEmpty() && loaded.failures().isEmpty()) {
      throw new CliException(CliException.NOT_FOUND, source + " names no producer (*.cti)");
    }
    return loaded;
  }

  /** The files that did not load or list, which may be why a camera is missing. */
  private static String why(LoadedProducers loaded, Cameras cameras) {
    StringBuilder text = new StringBuilder();
    for (LoadFailure f : loaded.failures()) {
      text.append(text.length() == 0 ? "; not loaded: " : ", ").append(f.path());
    }
    for (LoadFailure f : cameras.failures()) {
      text.append("; listing failed: ").append(f.path()).append(": ").append(f.message());
    }
    return text.toString();
  }

  private static String lowerFirst(String text) {
    return text.isEmpty() ? text : Character.toLowerCase(text.charAt(0)) + text.substring(1);
  }
}

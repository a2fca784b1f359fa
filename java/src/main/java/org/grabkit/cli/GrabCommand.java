package org.grabkit.cli;

import java.nio.file.Path;
import java.time.Duration;
import java.util.List;
import java.util.Optional;
import java.util.Set;
import org.grabkit.AccessMode;
import org.grabkit.Acquisition;
import org.grabkit.Camera;
import org.grabkit.Frame;
import org.grabkit.gentl.TimeoutException;

/** {@code grabkit grab}: acquires frames with a live progress line, keeps the last as PNG. */
final class GrabCommand extends Command {
  // Often enough to look live, rarely enough not to cost frames.
  private static final long PROGRESS_EVERY_NS = 200_000_000L;

  GrabCommand() {
    super(
        "grab",
        "acquire frames, show the rate, write the last one as PNG",
        Set.of("--frames", "--device", "--buffers", "--png", "--timeout", "--set"),
        "usage: grabkit [--cti PATH] grab [--frames N] [--device NAME] [--buffers K] [--png FILE]",
        "                                 [--timeout MS] [--set NAME=VALUE]...",
        "",
        "Acquires N frames, showing frames, fps, MB/s, incomplete frames and underruns (frames",
        "the camera lost for want of a free buffer) on a live line on standard error, then a",
        "summary on standard output.",
        "  --frames N     how many frames (default 10)",
        "  --device NAME  the device by ID, serial number, user-defined or display name",
        "                 (default: the first one listed)",
        "  --buffers K    how many buffers to cycle (default 8)",
        "  --png FILE     write the last frame there (Mono8, Mono16 or RGB8)",
        "  --timeout MS   how long to wait for each frame (default 5000)",
        "  --set NAME=VALUE  set a feature before the stream starts, as 'grabkit set' does",
        "                 (repeatable, applied in order; --set COMMAND runs a command)");
  }

  @Override
  int run(Options options, Session session) {
    if (!options.positional().isEmpty()) {
      throw CliException.usage("grab takes no arguments besides its options");
    }
    long frames = options.number("--frames", 10, 1);
    int buffers = (int) Math.min(options.number("--buffers", 8, 1), 1024);
    Duration timeout = Duration.ofMillis(options.number("--timeout", 5000, 0));
    Optional<Path> png = options.value("--png").map(Path::of);
    List<String> edits = options.values("--set");
    SetCommand.check(edits);
    return session.withCamera(
        options.value("--device"),
        AccessMode.CONTROL,
        camera -> {
          if (!edits.isEmpty()) {
            SetCommand.apply(camera.features(), edits, session);
          }
          return grab(camera, frames, buffers, timeout, png, session);
        });
  }

  private static int grab(
      Camera camera, long total, int buffers, Duration timeout, Optional<Path> png, Session s) {
    long start = System.nanoTime();
    long shown = start;
    String wrote = null;
    try (Acquisition acq = camera.openStream().start(buffers)) {
      for (long n = 1; n <= total; n++) {
        try (Frame frame = next(acq, timeout, n, total)) {
          if (n == total && png.isPresent()) {
            frame.writePng(png.get());
            wrote =
                String.format(
                    "Wrote %s: frame %s, %dx%d %s",
                    png.get(), Session.text(frame.frameId()), frame.width(), frame.height(),
                    frame.pixelFormat());
          }
        }
        long now = System.nanoTime();
        if (n == total || now - shown >= PROGRESS_EVERY_NS) {
          shown = now;
          s.err.print(progress(acq, n, total, start));
          s.err.flush();
        }
      }
      s.err.println();
      double seconds = (System.nanoTime() - start) / 1e9;
      s.out.printf(
          "Grabbed %d frames from %s in %.2f s: %.1f fps, %.2f MB/s, %d incomplete, %s underruns%n",
          total, camera.id(), seconds, total / seconds, acq.bytesDelivered() / 1e6 / seconds,
          acq.incompleteFrames(), Session.text(acq.underruns()));
    }
    if (wrote != null) {
      s.out.println(wrote);
    }
    return CliException.OK;
  }

  private static Frame next(Acquisition acq, Duration timeout, long n, long total) {
    try {
      return acq.next(timeout);
    } catch (TimeoutException e) {
      throw new CliException(
          CliException.TIMEOUT,
          "no frame within " + timeout.toMillis() + " ms (waiting for frame " + n + " of " + total
              + ")");
    }
  }

  /** The live line: a carriage return, then the figures so far. */
  private static String progress(Acquisition acq, long n, long total, long start) {
    double seconds = Math.max(1e-9, (System.nanoTime() - start) / 1e9);
    return String.format(
        "\rframes %d/%d  %.1f fps  %.2f MB/s  incomplete %d  underruns %s   ",
        n, total, n / seconds, acq.bytesDelivered() / 1e6 / seconds, acq.incompleteFrames(),
        Session.text(acq.underruns()));
  }
}

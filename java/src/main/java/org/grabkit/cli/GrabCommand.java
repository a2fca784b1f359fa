package org.grabkit.cli;

import java.awt.image.BufferedImage;
import java.io.IOException;
import java.nio.file.Path;
import java.time.Duration;
import java.util.List;
import java.util.Optional;
import java.util.Set;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import javax.imageio.ImageIO;
import org.grabkit.AccessMode;
import org.grabkit.Acquisition;
import org.grabkit.AcquisitionInterruptedException;
import org.grabkit.Camera;
import org.grabkit.Frame;
import org.grabkit.FrameTimeoutException;
import org.grabkit.features.NodeMap;

/** {@code grabkit grab}: acquires frames with a live progress line, keeps the last as PNG. */
final class GrabCommand extends Command {
  // Often enough to look live, rarely enough not to cost frames.
  private static final long REDRAW_NS = 200_000_000L;
  // A log (standard error not a terminal) gets a line a second instead.
  private static final long LOG_LINE_NS = 1_000_000_000L;
  private static final int MAX_BUFFERS = 1024;
  // How long Ctrl-C waits for the summary and the PNG before the process ends anyway.
  private static final long CTRL_C_GRACE_S = 10;

  GrabCommand() {
    super(
        "grab",
        "acquire frames, show the rate, write the last one as PNG",
        Set.of("--frames", "--device", "--buffers", "--png", "--part", "--timeout", "--set",
            "--trigger"),
        "usage: grabkit [--cti PATH] grab [--frames N] [--device NAME] [--buffers K] [--png FILE]",
        "                                 [--part P] [--timeout MS] [--set NAME=VALUE]...",
        "                                 [--trigger software] [--quiet]",
        "",
        "Acquires N frames, showing frames, fps, MB/s, incomplete frames and underruns (frames",
        "the camera lost for want of a free buffer) on standard error, then a summary on",
        "standard output. On a terminal the progress is one line redrawn in place, otherwise",
        "a line a second. Ctrl-C stops the grab: the summary and --png still come, and the",
        "exit code is 130.",
        "  --frames N     how many frames (default 10, at least 1)",
        "  --device NAME  the device by ID, serial number, user-defined or display name",
        "                 (default: the first one listed)",
        "  --buffers K    how many buffers to cycle (default 8, 1 to " + MAX_BUFFERS + ")",
        "  --png FILE     write the last frame there, in any pixel format the library converts;",
        "                 the newest frame is kept in one more buffer until the next arrives",
        "  --part P       the part of a multi-part frame to write (0, 1, ...; default: the",
        "                 first part that is an image)",
        "  --timeout MS   how long to wait for each frame (default 5000)",
        "  --set NAME=VALUE  set a feature before the stream starts, as 'grabkit set' does",
        "                 (repeatable, applied in order; --set COMMAND runs a command)",
        "  --trigger software  one TriggerSoftware per frame: TriggerMode On and TriggerSource",
        "                 Software for the grab, TriggerMode as it was afterwards",
        "  --quiet        no progress lines",
        "Exit codes: 0 done, 1 camera failure or a part that is no image, 2 usage, 3 no such",
        "device, feature or part, 4 a frame did not come in time, 5 FILE cannot be written,",
        "130 interrupted.");
  }

  @Override
  Set<String> flags() {
    return Set.of("--quiet");
  }

  /** What the grab is to do. */
  private record Plan(
      long total, int buffers, Duration timeout, Optional<Path> png, Optional<Long> part,
      boolean quiet, Optional<NodeMap> trigger) {}

  @Override
  int run(Options options, Session session) {
    if (!options.positional().isEmpty()) {
      throw CliException.usage("grab takes no arguments besides its options");
    }
    long buffers = options.number("--buffers", 8, 1);
    if (buffers > MAX_BUFFERS) {
      throw CliException.usage(
          "--buffers must be at most " + MAX_BUFFERS + ", not " + options.value("--buffers").get());
    }
    Optional<Path> png = options.value("--png").map(Path::of);
    png.ifPresent(OutputFile::check);
    Optional<Long> part =
        options.value("--part").map(p -> Options.number("--part", p, 0));
    if (part.isPresent() && png.isEmpty()) {
      throw CliException.usage("--part picks the part that --png writes: give --png too");
    }
    Optional<String> trigger = options.value("--trigger");
    if (trigger.isPresent() && !trigger.get().equals("software")) {
      throw CliException.usage("--trigger takes 'software', not '" + trigger.get() + "'");
    }
    List<String> edits = options.values("--set");
    SetCommand.check(edits);
    return session.withCamera(
        options.value("--device"),
        AccessMode.CONTROL,
        camera -> {
          if (!edits.isEmpty()) {
            SetCommand.apply(camera.features(), edits, session);
          }
          Plan plan =
              new Plan(
                  options.number("--frames", 10, 1),
                  (int) buffers,
                  Duration.ofMillis(options.number("--timeout", 5000, 0)),
                  png,
                  part,
                  options.has("--quiet"),
                  trigger.map(t -> camera.features()));
          if (plan.trigger().isEmpty()) {
            return onCtrlC(() -> grab(camera, plan, session));
          }
          NodeMap features = plan.trigger().get();
          String mode = softwareTrigger(features);
          try {
            return onCtrlC(() -> grab(camera, plan, session));
          } finally {
            features.setEnum("TriggerMode", mode);
          }
        });
  }

  /** Arms the frame-start trigger for software; returns the trigger mode it had. */
  private static String softwareTrigger(NodeMap features) {
    for (String name : List.of("TriggerMode", "TriggerSource", "TriggerSoftware")) {
      if (!features.contains(name)) {
        throw new CliException(
            CliException.NOT_FOUND, "--trigger software needs the feature " + name
                + ", which the camera does not have");
      }
    }
    if (features.contains("TriggerSelector")) {
      features.setEnum("TriggerSelector", "FrameStart");
    }
    String mode = features.getEnum("TriggerMode");
    features.setEnum("TriggerMode", "On");
    features.setEnum("TriggerSource", "Software");
    return mode;
  }

  /** A grab that the process may end with Ctrl-C. */
  private interface Grab {
    int run();
  }

  /**
   * Runs the grab with Ctrl-C turned into an interrupt of this thread: SIGINT starts the JVM's
   * shutdown, whose hook interrupts the grab and waits for its summary and PNG. The process then
   * ends with the signal's 130.
   */
  private static int onCtrlC(Grab grab) {
    Thread grabbing = Thread.currentThread();
    CountDownLatch done = new CountDownLatch(1);
    Thread hook =
        new Thread(
            () -> {
              grabbing.interrupt();
              try {
                done.await(CTRL_C_GRACE_S, TimeUnit.SECONDS);
              } catch (InterruptedException e) {
                // Ending anyway.
              }
            },
            "grabkit-ctrl-c");
    Runtime.getRuntime().addShutdownHook(hook);
    try {
      return grab.run();
    } finally {
      done.countDown();
      try {
        Runtime.getRuntime().removeShutdownHook(hook);
      } catch (IllegalStateException shuttingDown) {
        // The hook is running: it is what ends the process.
      }
    }
  }

  private static int grab(Camera camera, Plan plan, Session s) {
    long start = System.nanoTime();
    long shown = start;
    long n = 0;
    boolean interrupted = false;
    Frame newest = null;
    String wrote = null;
    // With --png the newest frame stays open until the next arrives: one buffer more for it.
    try (Acquisition acq =
        camera.openStream().start(plan.buffers() + (plan.png().isPresent() ? 1 : 0))) {
      try {
        while (n < plan.total()) {
          if (plan.trigger().isPresent()) {
            plan.trigger().get().execute("TriggerSoftware");
          }
          Frame frame = next(acq, plan.timeout(), n + 1, plan.total());
          n++;
          if (plan.png().isPresent()) {
            if (newest != null) {
              newest.close();
            }
            newest = frame;
          } else {
            frame.close();
          }
          long now = System.nanoTime();
          if (!plan.quiet() && (now - shown >= (s.terminal ? REDRAW_NS : LOG_LINE_NS))) {
            shown = now;
            progress(s, acq, n, plan.total(), start);
          }
        }
      } catch (AcquisitionInterruptedException e) {
        interrupted = true;
        // Cleared, so that writing the PNG is not cut short by the interrupt.
        Thread.interrupted();
      }
      if (!plan.quiet() && s.terminal) {
        progress(s, acq, n, plan.total(), start);
        s.err.println();
      }
      double seconds = (System.nanoTime() - start) / 1e9;
      s.out.printf(
          "Grabbed %d %sframes from %s in %.2f s%s: %.1f fps, %.2f MB/s, %d incomplete, %s"
              + " underruns%n",
          n, n < plan.total() ? "of " + plan.total() + " " : "", camera.id(), seconds,
          interrupted ? " (interrupted)" : "", n / seconds, acq.bytesDelivered() / 1e6 / seconds,
          acq.incompleteFrames(), Session.text(acq.underruns()));
      if (newest != null) {
        wrote = write(newest, plan);
      }
    } finally {
      if (newest != null) {
        newest.close();
      }
    }
    if (wrote != null) {
      s.out.println(wrote);
    }
    s.out.flush();
    return interrupted ? CliException.INTERRUPTED : CliException.OK;
  }

  /** Writes the chosen part of the frame as PNG; what was written, as a line. */
  private static String write(Frame frame, Plan plan) {
    Frame.Part part;
    if (plan.part().isPresent()) {
      long p = plan.part().get();
      List<Frame.Part> parts = frame.parts();
      if (p >= parts.size()) {
        throw new CliException(
            CliException.NOT_FOUND,
            "frame " + Session.text(frame.frameId()) + " has no part " + p + " (it has "
                + parts.size() + (parts.size() == 1 ? " part)" : " parts)"));
      }
      part = parts.get((int) p);
      if (!part.isImage()) {
        throw new CliException(
            CliException.FAILURE, "part " + p + " of the frame is no image: " + part);
      }
    } else {
      part =
          frame
              .image()
              .orElseThrow(
                  () -> new CliException(CliException.FAILURE, "the frame describes no image"));
    }
    BufferedImage image;
    try {
      image = frame.toImage(part);
    } catch (UnsupportedOperationException e) {
      throw new CliException(CliException.FAILURE, e.getMessage());
    }
    Path file = plan.png().get();
    // ImageIO's file cache deletes its file at exit through a shutdown hook, which a JVM that
    // Ctrl-C is shutting down refuses: the image goes through memory instead.
    ImageIO.setUseCache(false);
    OutputFile.write(
        file,
        out -> {
          if (!ImageIO.write(image, "png", out)) {
            throw new IOException("no PNG writer for " + part.pixelFormat());
          }
        });
    return String.format(
        "Wrote %s: frame %s%s, %dx%d %s",
        file, Session.text(frame.frameId()),
        plan.part().isPresent() ? " part " + part.index() : "", part.width(), part.height(),
        part.pixelFormat());
  }

  private static Frame next(Acquisition acq, Duration timeout, long n, long total) {
    try {
      return acq.next(timeout);
    } catch (FrameTimeoutException e) {
      throw new CliException(
          CliException.TIMEOUT,
          "no frame within " + timeout.toMillis() + " ms (waiting for frame " + n + " of " + total
              + ")");
    }
  }

  /** The figures so far: redrawn in place on a terminal, a line of their own otherwise. */
  private static void progress(Session s, Acquisition acq, long n, long total, long start) {
    double seconds = Math.max(1e-9, (System.nanoTime() - start) / 1e9);
    String line =
        String.format(
            "frames %d/%d  %.1f fps  %.2f MB/s  incomplete %d  underruns %s",
            n, total, n / seconds, acq.bytesDelivered() / 1e6 / seconds, acq.incompleteFrames(),
            Session.text(acq.underruns()));
    if (s.terminal) {
      s.err.print("\r" + line + "   ");
    } else {
      s.err.println(line);
    }
    s.err.flush();
  }
}

package org.grabkit.bench;

import java.time.Duration;
import org.grabkit.Acquisition;
import org.grabkit.Camera;
import org.grabkit.Frame;
import org.grabkit.Isolation;
import org.grabkit.Producer;
import org.grabkit.Producers;

/**
 * What running a producer in a helper process costs: the round trip of a control call (a register
 * read, {@code GCReadPort}) and frames/s and GB/s of the simulated camera at 5 MP (2448 x 2048
 * Mono8, unlimited frame rate, 8 buffers), each isolated and in the JVM, run in turn. Every frame
 * is read once (a sum over one byte per 4 KiB page), so that the bytes a frame shows are the ones
 * the camera wrote, with no copy in between.
 *
 * <pre>
 * mvn -B -f java/pom.xml -Pbench test-compile exec:exec@bench \
 *     -Dbench.main=org.grabkit.bench.IsolationBench -Dbench.args="5"
 * </pre>
 *
 * The argument is the seconds of grabbing per run (default 5).
 */
public final class IsolationBench {
  private static final int WIDTH = 2448;
  private static final int HEIGHT = 2048;
  private static final long FRAME_RATE_MHZ = 0x110;
  private static final long WIDTH_REGISTER = 0x100;
  private static volatile long sink;

  private IsolationBench() {}

  public static void main(String[] args) {
    double seconds = args.length > 0 ? Double.parseDouble(args[0]) : 5;
    double[] call = new double[2];
    double[] fps = new double[2];
    double[] gbs = new double[2];
    Isolation[] modes = {Isolation.IN_PROCESS, Isolation.PROCESS};
    for (int round = 0; round < 3; round++) {
      for (int m = 0; m < 2; m++) {
        try (Producer producer = Producer.open(Producers.simulated(), modes[m]);
            Camera camera = producer.openCamera("SimCam0")) {
          call[m] = roundTripNs(camera);
          double[] grab = grab(camera, seconds);
          if (round > 0) { // the first round warms up both
            fps[m] = Math.max(fps[m], grab[0]);
            gbs[m] = Math.max(gbs[m], grab[1]);
          }
        }
      }
    }
    System.out.printf("| | in the JVM | isolated | isolated / in the JVM |%n|---|---|---|---|%n");
    System.out.printf(
        "| control call (GCReadPort, 4 bytes) | %.1f µs | %.1f µs | %.1f× |%n",
        call[0] / 1000, call[1] / 1000, call[1] / call[0]);
    System.out.printf(
        "| frames/s, %d x %d Mono8 | %.0f | %.0f | %.1f %% |%n",
        WIDTH, HEIGHT, fps[0], fps[1], 100 * fps[1] / fps[0]);
    System.out.printf(
        "| GB/s | %.2f | %.2f | %.1f %% |%n", gbs[0], gbs[1], 100 * gbs[1] / gbs[0]);
  }

  /** Nanoseconds per register read, the best of a few batches. */
  private static double roundTripNs(Camera camera) {
    double best = Double.MAX_VALUE;
    for (int batch = 0; batch < 5; batch++) {
      int n = 20_000;
      long t0 = System.nanoTime();
      long sum = 0;
      for (int i = 0; i < n; i++) {
        sum += camera.readInt(WIDTH_REGISTER);
      }
      best = Math.min(best, (System.nanoTime() - t0) / (double) n);
      sink += sum;
    }
    return best;
  }

  /** Frames/s and GB/s of a grab of about {@code seconds}. */
  private static double[] grab(Camera camera, double seconds) {
    camera.features().setInteger("Width", WIDTH);
    camera.features().setInteger("Height", HEIGHT);
    camera.features().setEnum("PixelFormat", "Mono8");
    camera.writeInt(FRAME_RATE_MHZ, 0);
    try (Acquisition acq = camera.openStream().start(8)) {
      Duration wait = Duration.ofSeconds(5);
      for (int i = 0; i < 20; i++) {
        acq.next(wait).close();
      }
      long frames = 0;
      long bytes = 0;
      long t0 = System.nanoTime();
      long limit = (long) (seconds * 1e9);
      long sum = 0;
      while (System.nanoTime() - t0 < limit) {
        try (Frame frame = acq.next(wait)) {
          java.nio.ByteBuffer data = frame.data();
          for (int at = 0; at < data.limit(); at += 4096) {
            sum += data.get(at);
          }
          bytes += data.limit();
          frames++;
        }
      }
      double s = (System.nanoTime() - t0) / 1e9;
      sink += sum;
      return new double[] {frames / s, bytes / s / 1e9};
    }
  }
}

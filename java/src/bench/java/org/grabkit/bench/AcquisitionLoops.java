package org.grabkit.bench;

import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.function.ToDoubleFunction;
import org.grabkit.Acquisition;
import org.grabkit.Camera;
import org.grabkit.Frame;
import org.grabkit.Producer;
import org.grabkit.Producers;
import org.grabkit.gentl.Buffer;
import org.grabkit.gentl.DataStream;
import org.grabkit.gentl.Device;
import org.grabkit.gentl.GenTLProducer;
import org.grabkit.gentl.TLInterface;
import org.grabkit.gentl.TransportLayer;
import org.grabkit.gentl.gentlJNI;

/**
 * Acquisition through each layer against the simulated camera, the same loop in each: wait for
 * a buffer, read its time stamp, give it back. Throughput at unlimited frame rate (640 × 480 and
 * 5 MP), and latency at 500 Hz: the time from the buffer's time stamp (the camera's monotonic
 * clock, the one {@link System#nanoTime()} reads on Linux) to the moment the loop holds the
 * buffer. A plain program rather than JMH: each figure is one steady stretch of frames, and a
 * layer's figures are only compared with the C++ loop's of the same round.
 *
 * <pre>
 * java -cp ... org.grabkit.bench.AcquisitionLoops [seconds per figure] [native bench] [markdown file] [rounds]
 * </pre>
 */
public final class AcquisitionLoops {
  private static final int BUFFERS = 8;
  private static final long WAIT_MS = 5000;

  /** One way to run the loop: frames until the deadline, each one's latency recorded. */
  interface Loop extends AutoCloseable {
    /** Takes one frame and gives it back; returns its latency in ns. */
    long frame();

    @Override
    void close();
  }

  /** The camera's settings for a figure. */
  record Shape(String name, int width, int height, int milliHz) {}

  static final Shape VGA = new Shape("640×480", 640, 480, 0);
  static final Shape FIVE_MP = new Shape("2448×2048", 2448, 2048, 0);
  static final Shape PACED = new Shape("640×480 at 500 Hz", 640, 480, 500_000);

  /** The figures of one loop for one shape. */
  record Figures(double framesPerSecond, double medianUs, double p99Us) {}

  static Figures measure(Loop loop, double seconds) {
    for (int i = 0; i < 50; i++) {
      loop.frame(); // warm up the path and the camera's clock
    }
    long[] latencies = new long[1 << 20];
    int n = 0;
    long start = System.nanoTime();
    long end = start + (long) (seconds * 1e9);
    long now;
    do {
      long latency = loop.frame();
      if (n < latencies.length) {
        latencies[n] = latency;
      }
      n++;
      now = System.nanoTime();
    } while (now < end);
    int kept = Math.min(n, latencies.length);
    Arrays.sort(latencies, 0, kept);
    return new Figures(
        n / ((now - start) / 1e9), latencies[kept / 2] / 1e3, latencies[(int) (kept * 0.99)] / 1e3);
  }

  /** The low-level family: int handles, one call per step. */
  static Loop lowLevel(Path sim, Shape shape, boolean zeroFill) {
    Opened o = Opened.open(sim, shape);
    int ds = o.stream.getHandle();
    int[] handles = new int[BUFFERS];
    for (int i = 0; i < BUFFERS; i++) {
      handles[i] = gentlJNI.DSAnnounceBuffer(ds, o.memory.get(i), i);
      gentlJNI.DSQueueBuffer__SWIG_0(ds, handles[i], zeroFill);
    }
    int event = gentlJNI.GCRegisterEvent(ds, gentlJNI.EVENT_NEW_BUFFER_get());
    gentlJNI.DSStartAcquisition(ds, gentlJNI.ACQ_START_FLAGS_DEFAULT_get(), -1);
    int timestampNs = gentlJNI.BUFFER_INFO_TIMESTAMP_NS_get();
    return new Loop() {
      @Override
      public long frame() {
        long record = gentlJNI.EventNewBufferGetData(event, WAIT_MS);
        int buffer = gentlJNI.NewBufferEvent_BufferHandle_get(record);
        gentlJNI.delete_NewBufferEvent(record);
        long latency = System.nanoTime() - gentlJNI.DSGetBufferInfoUint64(ds, buffer, timestampNs);
        gentlJNI.DSQueueBuffer__SWIG_0(ds, buffer, zeroFill);
        return latency;
      }

      @Override
      public void close() {
        gentlJNI.DSStopAcquisition(ds, gentlJNI.ACQ_STOP_FLAGS_KILL_get());
        gentlJNI.DSFlushQueue(ds, gentlJNI.ACQ_QUEUE_ALL_DISCARD_get());
        for (int h : handles) {
          gentlJNI.DSRevokeBuffer(ds, h);
        }
        gentlJNI.GCUnregisterEvent(ds, gentlJNI.EVENT_NEW_BUFFER_get());
        o.close();
      }
    };
  }

  /** The object model: proxies, the event's garbage-free wait. */
  static Loop objectModel(Path sim, Shape shape, boolean zeroFill) {
    Opened o = Opened.open(sim, shape);
    DataStream ds = o.stream;
    Buffer[] buffers = new Buffer[BUFFERS];
    for (int i = 0; i < BUFFERS; i++) {
      buffers[i] = ds.announceBuffer(o.memory.get(i), i);
      ds.queueBuffer(buffers[i], zeroFill);
    }
    int event = ds.registerEvent(gentlJNI.EVENT_NEW_BUFFER_get());
    ds.startAcquisition(gentlJNI.ACQ_START_FLAGS_DEFAULT_get(), -1);
    int timestampNs = gentlJNI.BUFFER_INFO_TIMESTAMP_NS_get();
    long[] got = new long[2];
    return new Loop() {
      @Override
      public long frame() {
        if (!ds.waitNewBuffer(event, WAIT_MS, got)) {
          throw new IllegalStateException("no frame within " + WAIT_MS + " ms");
        }
        Buffer buffer = buffers[(int) got[1]];
        long latency = System.nanoTime() - buffer.getInfoUint64(timestampNs);
        ds.queueBuffer(buffer, zeroFill);
        return latency;
      }

      @Override
      public void close() {
        ds.stopAcquisition(gentlJNI.ACQ_STOP_FLAGS_KILL_get());
        ds.flushQueue(gentlJNI.ACQ_QUEUE_ALL_DISCARD_get());
        for (Buffer b : buffers) {
          ds.revokeBuffer(b);
        }
        ds.unregisterEvent(gentlJNI.EVENT_NEW_BUFFER_get());
        o.close();
      }
    };
  }

  /** The Java API: next() and close(), nothing else. */
  static Loop grabkit(Path sim, Shape shape) {
    Producer producer = Producer.open(sim);
    Camera camera = producer.openCamera("SimCam0");
    camera.writeInt(0x100, shape.width());
    camera.writeInt(0x104, shape.height());
    camera.writeInt(0x110, shape.milliHz());
    Acquisition acq = camera.openStream().start(BUFFERS);
    Duration wait = Duration.ofMillis(WAIT_MS);
    return new Loop() {
      @Override
      public long frame() {
        try (Frame frame = acq.next(wait)) {
          return System.nanoTime() - frame.timestampNanosOr(0);
        }
      }

      @Override
      public void close() {
        producer.close();
      }
    };
  }

  /** A simulated camera opened through the object model, with direct buffers for it. */
  static final class Opened implements AutoCloseable {
    GenTLProducer producer;
    TransportLayer tl;
    TLInterface itf;
    Device device;
    DataStream stream;
    List<ByteBuffer> memory = new ArrayList<>();

    static Opened open(Path sim, Shape shape) {
      Opened o = new Opened();
      o.producer = GenTLProducer.load(sim.toString());
      o.tl = o.producer.openTransportLayer();
      o.itf = o.tl.getInterfaces().get(0).open();
      o.device = o.itf.getDevices().get(0).open(gentlJNI.DEVICE_ACCESS_CONTROL_get());
      ByteBuffer reg = ByteBuffer.allocateDirect(4).order(ByteOrder.LITTLE_ENDIAN);
      for (long[] r :
          new long[][] {{0x100, shape.width()}, {0x104, shape.height()}, {0x110, shape.milliHz()}}) {
        reg.putInt(0, (int) r[1]);
        o.device.getPort().write(r[0], reg);
      }
      o.stream = o.device.openDataStream(o.device.getDataStreamIDs().get(0));
      for (int i = 0; i < BUFFERS; i++) {
        o.memory.add(ByteBuffer.allocateDirect((int) o.stream.getPayloadSize()));
      }
      return o;
    }

    @Override
    public void close() {
      stream.close();
      device.close();
      itf.close();
      tl.close();
      producer.close();
    }
  }

  /**
   * Runs every loop in rounds and prints a markdown table. A round takes each shape in turn and
   * runs the C++ loop (the native bench, a process of its own) and then each Java layer on it,
   * so that a layer is always compared with the C++ loop of the same minute: a figure is the
   * median over the rounds, a ratio the median of the ratios within each round.
   */
  public static void main(String[] args) throws Exception {
    double seconds = args.length > 0 ? Double.parseDouble(args[0]) : 2;
    Path nativeLoop = args.length > 1 ? Path.of(args[1]) : null;
    int rounds = args.length > 3 ? Integer.parseInt(args[3]) : 3;
    Path sim = Producers.simulated();
    Shape[] shapes = {VGA, FIVE_MP, PACED};
    // loop name → shape → one figure per round
    Map<String, List<List<Figures>>> results = new LinkedHashMap<>();
    for (int r = 0; r < rounds; r++) {
      for (int shape = 0; shape < shapes.length; shape++) {
        for (boolean fill : new boolean[] {true, false}) {
          Shape sh = shapes[shape];
          String how = fill ? ", zero-fill on queue" : ", no zero-fill";
          if (nativeLoop != null) {
            record(results, "C++ loop" + how, shape, nativeFigure(nativeLoop, sim, sh, fill, seconds));
          }
          record(results, "low-level family" + how, shape,
              measureClosing(lowLevel(sim, sh, fill), seconds));
          record(results, "object model" + how, shape,
              measureClosing(objectModel(sim, sh, fill), seconds));
          if (!fill) {
            record(results, "org.grabkit next()", shape, measureClosing(grabkit(sim, sh), seconds));
          }
        }
      }
    }
    List<String> rows = new ArrayList<>();
    rows.add("## Acquisition (simulated camera, " + BUFFERS + " buffers; " + rounds
        + " rounds, the C++ loop and each layer in turn)");
    rows.add("");
    rows.add("| loop | 640×480 frames/s | 5 MP frames/s | 5 MP vs C++ | 500 Hz latency median / p99 µs"
        + " | median / p99 vs C++ |");
    rows.add("|---|---|---|---|---|---|");
    for (Map.Entry<String, List<List<Figures>>> e : results.entrySet()) {
      String name = e.getKey();
      String cName = "C++ loop" + (name.contains("zero-fill on queue") ? ", zero-fill on queue"
          : ", no zero-fill");
      rows.add(row(name, e.getValue(), results.get(cName)));
    }
    rows.add("");
    rows.add("At unlimited frame rate the simulated camera writes each frame as fast as memory allows,"
        + " so throughput compares the loops' overhead against a camera that is itself the"
        + " bottleneck at 5 MP; latency is the buffer's time stamp (taken when the camera finished"
        + " writing) to the loop holding the buffer. `org.grabkit` queues without zero-fill, so it"
        + " is compared with the C++ loop that does not fill either.");
    rows.forEach(System.out::println);
    if (args.length > 2) {
      Files.write(Path.of(args[2]), rows);
    }
  }

  static Figures measureClosing(Loop loop, double seconds) {
    try (loop) {
      return measure(loop, seconds);
    }
  }

  static void record(Map<String, List<List<Figures>>> results, String name, int shape, Figures f) {
    List<List<Figures>> byShape = results.computeIfAbsent(name, n -> {
      List<List<Figures>> list = new ArrayList<>();
      for (int i = 0; i < 3; i++) {
        list.add(new ArrayList<>());
      }
      return list;
    });
    byShape.get(shape).add(f);
  }

  /** One figure of the C++ loop, from the native bench run alone for it. */
  static Figures nativeFigure(Path binary, Path sim, Shape shape, boolean fill, double seconds)
      throws IOException, InterruptedException {
    String name = shape == VGA ? "vga" : shape == FIVE_MP ? "5mp" : "paced";
    Process p = new ProcessBuilder(binary.toString(), sim.toString(), "--acq", name,
        fill ? "fill" : "nofill", Double.toString(seconds))
        .redirectError(ProcessBuilder.Redirect.INHERIT)
        .start();
    String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
    if (p.waitFor() != 0) {
      throw new IllegalStateException(binary + " failed");
    }
    String[] f = out.trim().split("\\s+");
    return new Figures(
        Double.parseDouble(f[1]), Double.parseDouble(f[2]), Double.parseDouble(f[3]));
  }

  static double median(List<Double> values) {
    List<Double> sorted = new ArrayList<>(values);
    Collections.sort(sorted);
    return sorted.get(sorted.size() / 2);
  }

  static double median(List<Figures> figures, ToDoubleFunction<Figures> of) {
    List<Double> values = new ArrayList<>();
    for (Figures f : figures) {
      values.add(of.applyAsDouble(f));
    }
    return median(values);
  }

  /** The median over the rounds of this loop's figure divided by the C++ loop's of the round. */
  static double ratio(List<Figures> mine, List<Figures> c, ToDoubleFunction<Figures> of) {
    List<Double> ratios = new ArrayList<>();
    for (int r = 0; r < mine.size(); r++) {
      ratios.add(of.applyAsDouble(mine.get(r)) / of.applyAsDouble(c.get(r)));
    }
    return median(ratios);
  }

  static String row(String name, List<List<Figures>> f, List<List<Figures>> c) {
    String vsC = c == null ? "" : String.format(Locale.ROOT, "%.2f",
        ratio(f.get(1), c.get(1), Figures::framesPerSecond));
    String latencyVsC = c == null ? "" : String.format(Locale.ROOT, "%.2f× / %.2f×",
        ratio(f.get(2), c.get(2), Figures::medianUs), ratio(f.get(2), c.get(2), Figures::p99Us));
    return String.format(Locale.ROOT, "| %s | %.0f | %.0f | %s | %.1f / %.1f | %s |", name,
        median(f.get(0), Figures::framesPerSecond), median(f.get(1), Figures::framesPerSecond), vsC,
        median(f.get(2), Figures::medianUs), median(f.get(2), Figures::p99Us), latencyVsC);
  }

  private AcquisitionLoops() {}
}

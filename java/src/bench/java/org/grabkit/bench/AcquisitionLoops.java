package org.grabkit.bench;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;
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
 * layer's figures are only compared with the C++ loop's of the same run.
 *
 * <pre>
 * java -cp ... org.grabkit.bench.AcquisitionLoops [seconds per figure] [C++ figures] [markdown file]
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
   * Runs every loop and prints a markdown table; the C++ loop's figures come from the file the
   * native bench wrote (lines "acq.&lt;shape&gt;.&lt;zero-fill&gt; fps median p99").
   */
  public static void main(String[] args) throws Exception {
    double seconds = args.length > 0 ? Double.parseDouble(args[0]) : 3;
    Path nativeFigures = args.length > 1 ? Path.of(args[1]) : null;
    Path sim = Producers.simulated();
    List<String> rows = new ArrayList<>();
    rows.add("## Acquisition (simulated camera, " + BUFFERS + " buffers)");
    rows.add("");
    rows.add("| loop | 640×480 frames/s | 5 MP frames/s | 5 MP vs C++ | 500 Hz latency median / p99 µs"
        + " | median / p99 vs C++ |");
    rows.add("|---|---|---|---|---|---|");
    List<String> c = nativeFigures != null && Files.exists(nativeFigures)
        ? Files.readAllLines(nativeFigures) : List.of();
    Figures[] cFigures = {parse(c, "acq.vga.fill"), parse(c, "acq.5mp.fill"),
        parse(c, "acq.paced.fill"), parse(c, "acq.vga.nofill"), parse(c, "acq.5mp.nofill"),
        parse(c, "acq.paced.nofill")};
    for (boolean fill : new boolean[] {true, false}) {
      Figures[] cf = fill ? Arrays.copyOfRange(cFigures, 0, 3) : Arrays.copyOfRange(cFigures, 3, 6);
      String how = fill ? ", zero-fill on queue" : ", no zero-fill";
      if (cf[0] != null) {
        rows.add(row("C++ loop" + how, cf, cf));
      }
      rows.add(row("low-level family" + how, figures(s -> lowLevel(sim, s, fill), seconds), cf));
      rows.add(row("object model" + how, figures(s -> objectModel(sim, s, fill), seconds), cf));
      if (!fill) {
        rows.add(row("org.grabkit next()", figures(s -> grabkit(sim, s), seconds), cf));
      }
    }
    rows.add("");
    rows.add("At unlimited frame rate the simulated camera writes each frame as fast as memory allows,"
        + " so throughput compares the loops' overhead against a camera that is itself the"
        + " bottleneck at 5 MP; latency is the buffer's time stamp (taken when the camera finished"
        + " writing) to the loop holding the buffer.");
    rows.forEach(System.out::println);
    if (args.length > 2) {
      Files.write(Path.of(args[2]), rows);
    }
  }

  interface Factory {
    Loop open(Shape shape);
  }

  static Figures[] figures(Factory factory, double seconds) {
    Figures[] out = new Figures[3];
    Shape[] shapes = {VGA, FIVE_MP, PACED};
    for (int i = 0; i < 3; i++) {
      try (Loop loop = factory.open(shapes[i])) {
        out[i] = measure(loop, seconds);
      }
    }
    return out;
  }

  static Figures parse(List<String> lines, String key) {
    for (String line : lines) {
      String[] f = line.trim().split("\\s+");
      if (f.length == 4 && f[0].equals(key)) {
        return new Figures(
            Double.parseDouble(f[1]), Double.parseDouble(f[2]), Double.parseDouble(f[3]));
      }
    }
    return null;
  }

  static String row(String name, Figures[] f, Figures[] c) {
    String vsC = c[1] == null ? "" : String.format(Locale.ROOT, "%.2f", f[1].framesPerSecond()
        / c[1].framesPerSecond());
    String latencyVsC = c[2] == null ? "" : String.format(Locale.ROOT, "%.2f× / %.2f×",
        f[2].medianUs() / c[2].medianUs(), f[2].p99Us() / c[2].p99Us());
    return String.format(Locale.ROOT, "| %s | %.0f | %.0f | %s | %.1f / %.1f | %s |", name,
        f[0].framesPerSecond(), f[1].framesPerSecond(), vsC, f[2].medianUs(), f[2].p99Us(),
        latencyVsC);
  }

  private AcquisitionLoops() {}
}

package org.grabkit.bench;

import java.lang.management.ManagementFactory;
import java.util.Collection;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicReference;
import org.grabkit.Acquisition;
import org.grabkit.Camera;
import org.grabkit.Frame;
import org.grabkit.Producer;
import org.openjdk.jmh.annotations.Benchmark;
import org.openjdk.jmh.annotations.BenchmarkMode;
import org.openjdk.jmh.annotations.Fork;
import org.openjdk.jmh.annotations.Level;
import org.openjdk.jmh.annotations.Measurement;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.annotations.OperationsPerInvocation;
import org.openjdk.jmh.annotations.OutputTimeUnit;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.Setup;
import org.openjdk.jmh.annotations.State;
import org.openjdk.jmh.annotations.TearDown;
import org.openjdk.jmh.annotations.Warmup;
import org.openjdk.jmh.infra.Blackhole;
import org.openjdk.jmh.results.RunResult;
import org.openjdk.jmh.runner.Runner;
import org.openjdk.jmh.runner.options.CommandLineOptions;
import org.openjdk.jmh.runner.options.OptionsBuilder;

/**
 * What a frame costs in the steady state: frames per second through {@code next()} → read →
 * {@code close()} and through a listener, with the simulated camera at unlimited rate and a small
 * image (so the camera is not what is measured), and the Java heap bytes each frame allocates,
 * counted with the thread's allocation counter. {@link #main} runs both and prints the summary.
 *
 * <pre>
 * mvn -B -f java/pom.xml -Pbench test-compile exec:exec@bench \
 *     -Dbench.main=org.grabkit.bench.StreamBenchmarks -Dbench.args="-wi 2 -i 3 -f 1"
 * </pre>
 */
@BenchmarkMode(Mode.Throughput)
@OutputTimeUnit(TimeUnit.SECONDS)
@Warmup(iterations = 3, time = 1)
@Measurement(iterations = 5, time = 1)
@Fork(1)
public class StreamBenchmarks {
  static final int LISTENER_BATCH = 1000;
  static final int BUFFERS = 8;
  // A constant: Duration.ofSeconds(5) at each call would be the loop's own garbage.
  static final java.time.Duration WAIT = java.time.Duration.ofSeconds(5);

  /** An open simulated camera: 64 x 48 Mono8 at unlimited frame rate. */
  abstract static class Sim {
    Producer producer;
    Camera camera;
    Acquisition acq;

    void open() {
      producer = Producer.openSimulated();
      camera = producer.openCamera("SimCam0");
      camera.writeInt(0x100, 64); // Width
      camera.writeInt(0x104, 48); // Height
      camera.writeInt(0x108, 0x0108_0001); // Mono8
      camera.writeInt(0x110, 0); // AcquisitionFrameRate: unlimited
    }

    @TearDown(Level.Trial)
    public void close() {
      producer.close();
    }
  }

  /** An acquisition whose frames the benchmark thread takes with next(). */
  @State(Scope.Thread)
  public static class Pull extends Sim {
    /** Starts it. */
    @Setup(Level.Trial)
    public void start() {
      open();
      acq = camera.openStream().start(BUFFERS);
    }
  }

  /** An acquisition that hands its frames to a listener, which counts them. */
  @State(Scope.Thread)
  public static class Push extends Sim {
    volatile long frames;
    volatile long checksum;
    final AtomicReference<Thread> grabThread = new AtomicReference<>();

    /** Starts it. */
    @Setup(Level.Trial)
    public void start() {
      open();
      acq = camera.openStream().start(BUFFERS, this::onFrame);
    }

    void onFrame(Frame frame) {
      grabThread.compareAndSet(null, Thread.currentThread());
      checksum += frame.frameIdOr(0) + frame.data().get(0) + frame.timestampNanosOr(0);
      frames++;
    }
  }

  /** The work a program does with each frame here: its ID, a pixel and its time. */
  static long read(Frame frame) {
    return frame.frameIdOr(0) + frame.data().get(0) + frame.timestampNanosOr(0);
  }

  /**
   * @param s the acquisition
   * @return what was read of the frame
   */
  @Benchmark
  public long next(Pull s) {
    try (Frame frame = s.acq.next(WAIT)) {
      return read(frame);
    }
  }

  /**
   * Waits for the listener to count another batch of frames.
   *
   * @param s the acquisition
   * @param hole keeps the spin from being optimised away
   */
  @Benchmark
  @OperationsPerInvocation(LISTENER_BATCH)
  public void listener(Push s, Blackhole hole) {
    long until = s.frames + LISTENER_BATCH;
    while (s.frames < until) {
      Thread.onSpinWait();
    }
    hole.consume(s.checksum);
  }

  /**
   * Runs the benchmarks, then counts the allocated bytes per frame, and prints the summary.
   *
   * @param args JMH's options, e.g. {@code -wi 2 -i 3 -f 1}
   * @throws Exception when JMH cannot run them
   */
  public static void main(String[] args) throws Exception {
    CommandLineOptions cli = new CommandLineOptions(args);
    OptionsBuilder options = new OptionsBuilder();
    options.parent(cli);
    if (cli.getIncludes().isEmpty()) {
      options.include(StreamBenchmarks.class.getName() + "\\.");
    }
    Collection<RunResult> results = new Runner(options.build()).run();
    System.out.println();
    System.out.println("== Streaming (simulated camera, 64 x 48 Mono8, unlimited rate)");
    for (RunResult r : results) {
      String benchmark = r.getParams().getBenchmark();
      System.out.printf(
          "  %-28s %12.0f frames/s%n",
          benchmark.substring(benchmark.lastIndexOf('.') + 1) + "()",
          r.getPrimaryResult().getScore());
    }
    long frames = 200_000;
    double pulled = pulledBytesPerFrame(frames);
    double pushed = pushedBytesPerFrame(frames);
    System.out.printf("  %-28s %12.2f bytes/frame %s%n", "next() allocates", pulled, verdict(pulled));
    System.out.printf(
        "  %-28s %12.2f bytes/frame %s%n", "the listener allocates", pushed, verdict(pushed));
  }

  private static String verdict(double bytes) {
    // Below one byte per frame over 200,000 frames: the counter's own noise, not per-frame garbage.
    return bytes < 1 ? "meets 0 (no garbage per frame)" : "MISSES 0";
  }

  private static com.sun.management.ThreadMXBean threads() {
    return (com.sun.management.ThreadMXBean) ManagementFactory.getThreadMXBean();
  }

  /** Warm first, so that what the compiler and class loading allocate is not counted. */
  private static double pulledBytesPerFrame(long frames) {
    Pull s = new Pull();
    s.start();
    try {
      StreamBenchmarks bench = new StreamBenchmarks();
      long sum = 0;
      for (int i = 0; i < 50_000; i++) {
        sum += bench.next(s);
      }
      long id = Thread.currentThread().getId();
      long before = threads().getThreadAllocatedBytes(id);
      for (long i = 0; i < frames; i++) {
        sum += bench.next(s);
      }
      long after = threads().getThreadAllocatedBytes(id);
      if (sum == 42) {
        System.out.println();
      }
      return (after - before) / (double) frames;
    } finally {
      s.close();
    }
  }

  private static double pushedBytesPerFrame(long frames) throws InterruptedException {
    Push s = new Push();
    s.start();
    try {
      while (s.frames < 50_000) {
        Thread.sleep(1);
      }
      long id = s.grabThread.get().getId();
      long start = s.frames;
      long before = threads().getThreadAllocatedBytes(id);
      while (s.frames < start + frames) {
        Thread.sleep(1);
      }
      long after = threads().getThreadAllocatedBytes(id);
      long counted = s.frames - start;
      return (after - before) / (double) counted;
    } finally {
      s.close();
    }
  }
}

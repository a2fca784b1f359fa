package org.grabkit.bench;

import java.nio.charset.StandardCharsets;
import java.util.Collection;
import java.util.HashMap;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import org.grabkit.features.NodeMap;
import org.openjdk.jmh.annotations.Benchmark;
import org.openjdk.jmh.annotations.BenchmarkMode;
import org.openjdk.jmh.annotations.Fork;
import org.openjdk.jmh.annotations.Measurement;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.annotations.OutputTimeUnit;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.Setup;
import org.openjdk.jmh.annotations.State;
import org.openjdk.jmh.annotations.Warmup;
import org.openjdk.jmh.results.RunResult;
import org.openjdk.jmh.runner.Runner;
import org.openjdk.jmh.runner.options.CommandLineOptions;
import org.openjdk.jmh.runner.options.OptionsBuilder;

/**
 * What the node map costs: parsing a 1 MB description, a cached read of {@code Width}, and an
 * uncached read next to the bare port read it makes. {@link #main} runs them with JMH's options
 * and prints the results against the targets, with the uncached read's overhead as a ratio.
 */
@BenchmarkMode(Mode.AverageTime)
@Warmup(iterations = 3, time = 1)
@Measurement(iterations = 5, time = 1)
// A fixed, touched heap: a growing one makes each parse pay page faults that a running
// application has long paid.
@Fork(value = 1, jvmArgsAppend = {"-Xms1g", "-Xmx1g", "-XX:+AlwaysPreTouch"})
public class FeatureBenchmarks {
  static final int FILE_BYTES = 1 << 20;

  /** The large file and a port for it. */
  @State(Scope.Benchmark)
  public static class File {
    String xml;
    LargeDescription.MemoryPort port;

    /** Builds the file once: its generation is not what is measured. */
    @Setup
    public void generate() {
      xml = LargeDescription.xml(FILE_BYTES);
      port = new LargeDescription.MemoryPort(1 << 16);
    }
  }

  /** A parsed node map with {@code Width} already read, and a buffer for bare reads. */
  @State(Scope.Thread)
  public static class Features {
    LargeDescription.MemoryPort port;
    NodeMap map;
    final byte[] into = new byte[4];

    /** Parses the file and fills Width's cache. */
    @Setup
    public void open() {
      port = new LargeDescription.MemoryPort(1 << 16);
      port.write(LargeDescription.WIDTH_ADDRESS, new byte[] {(byte) 0x80, 2, 0, 0});
      map = NodeMap.parse(LargeDescription.xml(FILE_BYTES), port);
      map.getInteger("Width");
    }
  }

  /** @return the node map of a 1 MB file */
  @Benchmark
  // A parse takes long enough that one-second warm-ups end before the compiler has caught up.
  @Warmup(time = 5)
  @Measurement(time = 2)
  @OutputTimeUnit(TimeUnit.MILLISECONDS)
  public NodeMap parse(File file) {
    return NodeMap.parse(file.xml, file.port);
  }

  /** @return Width, from its cache */
  @Benchmark
  @OutputTimeUnit(TimeUnit.NANOSECONDS)
  public long cachedRead(Features f) {
    return f.map.getInteger("Width");
  }

  /** @return FrameCounter, a NoCache register: one port read each time */
  @Benchmark
  @OutputTimeUnit(TimeUnit.NANOSECONDS)
  public long uncachedRead(Features f) {
    return f.map.getInteger("FrameCounter");
  }

  /** @return FrameCounter's bytes straight from the port, as the uncached read gets them */
  @Benchmark
  @OutputTimeUnit(TimeUnit.NANOSECONDS)
  public byte[] portRead(Features f) {
    f.port.read(LargeDescription.COUNTER_ADDRESS, f.into);
    return f.into;
  }

  /**
   * Runs the benchmarks and prints the summary.
   *
   * @param args JMH's options, e.g. {@code -wi 2 -i 3 -f 1}
   * @throws Exception when JMH cannot run them
   */
  public static void main(String[] args) throws Exception {
    CommandLineOptions cli = new CommandLineOptions(args);
    OptionsBuilder options = new OptionsBuilder();
    options.parent(cli);
    if (cli.getIncludes().isEmpty()) {
      options.include(FeatureBenchmarks.class.getName() + "\\.");
    }
    summary(new Runner(options.build()).run());
  }

  private static void summary(Collection<RunResult> results) {
    Map<String, Double> score = new HashMap<>();
    Map<String, String> unit = new HashMap<>();
    for (RunResult r : results) {
      String benchmark = r.getParams().getBenchmark();
      String name = benchmark.substring(benchmark.lastIndexOf('.') + 1);
      score.put(name, r.getPrimaryResult().getScore());
      unit.put(name, r.getPrimaryResult().getScoreUnit());
    }
    int size = LargeDescription.xml(FILE_BYTES).getBytes(StandardCharsets.UTF_8).length;
    System.out.println();
    System.out.println("== Node map");
    if (score.containsKey("parse")) {
      line("parse (" + size / 1024 + " KiB file)", score.get("parse"), unit.get("parse"),
          score.get("parse") < 100, "< 100 ms");
    }
    if (score.containsKey("cachedRead")) {
      line("cached getInteger(\"Width\")", score.get("cachedRead"), unit.get("cachedRead"),
          score.get("cachedRead") < 1000, "< 1 us");
    }
    if (score.containsKey("uncachedRead") && score.containsKey("portRead")) {
      double uncached = score.get("uncachedRead");
      double port = score.get("portRead");
      line("uncached getInteger(\"FrameCounter\")", uncached, unit.get("uncachedRead"), true, "");
      line("its port read alone", port, unit.get("portRead"), true, "");
      line("node map's work per uncached read", uncached - port, unit.get("uncachedRead"),
          uncached - port < 2000, "< 2 us beyond the port read");
      System.out.printf("  uncached read / port read = %.1f; cached read / port read = %.1f%n",
          uncached / port, score.getOrDefault("cachedRead", Double.NaN) / port);
    }
  }

  private static void line(String what, double value, String unit, boolean met, String target) {
    System.out.printf("  %-38s %10.1f %-6s %s%n", what, value, unit,
        target.isEmpty() ? "" : (met ? "meets " : "MISSES ") + target);
  }
}

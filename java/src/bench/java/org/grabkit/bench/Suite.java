package org.grabkit.bench;

import java.io.IOException;
import java.net.InetAddress;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.LocalDate;
import java.util.ArrayList;
import java.util.Collection;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.results.BenchmarkResult;
import org.openjdk.jmh.results.IterationResult;
import org.openjdk.jmh.results.RunResult;
import org.openjdk.jmh.runner.Runner;
import org.openjdk.jmh.runner.RunnerException;
import org.openjdk.jmh.runner.options.ChainedOptionsBuilder;
import org.openjdk.jmh.runner.options.OptionsBuilder;
import org.openjdk.jmh.runner.options.TimeValue;

/**
 * Runs the call benchmarks of every binding and the thread scaling of Grabkit's handle lookups,
 * then prints one table of ratios and, with {@code --markdown}, writes it with the machine, JDK and
 * date. Arguments:
 *
 * <ul>
 *   <li>{@code --quick}: one short iteration each, to show the suite still runs (no figures to
 *       keep)
 *   <li>{@code --bindings grabkit,jna,ffm}: the bindings to compare
 *   <li>{@code --native FILE}: the C++ loop's {@code c.<name> <ns>} lines
 *   <li>{@code --extra FILE}: further markdown (startup, acquisition) to append
 *   <li>{@code --markdown FILE}: where the report goes
 * </ul>
 */
public final class Suite {
  private Suite() {}

  /** The goal of a row: Grabkit's time over the alternative's, at most this. */
  private static final Map<String, Double> GOALS = new LinkedHashMap<>();

  static {
    GOALS.put("numeric", 1.1);
    GOALS.put("string", 1.3);
    GOALS.put("failing", 1.3);
    GOALS.put("poll", 1.3);
  }

  private static final Map<String, String> WHAT =
      Map.of(
          "numeric", "numeric query (DevGetInfo TIMESTAMP_FREQUENCY)",
          "string", "string query (DevGetInfo MODEL → String)",
          "failing", "failing call (invalid handle → InvalidHandleException)",
          "poll", "poll, timeout 0, empty queue (→ TimeoutException)");

  public static void main(String[] args) throws IOException, RunnerException {
    boolean quick = false;
    List<String> bindings = List.of("grabkit", "jna");
    Path nativeFile = null;
    Path extra = null;
    Path markdown = null;
    for (int i = 0; i < args.length; i++) {
      switch (args[i]) {
        case "--quick":
          quick = true;
          break;
        case "--bindings":
          bindings = List.of(args[++i].split(","));
          break;
        case "--native":
          nativeFile = Path.of(args[++i]);
          break;
        case "--extra":
          extra = Path.of(args[++i]);
          break;
        case "--markdown":
          markdown = Path.of(args[++i]);
          break;
        default:
          throw new IllegalArgumentException("unknown argument " + args[i]);
      }
    }

    // Shared machines drift: every binding runs once per round, and a figure is the fastest
    // iteration of its run (the one least disturbed), the median over the rounds; a ratio is
    // taken within each round and its median reported.
    int rounds = quick ? 1 : 3;
    List<Map<String, Double>> perRound = new ArrayList<>();
    String[] chosen = bindings.toArray(String[]::new);
    for (int round = 0; round < rounds; round++) {
      Map<String, Double> ns = new LinkedHashMap<>();
      for (RunResult r : run(quick, opts -> opts.include(CallBenchmarks.class.getName())
          .param("binding", chosen))) {
        String name = r.getParams().getBenchmark();
        name = name.substring(name.lastIndexOf('.') + 1);
        ns.put(r.getParams().getParam("binding") + "." + name, best(r, false));
      }
      perRound.add(ns);
    }
    if (nativeFile != null && Files.exists(nativeFile)) {
      for (String line : Files.readAllLines(nativeFile)) {
        String[] f = line.trim().split("\\s+");
        if (f.length == 2) {
          for (Map<String, Double> ns : perRound) {
            ns.put(f[0], Double.parseDouble(f[1]));
          }
        }
      }
    }
    Map<Integer, Double> scaling = new LinkedHashMap<>();
    for (int threads : new int[] {1, 2, 4, 8}) {
      for (RunResult r : run(quick, opts -> opts.include(CallBenchmarks.class.getName() + ".numeric")
          .param("binding", "grabkit").threads(threads).mode(Mode.Throughput)
          .timeUnit(TimeUnit.SECONDS))) {
        scaling.put(threads, best(r, true));
      }
    }

    String table = table(perRound, bindings, scaling);
    System.out.println();
    System.out.print(table);
    if (markdown != null) {
      StringBuilder doc = new StringBuilder();
      doc.append("# Benchmarks\n\n")
          .append("Produced by `./run.sh bench`")
          .append(quick ? " (quick run: too short to quote)" : "")
          .append(" on ").append(LocalDate.now())
          .append(", host ").append(InetAddress.getLocalHost().getHostName())
          .append(", ").append(Runtime.getRuntime().availableProcessors()).append(" cores, ")
          .append(System.getProperty("os.name")).append(' ').append(System.getProperty("os.arch"))
          .append(", ").append(cpu())
          .append(", JDK ").append(System.getProperty("java.vm.vendor")).append(' ')
          .append(System.getProperty("java.runtime.version")).append(".\n\n")
          .append("JMH, one fork per binding and benchmark, ").append(quick ? 1 : 3)
          .append(" rounds over all bindings; a figure is the fastest 200 ms iteration of its "
              + "fork (the least disturbed by other work on the machine), the median over the "
              + "rounds; a ratio is taken within each round, its median shown. Ratios are what "
              + "carries over to another machine.\n\n")
          .append(table);
      if (extra != null && Files.exists(extra)) {
        doc.append('\n').append(Files.readString(extra));
      }
      Files.createDirectories(markdown.toAbsolutePath().getParent());
      Files.writeString(markdown, doc.toString());
      System.out.println("Written to " + markdown);
    }
  }

  private interface Configure {
    ChainedOptionsBuilder apply(ChainedOptionsBuilder options);
  }

  private static Collection<RunResult> run(boolean quick, Configure configure)
      throws RunnerException {
    ChainedOptionsBuilder options = new OptionsBuilder().shouldFailOnError(true)
        .warmupIterations(5).warmupTime(TimeValue.milliseconds(200))
        .measurementIterations(10).measurementTime(TimeValue.milliseconds(200));
    if (Runtime.version().feature() >= 22) {
      // JNI, JNA and FFM alike: the newer JDKs warn about native access unless it is granted.
      options = options.jvmArgsAppend("--enable-native-access=ALL-UNNAMED");
    }
    if (quick) {
      options = options.warmupIterations(1).warmupTime(TimeValue.milliseconds(100))
          .measurementIterations(1).measurementTime(TimeValue.milliseconds(200));
    }
    return new Runner(configure.apply(options).build()).run();
  }

  /** The fastest iteration (the highest throughput, or the lowest time per operation). */
  private static double best(RunResult r, boolean higherIsBetter) {
    double best = higherIsBetter ? 0 : Double.MAX_VALUE;
    for (BenchmarkResult b : r.getBenchmarkResults()) {
      for (IterationResult i : b.getIterationResults()) {
        double score = i.getPrimaryResult().getScore();
        best = higherIsBetter ? Math.max(best, score) : Math.min(best, score);
      }
    }
    return best;
  }

  private static Double median(List<Double> values) {
    if (values.isEmpty()) {
      return null;
    }
    List<Double> sorted = new ArrayList<>(values);
    Collections.sort(sorted);
    return sorted.get(sorted.size() / 2);
  }

  private static Double median(List<Map<String, Double>> rounds, String key) {
    List<Double> values = new ArrayList<>();
    for (Map<String, Double> round : rounds) {
      if (round.containsKey(key)) {
        values.add(round.get(key));
      }
    }
    return median(values);
  }

  private static String cpu() {
    try {
      for (String line : Files.readAllLines(Path.of("/proc/cpuinfo"))) {
        if (line.startsWith("model name")) {
          return line.substring(line.indexOf(':') + 1).trim();
        }
      }
    } catch (IOException e) {
      // Only informative.
    }
    return "unknown CPU";
  }

  private static String format(Double value) {
    return value == null ? "–" : String.format(Locale.ROOT, value >= 100 ? "%.0f" : "%.1f", value);
  }

  static String table(
      List<Map<String, Double>> rounds, List<String> bindings, Map<Integer, Double> scaling) {
    String rival = bindings.contains("ffm") ? "ffm" : "jna";
    StringBuilder t = new StringBuilder();
    t.append("## Calls (ns per call; Grabkit's low-level family)\n\n")
        .append("| call | C++ | Grabkit | FFM | JNA | Grabkit / ").append(rival.toUpperCase(Locale.ROOT))
        .append(" | goal | met |\n|---|---|---|---|---|---|---|---|\n");
    for (Map.Entry<String, Double> goal : GOALS.entrySet()) {
      String op = goal.getKey();
      List<Double> ratios = new ArrayList<>();
      for (Map<String, Double> round : rounds) {
        Double mine = round.get("grabkit." + op);
        Double theirs = round.get(rival + "." + op);
        if (mine != null && theirs != null) {
          ratios.add(mine / theirs);
        }
      }
      Double ratio = median(ratios);
      t.append("| ").append(WHAT.get(op))
          .append(" | ").append(format(median(rounds, "c." + op)))
          .append(" | ").append(format(median(rounds, "grabkit." + op)))
          .append(" | ").append(format(median(rounds, "ffm." + op)))
          .append(" | ").append(format(median(rounds, "jna." + op)))
          .append(" | ").append(ratio == null ? "–" : String.format(Locale.ROOT, "%.2f×", ratio))
          .append(" | ≤ ").append(goal.getValue()).append("× ")
          .append(rival.toUpperCase(Locale.ROOT))
          .append(" | ").append(ratio == null ? "–" : ratio <= goal.getValue() ? "yes" : "**no**")
          .append(" |\n");
    }
    if (!bindings.contains("ffm")) {
      t.append("\nNo JDK 22+ was found: FFM was skipped and JNA is the yardstick.\n");
    }
    if (!scaling.isEmpty()) {
      t.append("\n## Handle lookups under threads (numeric query, calls/s in total)\n\n")
          .append("| threads | Grabkit | vs 1 thread | C++ | vs 1 thread | Grabkit / C++ |\n")
          .append("|---|---|---|---|---|---|\n");
      double one = scaling.getOrDefault(1, Double.NaN);
      Double cOne = median(rounds, "c.threads.1");
      for (Map.Entry<Integer, Double> e : scaling.entrySet()) {
        Double c = median(rounds, "c.threads." + e.getKey());
        t.append("| ").append(e.getKey()).append(" | ")
            .append(String.format(Locale.ROOT, "%.3g", e.getValue())).append(" | ")
            .append(String.format(Locale.ROOT, "%.2f×", e.getValue() / one)).append(" | ")
            .append(c == null ? "–" : String.format(Locale.ROOT, "%.3g", c)).append(" | ")
            .append(c == null || cOne == null ? "–" : String.format(Locale.ROOT, "%.2f×", c / cOne))
            .append(" | ")
            .append(c == null ? "–" : String.format(Locale.ROOT, "%.2f", e.getValue() / c))
            .append(" |\n");
      }
    }
    return t.toString();
  }

}

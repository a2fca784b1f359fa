package org.grabkit.bench;

import java.util.concurrent.TimeUnit;
import org.openjdk.jmh.annotations.Benchmark;
import org.openjdk.jmh.annotations.BenchmarkMode;
import org.openjdk.jmh.annotations.Fork;
import org.openjdk.jmh.annotations.Level;
import org.openjdk.jmh.annotations.Measurement;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.annotations.OutputTimeUnit;
import org.openjdk.jmh.annotations.Param;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.Setup;
import org.openjdk.jmh.annotations.State;
import org.openjdk.jmh.annotations.TearDown;
import org.openjdk.jmh.annotations.Warmup;

/**
 * One producer call per operation through each binding. Each binding runs in a JVM of its own, so
 * that the call sites stay monomorphic and no two bindings share the producer's global state.
 */
@State(Scope.Benchmark)
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.NANOSECONDS)
@Warmup(iterations = 3, time = 1)
@Measurement(iterations = 5, time = 1)
@Fork(1)
public class CallBenchmarks {
  @Param({"grabkit", "ffm", "jna"})
  public String binding;

  private Binding calls;

  /** Opens the binding's modules once per run. */
  @Setup(Level.Trial)
  public void open() {
    calls = Binding.open(binding);
  }

  /** Closes what {@link #open} opened. */
  @TearDown(Level.Trial)
  public void close() {
    calls.close();
  }

  /** @return a 64-bit device value */
  @Benchmark
  public long numeric() {
    return calls.numeric();
  }

  /** @return the model name */
  @Benchmark
  public String string() {
    return calls.string();
  }

  /** @return the exception of a call with an invalid handle */
  @Benchmark
  public RuntimeException failing() {
    try {
      calls.failing();
      return null;
    } catch (RuntimeException e) {
      return e;
    }
  }

  /** @return the time-out of a poll of an empty queue */
  @Benchmark
  public RuntimeException poll() {
    try {
      calls.poll();
      return null;
    } catch (RuntimeException e) {
      return e;
    }
  }
}

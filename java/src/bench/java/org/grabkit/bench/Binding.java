package org.grabkit.bench;

import org.grabkit.gentl.InvalidHandleException;
import org.grabkit.gentl.NativeLibrary;
import org.grabkit.gentl.TimeoutException;

/**
 * The same four calls into {@code grabkit-sim.cti} through one way of reaching C from Java, so that
 * the benchmarks compare bindings and nothing else. Every binding opens its own system, interface,
 * device and stream and registers the new-buffer event; failures reach the caller as the exception
 * that Grabkit's low-level family throws, with the same text.
 */
public interface Binding extends AutoCloseable {
  /** DevGetInfo(DEVICE_INFO_TIMESTAMP_FREQUENCY), 64-bit. */
  int DEVICE_INFO_TIMESTAMP_FREQUENCY = 9;

  /** DevGetInfo(DEVICE_INFO_MODEL), a string. */
  int DEVICE_INFO_MODEL = 2;

  int DEVICE_ACCESS_CONTROL = 3;
  int EVENT_NEW_BUFFER = 1;
  int GC_ERR_INVALID_HANDLE = -1006;
  int GC_ERR_TIMEOUT = -1011;

  /** A handle value no producer hands out: small, so that it crosses every binding unchanged. */
  int BOGUS_HANDLE = 0x1234;

  /** @return the device's timestamp frequency */
  long numeric();

  /** @return the device's model name */
  String string();

  /** Asks an invalid handle for the timestamp frequency: always throws. */
  void failing();

  /** Asks the empty new-buffer queue for an event without waiting: always throws. */
  void poll();

  @Override
  void close();

  /** @return the simulated camera's path, extracted from the jar */
  static String simulatedProducer() {
    return NativeLibrary.extract("grabkit-sim.cti").toAbsolutePath().toString();
  }

  /** The low-level family's exception for the codes the benchmarks provoke. */
  static RuntimeException failure(int code) {
    switch (code) {
      case GC_ERR_INVALID_HANDLE:
        return new InvalidHandleException("Given handle does not support the operation (ID: -1006)");
      case GC_ERR_TIMEOUT:
        return new TimeoutException("Operation timed out before completion (ID: -1011)");
      default:
        return new IllegalStateException("unexpected code " + code);
    }
  }

  /**
   * @param name {@code grabkit}, {@code jna} or {@code ffm} (the last one needs a JDK 22+ and the
   *     separately compiled class on the class path)
   * @return the binding, opened on the simulated camera
   */
  static Binding open(String name) {
    switch (name) {
      case "grabkit":
        return new GrabkitBinding();
      case "jna":
        return new JnaBinding();
      case "ffm":
        try {
          return (Binding)
              Class.forName("org.grabkit.bench.ffm.FfmBinding").getConstructor().newInstance();
        } catch (ReflectiveOperationException e) {
          throw new IllegalStateException("the FFM binding needs JDK 22+ and its own classes", e);
        }
      default:
        throw new IllegalArgumentException("no binding " + name);
    }
  }
}

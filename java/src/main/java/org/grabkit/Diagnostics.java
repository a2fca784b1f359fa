package org.grabkit;

import org.grabkit.gentl.gentlJNI;

/** Switches for finding out what the native library and the producer do. */
public final class Diagnostics {
  private Diagnostics() {}

  /**
   * Turns the library's tracing on or off: with it on, each module opened or closed writes a line
   * to the process's standard error.
   *
   * @param on whether to trace
   */
  public static void setTracing(boolean on) {
    gentlJNI.enableTracing(on);
  }

  /**
   * Runs an action and returns what native code (the library and the producer) wrote to the
   * process's standard error (descriptor 2) meanwhile, e.g. the producer's complaints while
   * loading. The first 20480 bytes are kept; the rest is read and dropped as it comes, so writers
   * neither fail nor wait for the capture to end.
   *
   * @param action what to run; an exception it throws ends the capture and propagates
   * @return the captured text
   * @throws IllegalStateException if the descriptors could not be redirected
   */
  public static synchronized String captureStandardError(Runnable action) {
    if (gentlJNI.StdErrRedirectStart() != 0) {
      throw new IllegalStateException("standard error could not be redirected");
    }
    String captured;
    try {
      action.run();
    } finally {
      captured = gentlJNI.StdErrRedirectStop();
    }
    return captured;
  }
}

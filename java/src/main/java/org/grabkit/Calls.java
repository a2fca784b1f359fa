package org.grabkit;

import java.util.function.Supplier;
import org.grabkit.gentl.GenTLException;

/**
 * Producer calls whose failures name the call. A producer's error text alone ("not available")
 * rarely tells which of the many calls behind one Grabkit method failed; the exception keeps its
 * class, so callers that catch e.g. a time-out still do, and its code.
 */
final class Calls {
  private Calls() {}

  static <T> T call(String operation, Supplier<T> query) {
    try {
      return query.get();
    } catch (GenTLException e) {
      throw named(operation, e);
    }
  }

  static void run(String operation, Runnable action) {
    call(
        operation,
        () -> {
          action.run();
          return null;
        });
  }

  /**
   * The same failure with the operation before its text; the original, if its class cannot be
   * made again with another text, or if it already names the operation.
   */
  static GenTLException named(String operation, GenTLException e) {
    String text = e.getMessage() == null ? "" : e.getMessage();
    if (text.startsWith(operation + ": ")) {
      return e;
    }
    if (ProducerCrashedException.isCrash(e) && !(e instanceof ProducerCrashedException)) {
      // An isolated producer's helper died: the one failure that callers treat apart.
      GenTLException crash = new ProducerCrashedException(operation + ": " + text);
      crash.initCause(e);
      return crash;
    }
    try {
      GenTLException copy =
          e.getClass().getConstructor(String.class).newInstance(operation + ": " + text);
      copy.initCause(e);
      return copy;
    } catch (ReflectiveOperationException | RuntimeException unexpected) {
      return e;
    }
  }
}

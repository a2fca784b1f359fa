package org.grabkit;

import java.util.List;

/** Closing several things so that one failure does not leave the rest open. */
final class Resources {
  private Resources() {}

  /** Closes each, newest first; rethrows the first failure after all were tried. */
  static void closeAll(List<? extends AutoCloseable> items) {
    RuntimeException failure = null;
    for (int i = items.size() - 1; i >= 0; i--) {
      try {
        items.get(i).close();
      } catch (Exception e) {
        RuntimeException wrapped =
            e instanceof RuntimeException ? (RuntimeException) e : new IllegalStateException(e);
        if (failure == null) {
          failure = wrapped;
        } else {
          failure.addSuppressed(wrapped);
        }
      }
    }
    if (failure != null) {
      throw failure;
    }
  }
}

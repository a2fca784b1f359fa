package org.grabkit.gentl;

import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.PrintStream;

/** Test helpers around the standard-error capture. */
final class StdErr {
  private StdErr() {}

  /**
   * Writes to descriptor 2 itself (the test runner replaces {@code System.err}) through a
   * PrintStream, as {@code System.err} would.
   */
  static void write(byte[] bytes) {
    PrintStream err = new PrintStream(new FileOutputStream(FileDescriptor.err), true);
    err.write(bytes, 0, bytes.length);
    err.flush();
  }

  /** What {@code action} writes to standard error. */
  static String capture(Runnable action) {
    return org.grabkit.Diagnostics.captureStandardError(action);
  }
}

package org.grabkit.gentl;

/**
 * Natives that run the library's exception frame on demand, so that every translation path from a
 * native failure to a Java exception can be checked in this very build.
 */
final class NativeSelfTest {
  static {
    NativeLibrary.load();
  }

  private NativeSelfTest() {}

  /** Passes {@code code} through the library's error check; returns it when it does not throw. */
  static native int checkError(int code);

  /** Throws a C++ {@code std::runtime_error} with the given text inside the frame. */
  static native String throwStdException(String what);

  /** Throws a C++ value that is no exception class inside the frame. */
  static native String throwAnything();

  /** Returns {@code bits} read as an unsigned 64-bit result, with the range check of results. */
  static native long unsignedResult(long bits);

  /** The capacity of a direct buffer as the library sees it. */
  static native long directCapacity(java.nio.ByteBuffer buffer);

  /** Converts a string to native bytes and back. */
  static native String echo(String s);

  /** The native holders alive now: one per unreleased proxy of the object model. */
  static native long liveHolders();
}

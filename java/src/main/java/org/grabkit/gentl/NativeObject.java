package org.grabkit.gentl;

import java.lang.ref.Cleaner;
import java.util.function.LongConsumer;

/**
 * A Java object that owns one native allocation (a holder of the object model, a list): its
 * address and its release. The allocation is freed exactly once, by {@link #close()} or, if the
 * program forgets, when the object becomes unreachable. A released object refuses further calls
 * with {@link IllegalStateException} instead of handing a dangling address to native code. Every
 * native call passes the Java object along with the address, which keeps the object reachable
 * while native code works on it.
 */
abstract class NativeObject implements AutoCloseable {
  private static final Cleaner CLEANER = Cleaner.create();

  private final Cleaner.Cleanable release;
  private volatile long address;

  NativeObject(long address, LongConsumer delete) {
    if (address == 0) {
      throw new IllegalArgumentException("no native object at address 0");
    }
    this.address = address;
    // The action must not refer to this object, or it would never become unreachable.
    this.release = CLEANER.register(this, new Release(delete, address));
  }

  /** A class, not a lambda: see {@link Deleter}. */
  private static final class Release implements Runnable {
    private final LongConsumer delete;
    private final long address;

    Release(LongConsumer delete, long address) {
      this.delete = delete;
      this.address = address;
    }

    @Override
    public void run() {
      delete.accept(address);
    }
  }

  /**
   * The native address, for the natives of {@link gentlJNI}.
   *
   * @return the address
   * @throws IllegalStateException once the object is released
   */
  final long nativeAddress() {
    long a = address;
    if (a == 0) {
      throw new IllegalStateException(getClass().getSimpleName() + " is closed");
    }
    return a;
  }

  /** @return whether the native allocation has been released */
  final boolean released() {
    return address == 0;
  }

  /** Frees the native allocation; later calls do nothing. */
  final void release() {
    address = 0;
    release.clean();
  }

  /** Frees the native allocation; later calls do nothing, later use throws IllegalStateException. */
  @Override
  public void close() {
    release();
  }
}

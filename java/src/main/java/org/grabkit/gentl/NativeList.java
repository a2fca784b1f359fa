package org.grabkit.gentl;

import java.lang.ref.Cleaner;
import java.util.function.LongConsumer;

/**
 * What the three native lists share: the native address and its release. The list is freed
 * exactly once: by {@link #close()}, or when the object becomes unreachable without it. Every
 * native call passes the list object along, which keeps it reachable while the native code works
 * on its memory.
 */
abstract class NativeList implements AutoCloseable {
  private static final Cleaner CLEANER = Cleaner.create();

  private final Cleaner.Cleanable release;
  private volatile long address;

  NativeList(long address, LongConsumer delete) {
    if (address == 0) {
      throw new IllegalArgumentException("no native list at address 0");
    }
    this.address = address;
    // The action must not refer to this object, or it would never become unreachable.
    this.release = CLEANER.register(this, () -> delete.accept(address));
  }

  /**
   * The native address, for the natives of {@link gentlJNI}.
   *
   * @return the address
   * @throws IllegalStateException once the list is closed
   */
  public final long address() {
    long a = address;
    if (a == 0) {
      throw new IllegalStateException(getClass().getSimpleName() + " is closed");
    }
    return a;
  }

  /** Frees the native list; later calls do nothing, later use throws IllegalStateException. */
  @Override
  public final void close() {
    address = 0;
    release.clean();
  }
}

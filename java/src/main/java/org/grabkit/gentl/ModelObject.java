package org.grabkit.gentl;

import java.lang.ref.Cleaner;
import java.util.function.LongConsumer;

/**
 * What every proxy of the object model shares: the native holder (one shared reference to the
 * native object) and its release. The holder is released exactly once, by {@link #close()} or, if
 * the program forgets, when the proxy becomes unreachable. A released proxy refuses further calls
 * with {@link IllegalStateException} instead of handing a dangling address to native code.
 *
 * <p>Releasing a proxy drops only this reference: the native object lives on while its children,
 * ports or other proxies hold it, and is destroyed from the leaves up.
 */
public abstract class ModelObject implements AutoCloseable {
  static final Cleaner CLEANER = Cleaner.create();

  private final Cleaner.Cleanable release;
  private volatile long holder;

  ModelObject(long holder, LongConsumer delete) {
    if (holder == 0) {
      throw new IllegalArgumentException("no native object (holder 0)");
    }
    this.holder = holder;
    // The action must not refer to this object, or it would never become unreachable.
    this.release = CLEANER.register(this, () -> delete.accept(holder));
  }

  /**
   * The native holder, for the natives of {@link gentlJNI}.
   *
   * @return the holder's address
   * @throws IllegalStateException once the proxy is released
   */
  public final long holder() {
    long h = holder;
    if (h == 0) {
      throw new IllegalStateException(getClass().getSimpleName() + " is closed");
    }
    return h;
  }

  /** @return whether this proxy has released its native reference */
  protected final boolean released() {
    return holder == 0;
  }

  /** Releases the native reference; later calls do nothing. */
  protected final void release() {
    holder = 0;
    release.clean();
  }

  /** Releases this proxy's reference to the native object; later calls do nothing. */
  @Override
  public void close() {
    release();
  }
}

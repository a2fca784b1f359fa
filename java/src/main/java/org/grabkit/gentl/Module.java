package org.grabkit.gentl;

import java.util.function.LongConsumer;

/**
 * An opened GenTL module: {@link TransportLayer}, {@link TLInterface}, {@link Device} or {@link
 * DataStream}. {@link #close()} closes the module in the producer (once) and releases the proxy;
 * its descendants then report closed and never close themselves in the producer.
 */
public abstract class Module extends ModelObject {
  Module(long holder, LongConsumer delete) {
    super(holder, delete);
  }

  abstract void closeNative(long holder);

  abstract boolean isClosedNative(long holder);

  /**
   * Closes the module in the producer unless it or an ancestor is already closed, then releases
   * the proxy. Later calls do nothing. Of threads that close at once, one closes and the others
   * return when it is closed; threads still using the proxy get {@link IllegalStateException}
   * (released proxy) or {@link ClosedException}, never a dead object.
   */
  @Override
  public final synchronized void close() {
    if (released()) {
      return;
    }
    try {
      closeNative(holder());
    } finally {
      release();
    }
  }

  /**
   * @return whether the module, one of its ancestors or the producer library is closed (always
   *     true once this proxy is closed)
   */
  public final boolean isClosed() {
    return released() || isClosedNative(holder());
  }
}

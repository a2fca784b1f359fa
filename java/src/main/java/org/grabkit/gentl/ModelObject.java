package org.grabkit.gentl;

import java.util.function.LongConsumer;

/**
 * What every proxy of the object model shares: the native holder (one shared reference to the
 * native object), released exactly once like every {@link NativeObject}.
 *
 * <p>Releasing a proxy drops only this reference: the native object lives on while its children,
 * ports or other proxies hold it, and is destroyed from the leaves up.
 */
public abstract class ModelObject extends NativeObject {
  ModelObject(long holder, LongConsumer delete) {
    super(holder, delete);
  }

  /**
   * The native holder, for the natives of {@link gentlJNI}.
   *
   * @return the holder's address
   * @throws IllegalStateException once the proxy is released
   */
  public final long holder() {
    return nativeAddress();
  }
}

package org.grabkit.gentl;

import java.util.function.LongConsumer;

/** What the three native lists share: an address that the list's natives take first. */
abstract class NativeList extends NativeObject {
  NativeList(long address, LongConsumer delete) {
    super(address, delete);
  }

  /**
   * The list's native address, for the natives of {@link gentlJNI}.
   *
   * @return the address
   * @throws IllegalStateException once the list is closed
   */
  public final long address() {
    return nativeAddress();
  }
}

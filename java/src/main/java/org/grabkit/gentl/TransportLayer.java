package org.grabkit.gentl;

import java.util.ArrayList;
import java.util.List;

/** The opened system module of a producer. */
public final class TransportLayer extends Module {
  TransportLayer(long holder) {
    super(holder, Deleter.TRANSPORT_LAYER);
  }

  /**
   * Wraps a system-module handle obtained elsewhere (e.g. {@link gentlJNI#TLOpen()}); closing this
   * object closes that handle in the producer.
   *
   * @param producer the producer the handle belongs to
   * @param handle the handle
   */
  public TransportLayer(GenTLProducer producer, int handle) {
    this(gentlJNI.new_TransportLayer(producer.holder(), producer, handle));
  }

  @Override
  void closeNative(long holder) {
    gentlJNI.TransportLayer_close(holder, this);
  }

  @Override
  boolean isClosedNative(long holder) {
    return gentlJNI.TransportLayer_isClosed(holder, this);
  }

  /**
   * @return true when open, false when closed itself
   * @throws ClosedException when the producer is closed
   */
  public boolean checkValid() {
    return gentlJNI.TransportLayer_checkValid(holder(), this);
  }

  /** @return the producer's handle (as a Java int, see the README on wide handles) */
  public int getHandle() {
    return gentlJNI.TransportLayer_getHandle(holder(), this);
  }

  /** @return a new port of the system module */
  public Port getPort() {
    return new Port(gentlJNI.TransportLayer_getPort(holder(), this));
  }

  /**
   * Asks the producer to refresh its interface list.
   *
   * @param timeoutMs how long the producer may take, in milliseconds
   * @return whether the list changed
   */
  public boolean updateInterfacesList(long timeoutMs) {
    return gentlJNI.TransportLayer_updateInterfacesList(holder(), this, timeoutMs);
  }

  /** @return new records of the interfaces the producer lists now, in its order */
  public List<InterfaceInfo> getInterfaces() {
    try (InterfaceInfoList list =
        InterfaceInfoList.adopt(gentlJNI.TransportLayer_impl_getInterfaces(holder(), this))) {
      List<InterfaceInfo> result = new ArrayList<>();
      for (int i = 0; i < list.size(); i++) {
        result.add(new InterfaceInfo(list.get(i)));
      }
      return result;
    }
  }
}

package org.grabkit.gentl;

import java.util.ArrayList;
import java.util.List;

/** An opened interface module. */
public final class TLInterface extends Module {
  TLInterface(long holder) {
    super(holder, Deleter.TL_INTERFACE);
  }

  /**
   * Wraps an interface handle obtained elsewhere; closing this object closes it in the producer.
   *
   * @param transportLayer the interface's transport layer
   * @param handle the handle
   */
  public TLInterface(TransportLayer transportLayer, int handle) {
    this(gentlJNI.new_TLInterface(transportLayer.holder(), transportLayer, handle));
  }

  @Override
  void closeNative(long holder) {
    gentlJNI.TLInterface_close(holder, this);
  }

  @Override
  boolean isClosedNative(long holder) {
    return gentlJNI.TLInterface_isClosed(holder, this);
  }

  /**
   * @return true when open, false when closed itself
   * @throws ClosedException when an ancestor is closed
   */
  public boolean checkValid() {
    return gentlJNI.TLInterface_checkValid(holder(), this);
  }

  /** @return the producer's handle */
  public int getHandle() {
    return gentlJNI.TLInterface_getHandle(holder(), this);
  }

  /** @return a new port of the interface */
  public Port getPort() {
    return new Port(gentlJNI.TLInterface_getPort(holder(), this));
  }

  /**
   * @param cmd an {@code INTERFACE_INFO_*} command
   * @return the producer's text for it
   */
  public String getInfoString(int cmd) {
    return gentlJNI.TLInterface_getInfoString(holder(), this, cmd);
  }

  /** @return the ID the producer reports now */
  public String getID() {
    return gentlJNI.TLInterface_getID(holder(), this);
  }

  /** @return the display name */
  public String getDisplayName() {
    return gentlJNI.TLInterface_getDisplayName(holder(), this);
  }

  /** @return the transport-layer type */
  public String getTransportLayerType() {
    return gentlJNI.TLInterface_getTransportLayerType(holder(), this);
  }

  /**
   * Asks the producer to refresh its device list.
   *
   * @param timeoutMs how long the producer may take, in milliseconds
   * @return whether the list changed
   */
  public boolean updateDeviceList(long timeoutMs) {
    return gentlJNI.TLInterface_updateDeviceList(holder(), this, timeoutMs);
  }

  /** @return new records of the devices the producer lists now, in its order */
  public List<DeviceInfo> getDevices() {
    try (DeviceInfoList list =
        DeviceInfoList.adopt(gentlJNI.TLInterface_impl_getDeviceList(holder(), this))) {
      List<DeviceInfo> result = new ArrayList<>();
      for (int i = 0; i < list.size(); i++) {
        result.add(new DeviceInfo(list.get(i)));
      }
      return result;
    }
  }
}

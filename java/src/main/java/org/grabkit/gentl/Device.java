package org.grabkit.gentl;

import java.util.ArrayList;
import java.util.List;

/** An opened device module. */
public final class Device extends Module {
  Device(long holder) {
    super(holder, Deleter.DEVICE);
  }

  /**
   * Wraps a device handle obtained elsewhere; closing this object closes it in the producer.
   *
   * @param tlInterface the device's interface
   * @param handle the handle
   */
  public Device(TLInterface tlInterface, int handle) {
    this(gentlJNI.new_Device(tlInterface.holder(), tlInterface, handle));
  }

  @Override
  void closeNative(long holder) {
    gentlJNI.Device_close(holder, this);
  }

  @Override
  boolean isClosedNative(long holder) {
    return gentlJNI.Device_isClosed(holder, this);
  }

  /**
   * @return true when open, false when closed itself
   * @throws ClosedException when an ancestor is closed
   */
  public boolean checkValid() {
    return gentlJNI.Device_checkValid(holder(), this);
  }

  /** @return the producer's handle */
  public int getHandle() {
    return gentlJNI.Device_getHandle(holder(), this);
  }

  /** @return a new port of the remote device (its registers and description file) */
  public Port getPort() {
    return new Port(gentlJNI.Device_getPort(holder(), this));
  }

  /** @return the device ID the producer reports */
  public String getID() {
    return gentlJNI.Device_getID(holder(), this);
  }

  /** @return the vendor name */
  public String getVendor() {
    return gentlJNI.Device_getVendor(holder(), this);
  }

  /** @return the model name */
  public String getModel() {
    return gentlJNI.Device_getModel(holder(), this);
  }

  /** @return the transport-layer type */
  public String getTransportLayerType() {
    return gentlJNI.Device_getTransportLayerType(holder(), this);
  }

  /** @return the display name */
  public String getDisplayName() {
    return gentlJNI.Device_getDisplayName(holder(), this);
  }

  /** @return the user-defined name */
  public String getUserDefinedName() {
    return gentlJNI.Device_getUserDefinedName(holder(), this);
  }

  /** @return the serial number */
  public String getSerialNumber() {
    return gentlJNI.Device_getSerialNumber(holder(), this);
  }

  /** @return the device version */
  public String getVersion() {
    return gentlJNI.Device_getVersion(holder(), this);
  }

  /**
   * @param cmd a {@code DEVICE_INFO_*} command with a text value
   * @return the producer's text for it
   */
  public String getInfoString(int cmd) {
    return gentlJNI.Device_getInfoString(holder(), this, cmd);
  }

  /**
   * @param cmd a {@code DEVICE_INFO_*} command with a 64-bit value, e.g. {@code
   *     DEVICE_INFO_TIMESTAMP_FREQUENCY}
   * @return the value
   */
  public long getInfoUint64(int cmd) {
    return infoUint640(holder(), cmd);
  }

  private static native long infoUint640(long holder, int cmd);

  /** @return a {@code DEVICE_ACCESS_STATUS_*} value */
  public int getAccessStatus() {
    return gentlJNI.Device_getAccessStatus(holder(), this);
  }

  /** @return the IDs of the device's data streams */
  public List<String> getDataStreamIDs() {
    try (StringList list = StringList.adopt(gentlJNI.Device_impl_getDataStreamIDs(holder(), this))) {
      List<String> ids = new ArrayList<>();
      for (int i = 0; i < list.size(); i++) {
        ids.add(list.get(i));
      }
      return ids;
    }
  }

  /**
   * Opens a data stream (again at each call).
   *
   * @param id one of {@link #getDataStreamIDs()}
   * @return the stream
   */
  public DataStream openDataStream(String id) {
    return new DataStream(gentlJNI.Device_openDataStream(holder(), this, id));
  }
}

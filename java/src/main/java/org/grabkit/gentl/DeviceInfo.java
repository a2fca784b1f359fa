package org.grabkit.gentl;

/** A device that an interface listed; it can be opened. */
public final class DeviceInfo extends ModelObject {
  DeviceInfo(long holder) {
    super(holder, Deleter.DEVICE_INFO);
  }

  /**
   * A record for a device ID known beforehand.
   *
   * @param tlInterface the interface that knows the device
   * @param id the device ID
   */
  public DeviceInfo(TLInterface tlInterface, String id) {
    this(gentlJNI.new_DeviceInfo(tlInterface.holder(), tlInterface, id));
  }

  /** @return the device ID (works also after the interface closed) */
  public String getID() {
    return gentlJNI.DeviceInfo_getID(holder(), this);
  }

  /** @return the vendor name */
  public String getVendor() {
    return gentlJNI.DeviceInfo_getVendor(holder(), this);
  }

  /** @return the model name */
  public String getModel() {
    return gentlJNI.DeviceInfo_getModel(holder(), this);
  }

  /** @return the transport-layer type */
  public String getTransportLayerType() {
    return gentlJNI.DeviceInfo_getTransportLayerType(holder(), this);
  }

  /** @return the display name */
  public String getDisplayName() {
    return gentlJNI.DeviceInfo_getDisplayName(holder(), this);
  }

  /** @return the user-defined name */
  public String getUserDefinedName() {
    return gentlJNI.DeviceInfo_getUserDefinedName(holder(), this);
  }

  /** @return the serial number */
  public String getSerialNumber() {
    return gentlJNI.DeviceInfo_getSerialNumber(holder(), this);
  }

  /** @return the device version */
  public String getVersion() {
    return gentlJNI.DeviceInfo_getVersion(holder(), this);
  }

  /**
   * @param cmd a {@code DEVICE_INFO_*} command with a text value
   * @return the producer's text for it
   */
  public String getInfoString(int cmd) {
    return gentlJNI.DeviceInfo_getInfoString(holder(), this, cmd);
  }

  /** @return a {@code DEVICE_ACCESS_STATUS_*} value */
  public int getAccessStatus() {
    return gentlJNI.DeviceInfo_getAccessStatus(holder(), this);
  }

  /**
   * Opens the device (again at each call).
   *
   * @param flags a {@code DEVICE_ACCESS_*} value, e.g. {@code DEVICE_ACCESS_CONTROL}
   * @return the opened device
   */
  public Device open(int flags) {
    return new Device(gentlJNI.DeviceInfo_open(holder(), this, flags));
  }
}

package org.grabkit.gentl;

/** An interface that a transport layer listed; it can be opened. */
public final class InterfaceInfo extends ModelObject {
  InterfaceInfo(long holder) {
    super(holder, Deleter.INTERFACE_INFO);
  }

  /**
   * A record for an interface ID known beforehand.
   *
   * @param transportLayer the transport layer that knows the interface
   * @param id the interface ID
   */
  public InterfaceInfo(TransportLayer transportLayer, String id) {
    this(gentlJNI.new_InterfaceInfo(transportLayer.holder(), transportLayer, id));
  }

  /** @return the interface ID (works also after the transport layer closed) */
  public String getID() {
    return gentlJNI.InterfaceInfo_getID(holder(), this);
  }

  /**
   * @param cmd an {@code INTERFACE_INFO_*} command
   * @return the producer's text for it
   */
  public String getInfoString(int cmd) {
    return gentlJNI.InterfaceInfo_getInfoString(holder(), this, cmd);
  }

  /** @return the interface's display name */
  public String getDisplayName() {
    return gentlJNI.InterfaceInfo_getDisplayName(holder(), this);
  }

  /** @return the interface's transport-layer type */
  public String getTransportLayerType() {
    return gentlJNI.InterfaceInfo_getTransportLayerType(holder(), this);
  }

  /** @return the opened interface (opened again at each call) */
  public TLInterface open() {
    return new TLInterface(gentlJNI.InterfaceInfo_open(holder(), this));
  }
}

package org.grabkit.bench;

import org.grabkit.gentl.gentlJNI;

/** Grabkit's low-level family: one native method per producer call. */
final class GrabkitBinding implements Binding {
  private final int tl;
  private final int iface;
  private final int dev;
  private final int ds;
  private final int event;

  GrabkitBinding() {
    gentlJNI.GCInitLib(Binding.simulatedProducer());
    tl = gentlJNI.TLOpen();
    gentlJNI.TLUpdateInterfaceList(tl, 0);
    iface = gentlJNI.TLOpenInterface(tl, gentlJNI.TLGetInterfaceID(tl, 0));
    gentlJNI.IFUpdateDeviceList(iface, 0);
    dev = gentlJNI.IFOpenDevice(iface, gentlJNI.IFGetDeviceID(iface, 0), DEVICE_ACCESS_CONTROL);
    ds = gentlJNI.DevOpenDataStream(dev, gentlJNI.DevGetDataStreamID(dev, 0));
    event = gentlJNI.GCRegisterEvent(ds, EVENT_NEW_BUFFER);
  }

  @Override
  public long numeric() {
    return gentlJNI.DevGetInfoUint64(dev, DEVICE_INFO_TIMESTAMP_FREQUENCY);
  }

  @Override
  public String string() {
    return gentlJNI.DevGetInfoString(dev, DEVICE_INFO_MODEL);
  }

  @Override
  public void failing() {
    gentlJNI.DevGetInfoUint64(BOGUS_HANDLE, DEVICE_INFO_TIMESTAMP_FREQUENCY);
  }

  @Override
  public void poll() {
    gentlJNI.EventNewBufferGetData(event, 0);
  }

  @Override
  public void close() {
    gentlJNI.GCUnregisterEvent(ds, EVENT_NEW_BUFFER);
    gentlJNI.DSClose(ds);
    gentlJNI.DevClose(dev);
    gentlJNI.IFClose(iface);
    gentlJNI.TLClose(tl);
    gentlJNI.GCCloseLib();
  }
}

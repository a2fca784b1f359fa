package org.grabkit.bench;

import com.sun.jna.Memory;
import com.sun.jna.Native;
import com.sun.jna.Pointer;

/**
 * JNA's direct mapping, its fastest form: static natives with primitive arguments, pointers as
 * addresses of memory allocated once.
 */
final class JnaBinding implements Binding {
  /** The producer functions, registered against the simulated camera on first use. */
  static final class Sim {
    static {
      Native.register(Sim.class, com.sun.jna.NativeLibrary.getInstance(Binding.simulatedProducer()));
    }

    static native int GCInitLib();

    static native int GCCloseLib();

    static native int TLOpen(long system);

    static native int TLClose(long system);

    static native int TLUpdateInterfaceList(long system, long changed, long timeout);

    static native int TLGetInterfaceID(long system, int index, long id, long size);

    static native int TLOpenInterface(long system, long id, long iface);

    static native int IFClose(long iface);

    static native int IFUpdateDeviceList(long iface, long changed, long timeout);

    static native int IFGetDeviceID(long iface, int index, long id, long size);

    static native int IFOpenDevice(long iface, long id, int flags, long device);

    static native int DevClose(long device);

    static native int DevGetDataStreamID(long device, int index, long id, long size);

    static native int DevOpenDataStream(long device, long id, long stream);

    static native int DevGetInfo(long device, int cmd, long type, long buffer, long size);

    static native int DSClose(long stream);

    static native int GCRegisterEvent(long source, int type, long event);

    static native int GCUnregisterEvent(long source, int type);

    static native int EventGetData(long event, long buffer, long size, long timeout);

    private Sim() {}
  }

  private final Memory text = new Memory(1024);
  private final Memory value = new Memory(16);
  private final Memory type = new Memory(8);
  private final Memory size = new Memory(8);
  private final Memory out = new Memory(8);
  private final long textAddress = Pointer.nativeValue(text);
  private final long valueAddress = Pointer.nativeValue(value);
  private final long typeAddress = Pointer.nativeValue(type);
  private final long sizeAddress = Pointer.nativeValue(size);
  private final long tl;
  private final long iface;
  private final long dev;
  private final long ds;
  private final long event;

  JnaBinding() {
    check(Sim.GCInitLib());
    long outAddress = Pointer.nativeValue(out);
    check(Sim.TLOpen(outAddress));
    tl = out.getLong(0);
    check(Sim.TLUpdateInterfaceList(tl, 0, 0));
    size.setLong(0, 1024);
    check(Sim.TLGetInterfaceID(tl, 0, textAddress, sizeAddress));
    check(Sim.TLOpenInterface(tl, textAddress, outAddress));
    iface = out.getLong(0);
    check(Sim.IFUpdateDeviceList(iface, 0, 0));
    size.setLong(0, 1024);
    check(Sim.IFGetDeviceID(iface, 0, textAddress, sizeAddress));
    check(Sim.IFOpenDevice(iface, textAddress, DEVICE_ACCESS_CONTROL, outAddress));
    dev = out.getLong(0);
    size.setLong(0, 1024);
    check(Sim.DevGetDataStreamID(dev, 0, textAddress, sizeAddress));
    check(Sim.DevOpenDataStream(dev, textAddress, outAddress));
    ds = out.getLong(0);
    check(Sim.GCRegisterEvent(ds, EVENT_NEW_BUFFER, outAddress));
    event = out.getLong(0);
  }

  private static void check(int code) {
    if (code != 0) {
      throw Binding.failure(code);
    }
  }

  @Override
  public long numeric() {
    size.setLong(0, 8);
    check(Sim.DevGetInfo(dev, DEVICE_INFO_TIMESTAMP_FREQUENCY, typeAddress, valueAddress, sizeAddress));
    return value.getLong(0);
  }

  @Override
  public String string() {
    size.setLong(0, 1024);
    check(Sim.DevGetInfo(dev, DEVICE_INFO_MODEL, typeAddress, textAddress, sizeAddress));
    return text.getString(0, "UTF-8");
  }

  @Override
  public void failing() {
    size.setLong(0, 8);
    check(
        Sim.DevGetInfo(
            BOGUS_HANDLE, DEVICE_INFO_TIMESTAMP_FREQUENCY, typeAddress, valueAddress, sizeAddress));
  }

  @Override
  public void poll() {
    size.setLong(0, 16);
    check(Sim.EventGetData(event, valueAddress, sizeAddress, 0));
  }

  @Override
  public void close() {
    Sim.GCUnregisterEvent(ds, EVENT_NEW_BUFFER);
    Sim.DSClose(ds);
    Sim.DevClose(dev);
    Sim.IFClose(iface);
    Sim.TLClose(tl);
    Sim.GCCloseLib();
  }
}

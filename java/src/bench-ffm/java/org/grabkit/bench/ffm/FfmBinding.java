package org.grabkit.bench.ffm;

import static java.lang.foreign.ValueLayout.ADDRESS;
import static java.lang.foreign.ValueLayout.JAVA_INT;
import static java.lang.foreign.ValueLayout.JAVA_LONG;

import java.lang.foreign.Arena;
import java.lang.foreign.FunctionDescriptor;
import java.lang.foreign.Linker;
import java.lang.foreign.MemorySegment;
import java.lang.foreign.SymbolLookup;
import java.lang.invoke.MethodHandle;
import java.nio.file.Path;
import org.grabkit.bench.Binding;

/**
 * The Foreign Function and Memory API (JDK 22+): downcall handles held in static finals, memory
 * allocated once. Compiled apart from the rest, with a JDK that has it.
 */
public final class FfmBinding implements Binding {
  private static final Linker LINKER = Linker.nativeLinker();
  private static final SymbolLookup SIM =
      SymbolLookup.libraryLookup(Path.of(Binding.simulatedProducer()), Arena.global());

  private static MethodHandle function(String name, FunctionDescriptor descriptor) {
    return LINKER.downcallHandle(SIM.find(name).orElseThrow(), descriptor);
  }

  private static FunctionDescriptor ints(java.lang.foreign.MemoryLayout... args) {
    return FunctionDescriptor.of(JAVA_INT, args);
  }

  private static final MethodHandle GC_INIT_LIB = function("GCInitLib", ints());
  private static final MethodHandle GC_CLOSE_LIB = function("GCCloseLib", ints());
  private static final MethodHandle TL_OPEN = function("TLOpen", ints(ADDRESS));
  private static final MethodHandle TL_CLOSE = function("TLClose", ints(ADDRESS));
  private static final MethodHandle TL_UPDATE =
      function("TLUpdateInterfaceList", ints(ADDRESS, ADDRESS, JAVA_LONG));
  private static final MethodHandle TL_ID =
      function("TLGetInterfaceID", ints(ADDRESS, JAVA_INT, ADDRESS, ADDRESS));
  private static final MethodHandle TL_OPEN_IF =
      function("TLOpenInterface", ints(ADDRESS, ADDRESS, ADDRESS));
  private static final MethodHandle IF_CLOSE = function("IFClose", ints(ADDRESS));
  private static final MethodHandle IF_UPDATE =
      function("IFUpdateDeviceList", ints(ADDRESS, ADDRESS, JAVA_LONG));
  private static final MethodHandle IF_ID =
      function("IFGetDeviceID", ints(ADDRESS, JAVA_INT, ADDRESS, ADDRESS));
  private static final MethodHandle IF_OPEN_DEV =
      function("IFOpenDevice", ints(ADDRESS, ADDRESS, JAVA_INT, ADDRESS));
  private static final MethodHandle DEV_CLOSE = function("DevClose", ints(ADDRESS));
  private static final MethodHandle DEV_DS_ID =
      function("DevGetDataStreamID", ints(ADDRESS, JAVA_INT, ADDRESS, ADDRESS));
  private static final MethodHandle DEV_OPEN_DS =
      function("DevOpenDataStream", ints(ADDRESS, ADDRESS, ADDRESS));
  private static final MethodHandle DEV_GET_INFO =
      function("DevGetInfo", ints(ADDRESS, JAVA_INT, ADDRESS, ADDRESS, ADDRESS));
  private static final MethodHandle DS_CLOSE = function("DSClose", ints(ADDRESS));
  private static final MethodHandle REGISTER =
      function("GCRegisterEvent", ints(ADDRESS, JAVA_INT, ADDRESS));
  private static final MethodHandle UNREGISTER =
      function("GCUnregisterEvent", ints(ADDRESS, JAVA_INT));
  private static final MethodHandle EVENT_GET_DATA =
      function("EventGetData", ints(ADDRESS, ADDRESS, ADDRESS, JAVA_LONG));

  private final Arena arena = Arena.ofShared();
  private final MemorySegment text = arena.allocate(1024);
  private final MemorySegment value = arena.allocate(16, 8);
  private final MemorySegment type = arena.allocate(JAVA_INT);
  private final MemorySegment size = arena.allocate(JAVA_LONG);
  private final MemorySegment out = arena.allocate(ADDRESS);
  private final MemorySegment bogus = MemorySegment.ofAddress(BOGUS_HANDLE);
  private final MemorySegment tl;
  private final MemorySegment iface;
  private final MemorySegment dev;
  private final MemorySegment ds;
  private final MemorySegment event;

  public FfmBinding() {
    try {
      check((int) GC_INIT_LIB.invokeExact());
      check((int) TL_OPEN.invokeExact(out));
      tl = out.get(ADDRESS, 0);
      check((int) TL_UPDATE.invokeExact(tl, MemorySegment.NULL, 0L));
      size.set(JAVA_LONG, 0, 1024);
      check((int) TL_ID.invokeExact(tl, 0, text, size));
      check((int) TL_OPEN_IF.invokeExact(tl, text, out));
      iface = out.get(ADDRESS, 0);
      check((int) IF_UPDATE.invokeExact(iface, MemorySegment.NULL, 0L));
      size.set(JAVA_LONG, 0, 1024);
      check((int) IF_ID.invokeExact(iface, 0, text, size));
      check((int) IF_OPEN_DEV.invokeExact(iface, text, DEVICE_ACCESS_CONTROL, out));
      dev = out.get(ADDRESS, 0);
      size.set(JAVA_LONG, 0, 1024);
      check((int) DEV_DS_ID.invokeExact(dev, 0, text, size));
      check((int) DEV_OPEN_DS.invokeExact(dev, text, out));
      ds = out.get(ADDRESS, 0);
      check((int) REGISTER.invokeExact(ds, EVENT_NEW_BUFFER, out));
      event = out.get(ADDRESS, 0);
    } catch (Throwable t) {
      throw rethrow(t);
    }
  }

  private static void check(int code) {
    if (code != 0) {
      throw Binding.failure(code);
    }
  }

  private static RuntimeException rethrow(Throwable t) {
    if (t instanceof RuntimeException r) {
      return r;
    }
    if (t instanceof Error e) {
      throw e;
    }
    return new IllegalStateException(t);
  }

  private int devGetInfo(MemorySegment device, int cmd, MemorySegment buffer, long capacity) {
    size.set(JAVA_LONG, 0, capacity);
    try {
      return (int) DEV_GET_INFO.invokeExact(device, cmd, type, buffer, size);
    } catch (Throwable t) {
      throw rethrow(t);
    }
  }

  @Override
  public long numeric() {
    check(devGetInfo(dev, DEVICE_INFO_TIMESTAMP_FREQUENCY, value, 8));
    return value.get(JAVA_LONG, 0);
  }

  @Override
  public String string() {
    check(devGetInfo(dev, DEVICE_INFO_MODEL, text, 1024));
    return text.getString(0);
  }

  @Override
  public void failing() {
    check(devGetInfo(bogus, DEVICE_INFO_TIMESTAMP_FREQUENCY, value, 8));
  }

  @Override
  public void poll() {
    size.set(JAVA_LONG, 0, 16);
    int code;
    try {
      code = (int) EVENT_GET_DATA.invokeExact(event, value, size, 0L);
    } catch (Throwable t) {
      throw rethrow(t);
    }
    check(code);
  }

  @Override
  public void close() {
    try {
      int ignored = (int) UNREGISTER.invokeExact(ds, EVENT_NEW_BUFFER);
      ignored = (int) DS_CLOSE.invokeExact(ds);
      ignored = (int) DEV_CLOSE.invokeExact(dev);
      ignored = (int) IF_CLOSE.invokeExact(iface);
      ignored = (int) TL_CLOSE.invokeExact(tl);
      ignored = (int) GC_CLOSE_LIB.invokeExact();
    } catch (Throwable t) {
      throw rethrow(t);
    }
    arena.close();
  }
}

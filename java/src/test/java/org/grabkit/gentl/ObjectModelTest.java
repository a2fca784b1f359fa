package org.grabkit.gentl;

import static org.grabkit.gentl.TestProducerControl.ANY;
import static org.grabkit.gentl.TestProducerControl.answer;
import static org.grabkit.gentl.TestProducerControl.text;
import static org.grabkit.gentl.TestProducerControl.u32;
import static org.grabkit.gentl.TestProducerControl.u64;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/**
 * The lifecycle of the object model against the scriptable producer: closing at each level and
 * what the descendants then answer, releasing holders in any order, one producer at a time, and
 * the trace lines that tell it all. Handles are wide (above 32 bits) on purpose.
 */
class ObjectModelTest {
  private static final long WIDE = 0x7f00_0000_0000L;

  @BeforeEach
  void script() {
    scriptTree();
  }

  /** Attaches the test producer and scripts the handles and IDs of one whole tree. */
  static void scriptTree() {
    TestProducerControl.attach(TestProducerControl.TEST_CTI);
    answer("TLOpen", ANY, u64(WIDE + 0x100));
    answer("TLGetNumInterfaces", ANY, u32(1));
    answer("TLGetInterfaceID", ANY, text("IF%0"));
    answer("TLOpenInterface", ANY, u64(WIDE + 0x200));
    answer("IFGetNumDevices", ANY, u32(1));
    answer("IFGetDeviceID", ANY, text("Dev0"));
    answer("IFOpenDevice", ANY, u64(WIDE + 0x300));
    answer("DevOpenDataStream", ANY, u64(WIDE + 0x400));
    answer("DevGetPort", ANY, u64(WIDE + 0x500));
  }

  @AfterEach
  void unload() {
    gentlJNI.enableTracing(false);
    if (gentlJNI.GCLibIsInited()) {
      gentlJNI.GCCloseLib();
    }
  }

  /** A whole tree through the natives, holders kept by the test. */
  static final class Tree {
    final long producer = gentlJNI.GenTLProducer_load(TestProducerControl.TEST_CTI);
    final long tl = gentlJNI.GenTLProducer_openTransportLayer(producer, null);
    final long itf;
    final long dev;
    final long ds;

    Tree() {
      try (InterfaceInfoList interfaces =
          InterfaceInfoList.adopt(gentlJNI.TransportLayer_impl_getInterfaces(tl, null))) {
        long info = interfaces.get(0);
        itf = gentlJNI.InterfaceInfo_open(info, null);
        gentlJNI.delete_InterfaceInfo(info);
      }
      try (DeviceInfoList devices =
          DeviceInfoList.adopt(gentlJNI.TLInterface_impl_getDeviceList(itf, null))) {
        long info = devices.get(0);
        dev = gentlJNI.DeviceInfo_open(info, null, 3);
        gentlJNI.delete_DeviceInfo(info);
      }
      ds = gentlJNI.Device_openDataStream(dev, null, "Stream0");
    }

    /** Releases the test's five holders, root first. */
    void release() {
      gentlJNI.delete_GenTLProducer(producer);
      gentlJNI.delete_TransportLayer(tl);
      gentlJNI.delete_TLInterface(itf);
      gentlJNI.delete_Device(dev);
      gentlJNI.delete_DataStream(ds);
    }
  }

  private static String closedMessage(Executable e) {
    return assertThrows(ClosedException.class, e).getMessage();
  }

  /** Each call must throw a ClosedException with the message of its row plus the code. */
  private static void assertClosed(Object[][] rows) {
    for (Object[] row : rows) {
      assertEquals(row[0] + " (ID: -10002)", closedMessage((Executable) row[1]), (String) row[0]);
    }
  }

  @Test
  void closingALevelOrphansEverythingBelowWithTheMessageOfTheNearestClosedLevel() {
    Tree t = new Tree();
    TestProducerControl.reset();
    gentlJNI.TLInterface_close(t.itf, null);
    gentlJNI.TLInterface_close(t.itf, null); // the second close calls nothing
    assertEquals("IFClose\n", TestProducerControl.callLog());
    assertFalse(gentlJNI.TLInterface_checkValid(t.itf, null));
    assertTrue(gentlJNI.TLInterface_isClosed(t.itf, null));
    assertTrue(gentlJNI.DataStream_isClosed(t.ds, null));
    assertTrue(gentlJNI.TransportLayer_checkValid(t.tl, null));
    String below = "Interface is closed, cannot access device";
    assertClosed(new Object[][] {
      {"Interface is closed, cannot return handle",
        (Executable) () -> gentlJNI.TLInterface_getHandle(t.itf, null)},
      {below, (Executable) () -> gentlJNI.Device_checkValid(t.dev, null)},
      {below, (Executable) () -> gentlJNI.Device_getHandle(t.dev, null)},
      {below, (Executable) () -> gentlJNI.DataStream_checkValid(t.ds, null)},
      {below, (Executable) () -> gentlJNI.DataStream_getNumDelivered(t.ds, null)}});

    // Orphans close and die without a producer call; the open transport layer closes itself.
    gentlJNI.DataStream_close(t.ds, null);
    gentlJNI.delete_DataStream(t.ds);
    gentlJNI.delete_Device(t.dev);
    gentlJNI.delete_TLInterface(t.itf);
    assertEquals("IFClose\n", TestProducerControl.callLog());
    gentlJNI.delete_TransportLayer(t.tl);
    assertEquals("IFClose\nTLClose\n", TestProducerControl.callLog());
    gentlJNI.delete_GenTLProducer(t.producer);
    assertFalse(gentlJNI.GCLibIsInited());
  }

  /** With the library closed below the model, the tree is orphaned and ports say so. */
  @Test
  void closingTheLibraryBelowTheModelOrphansTheWholeTree() {
    Tree t = new Tree();
    long port = gentlJNI.TransportLayer_getPort(t.tl, null);
    gentlJNI.GCCloseLib();
    String lib = "GenTL lib is closed, cannot access TransportLayer";
    String producer = "GenTL lib is closed, cannot access GenTLProducer";
    assertClosed(new Object[][] {
      {lib, (Executable) () -> gentlJNI.TransportLayer_checkValid(t.tl, null)},
      {lib, (Executable) () -> gentlJNI.DataStream_getHandle(t.ds, null)},
      {producer, (Executable) () -> gentlJNI.GenTLProducer_checkValid(t.producer, null)},
      {producer, (Executable) () -> gentlJNI.GenTLProducer_openTransportLayer(t.producer, null)}});
    assertTrue(gentlJNI.GenTLProducer_isClosed(t.producer, null));
    // Ports go to the producer without a validity test; with no library there is none to call.
    NotInitializedException e = assertThrows(NotInitializedException.class,
        () -> gentlJNI.Port_read(port, null, 0, java.nio.ByteBuffer.allocateDirect(4)));
    assertEquals("No GenTL producer is loaded, cannot call GCReadPort (ID: -1002)", e.getMessage());
    TestProducerControl.reset();
    gentlJNI.GenTLProducer_close(t.producer, null); // nothing loaded: no GCCloseLib
    gentlJNI.delete_Port(port);
    t.release();
    assertEquals("", TestProducerControl.callLog());
  }

  /**
   * Every order of releasing the five holders: the library goes with the last one, and the
   * first order, root first, traces the whole tree being built and destroyed from the leaves up.
   */
  @Test
  void anyReleaseOrderDestroysLeavesFirstAndUnloadsLast() {
    List<List<Integer>> orders = new java.util.ArrayList<>();
    permute(new java.util.ArrayList<>(List.of(0, 1, 2, 3, 4)), 0, orders);
    assertEquals(120, orders.size());
    gentlJNI.enableTracing(true);
    for (List<Integer> order : orders) {
      String trace = StdErr.capture(() -> {
        Tree t = new Tree();
        long[] holders = {t.producer, t.tl, t.itf, t.dev, t.ds};
        for (int i : order) {
          assertTrue(gentlJNI.GCLibIsInited(), "unloaded early in " + order);
          switch (i) {
            case 0 -> gentlJNI.delete_GenTLProducer(holders[0]);
            case 1 -> gentlJNI.delete_TransportLayer(holders[1]);
            case 2 -> gentlJNI.delete_TLInterface(holders[2]);
            case 3 -> gentlJNI.delete_Device(holders[3]);
            default -> gentlJNI.delete_DataStream(holders[4]);
          }
        }
      });
      assertFalse(gentlJNI.GCLibIsInited());
      int ds = trace.indexOf("~DataStream()\nDSClose()");
      int dev = trace.indexOf("~Device()\nDevClose()");
      int itf = trace.indexOf("~TLInterface()\nIFClose()");
      int tl = trace.indexOf("~TransportLayer()\nTLClose()");
      int producer = trace.indexOf("~GenTLProducer(");
      assertTrue(0 <= ds && ds < dev && dev < itf && itf < tl && tl < producer, order + trace);
      assertTrue(trace.endsWith("GCCloseLib()\n"), trace);
      if (order.equals(orders.get(0))) {
        String n = trace.substring(14, trace.indexOf(')'));
        assertEquals("GenTLProducer(" + n + ")\nGCInitLib()\nTLOpen()\nTransportLayer()\n"
            + "InterfaceInfo(IF%0)\nTLOpenInterface()\nTLInterface()\n~InterfaceInfo(IF%0)\n"
            + "DeviceInfo(Dev0)\nIFOpenDevice()\nDevice()\n~DeviceInfo(Dev0)\n"
            + "DevOpenDataStream()\nDataStream()\n"
            + "~DataStream()\nDSClose()\n~Device()\nDevClose()\n~TLInterface()\nIFClose()\n"
            + "~TransportLayer()\nTLClose()\n~GenTLProducer(" + n + ")\nGCCloseLib()\n", trace);
      }
    }
  }

  private static void permute(List<Integer> items, int k, List<List<Integer>> out) {
    if (k == items.size()) {
      out.add(List.copyOf(items));
      return;
    }
    for (int i = k; i < items.size(); i++) {
      java.util.Collections.swap(items, k, i);
      permute(items, k + 1, out);
      java.util.Collections.swap(items, k, i);
    }
  }

  /** An acquisition traces buffers and ports in order; queueing zero-fills unless told not. */
  @Test
  void anAcquisitionTracesBuffersAndPortsInOrder() {
    java.nio.ByteBuffer memory = java.nio.ByteBuffer.allocateDirect(64);
    answer("DSAnnounceBuffer", ANY, u64(WIDE + 0x600));
    answer("DSGetBufferInfo", gentlJNI.BUFFER_INFO_BASE_get(),
        u64(TestProducerControl.addressOf(memory)));
    answer("DSGetBufferInfo", gentlJNI.BUFFER_INFO_SIZE_get(), u64(64));
    Runnable fill = () -> java.util.stream.IntStream.range(0, 64).forEach(i -> memory.put(i,
        (byte) 7));
    gentlJNI.enableTracing(true);
    String trace = StdErr.capture(() -> {
      Tree t = new Tree();
      long port = gentlJNI.DataStream_getPort(t.ds, null);
      long buffer = gentlJNI.DataStream_announceBuffer(t.ds, null, memory, 7);
      fill.run();
      assertEquals(0, gentlJNI.DataStream_queueBuffer__SWIG_0(t.ds, null, buffer, null, false));
      assertEquals(7, memory.get(63));
      assertEquals(0, gentlJNI.DataStream_queueBuffer__SWIG_1(t.ds, null, buffer, null));
      assertEquals(java.nio.ByteBuffer.allocate(64), memory.clear());
      fill.run();
      gentlJNI.Buffer_clear(buffer, null);
      assertEquals(java.nio.ByteBuffer.allocate(64), memory.clear());
      assertEquals(0, gentlJNI.DataStream_startAcquisition(t.ds, null, 0, -1));
      assertEquals(0, gentlJNI.DataStream_stopAcquisition(t.ds, null, 0));
      assertEquals(0, gentlJNI.DataStream_revokeBuffer(t.ds, null, buffer, null));
      t.release();
      gentlJNI.delete_Port(port);
      gentlJNI.delete_Buffer(buffer);
    });
    String tail = trace.substring(trace.indexOf("\nDataStream()\n") + 1);
    assertEquals("DataStream()\nPort()\nBuffer()\n~Port()\n~Buffer()\n~DataStream()\nDSClose()\n"
        + "~Device()\nDevClose()\n~TLInterface()\nIFClose()\n~TransportLayer()\nTLClose()\n",
        tail.substring(0, tail.indexOf("~GenTLProducer(")));
  }

  /** A closed producer's holder unloads nothing when it goes; the open one's holder does. */
  @Test
  void oneProducerAtATimeWithGrowingInstanceNumbers() {
    gentlJNI.enableTracing(true);
    String trace = StdErr.capture(() -> {
      long first = gentlJNI.GenTLProducer_load(TestProducerControl.TEST_CTI);
      LoadLibraryException twice = assertThrows(LoadLibraryException.class,
          () -> gentlJNI.GenTLProducer_load(TestProducerControl.TEST_CTI));
      assertEquals("GenTL producer already loaded. Close the previous instance first. (ID: -10001)",
          twice.getMessage());
      gentlJNI.GenTLProducer_close(first, null);
      long second = gentlJNI.GenTLProducer_load(TestProducerControl.TEST_CTI);
      assertTrue(gentlJNI.GenTLProducer_isClosed(first, null));
      assertFalse(gentlJNI.GenTLProducer_checkValid(first, null));
      assertTrue(gentlJNI.GenTLProducer_checkValid(second, null));
      gentlJNI.delete_GenTLProducer(first);
      gentlJNI.delete_GenTLProducer(second);
    });
    int n = Integer.parseInt(trace.substring(14, trace.indexOf(')')));
    assertEquals("GenTLProducer(" + n + ")\nGCInitLib()\nGCCloseLib()\n"
        + "GenTLProducer(" + (n + 1) + ")\nGCInitLib()\n"
        + "~GenTLProducer(" + n + ")\n~GenTLProducer(" + (n + 1) + ")\nGCCloseLib()\n", trace);
    assertThrows(NullPointerException.class, () -> gentlJNI.GenTLProducer_load(null));
  }

  @Test
  void portsReachTheProducerWithTheirModulesHandle() {
    Tree t = new Tree();
    long tlPort = gentlJNI.TransportLayer_getPort(t.tl, null);
    long devPort = gentlJNI.Device_getPort(t.dev, null);
    int tlHandle = gentlJNI.TransportLayer_getHandle(t.tl, null);
    assertEquals(tlHandle, gentlJNI.Port_getHandle(tlPort, null));
    assertTrue(tlHandle < 0, "a wide handle crosses as a token");
    assertNotEquals(gentlJNI.Device_getHandle(t.dev, null), gentlJNI.Port_getHandle(devPort, null));
    gentlJNI.delete_Device(t.dev); // the port keeps the device open
    assertTrue(gentlJNI.Port_checkValid(devPort, null));
    gentlJNI.TransportLayer_close(t.tl, null);
    assertClosed(new Object[][] {
      {"Device is closed, cannot return handle",
        (Executable) () -> gentlJNI.Port_getHandle(tlPort, null)},
      {"TransportLayer is closed, cannot access TLInterface",
        (Executable) () -> gentlJNI.Port_checkValid(devPort, null)}});
    gentlJNI.delete_Port(tlPort);
    gentlJNI.delete_Port(devPort);
    gentlJNI.delete_DataStream(t.ds);
    gentlJNI.delete_TLInterface(t.itf);
    gentlJNI.delete_TransportLayer(t.tl);
    gentlJNI.delete_GenTLProducer(t.producer);
  }

  /** The Java proxies over the same rules: one producer call per close, refusals after. */
  @Test
  void proxiesReleaseOnceAndRefuseUseAfterClose() {
    try (GenTLProducer producer = GenTLProducer.load(TestProducerControl.TEST_CTI)) {
      TransportLayer tl = producer.openTransportLayer();
      List<InterfaceInfo> interfaces = tl.getInterfaces();
      assertEquals(List.of("IF%0"), interfaces.stream().map(InterfaceInfo::getID).toList());
      TLInterface itf = interfaces.get(0).open();
      TestProducerControl.reset();
      tl.close();
      tl.close();
      assertTrue(tl.isClosed());
      assertThrows(IllegalStateException.class, tl::getHandle);
      assertTrue(itf.isClosed());
      itf.close(); // an orphan closes without a producer call
      assertEquals("TLClose\n", TestProducerControl.callLog());
      interfaces.forEach(InterfaceInfo::close);
    }
    assertFalse(gentlJNI.GCLibIsInited());
  }
}

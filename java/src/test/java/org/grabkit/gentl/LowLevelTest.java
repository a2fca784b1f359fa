package org.grabkit.gentl;

import static org.grabkit.gentl.TestProducerControl.ANY;
import static org.grabkit.gentl.TestProducerControl.answer;
import static org.grabkit.gentl.TestProducerControl.text;
import static org.grabkit.gentl.TestProducerControl.u32;
import static org.grabkit.gentl.TestProducerControl.u64;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.ByteBuffer;
import java.util.ArrayList;
import java.util.List;
import java.util.function.Supplier;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * The low-level family against the scriptable test producer: every export once, with the
 * producer's argument log, its result, its failure and (for 64-bit results) its range.
 */
class LowLevelTest {
  private static final long WIDE = 0x7f00_0000_0000L;

  /** QUERY throws a failing code; UINT64 and SIZE are queries of one 64-bit value. */
  enum Kind {
    QUERY,
    UINT64,
    SIZE,
    ACTION
  }

  /**
   * One export: the producer function that decides its outcome, what that function writes, the
   * export's call and result, and the producer calls it makes (the argument log).
   */
  record Row(Kind kind, String function, byte[] output, Supplier<Object> call, Object result,
      String log) {
    void script() {
      if (output != null) {
        answer(function, ANY, output);
      }
    }
  }

  /** Handles as Java sees them, opened from producer values at {@code base + 0x100 * n}. */
  private static final class Handles {
    final long base;
    final int tl;
    final int itf;
    final int dev;
    final int ds;
    final int buf;
    final int port;
    final int event;

    Handles(long base) {
      this.base = base;
      tl = open("TLOpen", 1, gentlJNI::TLOpen);
      itf = open("TLOpenInterface", 2, () -> gentlJNI.TLOpenInterface(tl, "IF1"));
      dev = open("IFOpenDevice", 3, () -> gentlJNI.IFOpenDevice(itf, "Dev0", 4));
      ds = open("DevOpenDataStream", 4, () -> gentlJNI.DevOpenDataStream(dev, "Stream0"));
      buf = open("DSGetBufferID", 5, () -> gentlJNI.DSGetBufferID(ds, 0));
      port = open("DevGetPort", 6, () -> gentlJNI.DevGetPort(dev));
      event = open("GCRegisterEvent", 7, () -> gentlJNI.GCRegisterEvent(ds, 1));
    }

    long value(int n) {
      return base + 0x100L * n;
    }

    String hex(int n) {
      return "0x" + Long.toHexString(value(n));
    }

    private int open(String function, int n, Supplier<Integer> call) {
      answer(function, ANY, u64(value(n)));
      return call.get();
    }
  }

  private static Row query(String function, byte[] output, Supplier<Object> call, Object result,
      String log) {
    return new Row(Kind.QUERY, function, output, call, result, log);
  }

  private static Row uint64(String function, long value, Supplier<Object> call, String log) {
    return new Row(Kind.UINT64, function, u64(value), call, value, log);
  }

  private static Row size(String function, long value, Supplier<Object> call, String log) {
    return new Row(Kind.SIZE, function, u64(value), call, value, log);
  }

  private static Row action(String function, Supplier<Object> call, String log) {
    return new Row(Kind.ACTION, function, null, call, 0, log);
  }

  static byte[] concat(byte[] a, byte[] b) {
    byte[] both = new byte[a.length + b.length];
    System.arraycopy(a, 0, both, 0, a.length);
    System.arraycopy(b, 0, both, a.length, b.length);
    return both;
  }

  private static String hex(ByteBuffer direct) {
    return "0x" + Long.toHexString(TestProducerControl.addressOf(direct));
  }

  /** Every export of the family with the handles of {@code h}. */
  private static List<Row> rows(Handles h) {
    String tl = h.hex(1);
    String itf = h.hex(2);
    String dev = h.hex(3);
    String ds = h.hex(4);
    String buf = h.hex(5);
    String port = h.hex(6);
    String event = h.hex(7);
    ByteBuffer eight = ByteBuffer.allocateDirect(8);
    ByteBuffer twenty = ByteBuffer.allocateDirect(20);
    ByteBuffer memory = ByteBuffer.allocateDirect(64);
    byte[] lastError = concat(u32(-1011), text("late"));
    List<Row> rows = new ArrayList<>();
    // System, errors, ports, events
    rows.add(query("GCGetInfo", text("Grabkit"), () -> gentlJNI.GCGetInfoString(1), "Grabkit",
        "GCGetInfo(1, 1024)"));
    rows.add(query("GCGetInfo", u32(-5), () -> gentlJNI.GCGetInfoInt32(9), -5, "GCGetInfo(9, 4)"));
    rows.add(query("GCGetInfo", u32(-1), () -> gentlJNI.GCGetInfoUInt32(10), 0xFFFF_FFFFL,
        "GCGetInfo(10, 4)"));
    rows.add(query("GCGetLastError", lastError, gentlJNI::GCGetLastError, -1011,
        "GCGetLastError(1024)"));
    rows.add(query("GCGetLastError", lastError, gentlJNI::GCGetLastErrorMessage, "late",
        "GCGetLastError(1024)"));
    rows.add(query("GCReadPort", new byte[] {1, 2, 3}, () -> gentlJNI.GCReadPort(h.port, 0x10000,
        eight), 3L, "GCReadPort(" + port + ", 65536, " + hex(eight) + ", 8)"));
    rows.add(uint64("GCWritePort", 8, () -> gentlJNI.GCWritePort(h.port, 0x10004, eight),
        "GCWritePort(" + port + ", 65540, " + hex(eight) + ", 8)"));
    rows.add(query("GCGetPortURL", text("Local:a.xml;10000;10"), () -> gentlJNI.GCGetPortURL(
        h.port), "Local:a.xml;10000;10", "GCGetPortURL(" + port + ", 1024)"));
    rows.add(query("GCGetNumPortURLs", u32(2), () -> gentlJNI.GCGetNumPortURLs(h.port), 2L,
        "GCGetNumPortURLs(" + port + ")"));
    rows.add(query("GCGetPortURLInfo", new byte[20], () -> gentlJNI.GCGetPortURLInfoBuffer(h.port,
        1, 6, twenty), 20L, "GCGetPortURLInfo(" + port + ", 1, 6, 20)"));
    rows.add(query("GCGetPortURLInfo", text("a.xml"), () -> gentlJNI.GCGetPortURLInfoString(
        h.port, 1, 10), "a.xml", "GCGetPortURLInfo(" + port + ", 1, 10, 1024)"));
    rows.add(query("GCGetPortURLInfo", u32(1), () -> gentlJNI.GCGetPortURLInfoInt32(h.port, 1, 1),
        1, "GCGetPortURLInfo(" + port + ", 1, 1, 4)"));
    rows.add(uint64("GCGetPortURLInfo", 0x10000, () -> gentlJNI.GCGetPortURLInfoUint64(h.port, 1,
        7), "GCGetPortURLInfo(" + port + ", 1, 7, 8)"));
    rows.add(query("GCGetPortInfo", text("Device"), () -> gentlJNI.GCGetPortInfoString(h.port, 12),
        "Device", "GCGetPortInfo(" + port + ", 12, 1024)"));
    rows.add(query("GCGetPortInfo", new byte[] {1}, () -> gentlJNI.GCGetPortInfoBool(h.port, 5),
        true, "GCGetPortInfo(" + port + ", 5, 1)"));
    rows.add(query("GCRegisterEvent", u64(h.value(7)), () -> gentlJNI.GCRegisterEvent(h.ds, 1),
        h.event, "GCRegisterEvent(" + ds + ", 1)"));
    rows.add(action("GCUnregisterEvent", () -> gentlJNI.GCUnregisterEvent(h.ds, 1),
        "GCUnregisterEvent(" + ds + ", 1)"));
    rows.add(query("EventGetData", concat(u64(h.value(5)), u64(-7)), () -> {
      long record = gentlJNI.EventNewBufferGetData(h.event, 1000);
      try {
        return List.of(gentlJNI.NewBufferEvent_BufferHandle_get(record),
            gentlJNI.NewBufferEvent_userData_get(record));
      } finally {
        gentlJNI.delete_NewBufferEvent(record);
      }
    }, List.of(h.buf, -7), "EventGetData(" + event + ", 16, 1000)"));
    rows.add(action("EventKill", () -> gentlJNI.EventKill(h.event), "EventKill(" + event + ")"));
    rows.add(action("EventFlush", () -> gentlJNI.EventFlush(h.event), "EventFlush(" + event + ")"));
    // System module and interfaces
    rows.add(query("TLOpen", u64(h.value(1)), gentlJNI::TLOpen, h.tl, "TLOpen()"));
    rows.add(action("TLClose", () -> gentlJNI.TLClose(h.tl), "TLClose(" + tl + ")"));
    rows.add(query("TLGetNumInterfaces", u32(2), () -> gentlJNI.TLGetNumInterfaces(h.tl), 2L,
        "TLGetNumInterfaces(" + tl + ")"));
    rows.add(query("TLGetInterfaceID", text("IF1"), () -> gentlJNI.TLGetInterfaceID(h.tl, 1),
        "IF1", "TLGetInterfaceID(" + tl + ", 1, 1024)"));
    rows.add(query("TLGetInterfaceInfo", text("Sim"), () -> gentlJNI.TLGetInterfaceInfoString(
        h.tl, 1, "IF1"), "Sim", "TLGetInterfaceInfo(" + tl + ", \"IF1\", 1, 1024)"));
    rows.add(query("TLOpenInterface", u64(h.value(2)), () -> gentlJNI.TLOpenInterface(h.tl,
        "IF1"), h.itf, "TLOpenInterface(" + tl + ", \"IF1\")"));
    rows.add(query("TLUpdateInterfaceList", new byte[] {1}, () -> gentlJNI.TLUpdateInterfaceList(
        h.tl, 500), true, "TLUpdateInterfaceList(" + tl + ", 500)"));
    rows.add(query("TLGetNumInterfaces", u32(0), () -> ids(gentlJNI.TLGetInterfaceList(h.tl)),
        List.of(), "TLGetNumInterfaces(" + tl + ")"));
    rows.add(action("IFClose", () -> gentlJNI.IFClose(h.itf), "IFClose(" + itf + ")"));
    rows.add(query("IFGetInfo", text("Sim"), () -> gentlJNI.IFGetInfoString(h.itf, 2), "Sim",
        "IFGetInfo(" + itf + ", 2, 1024)"));
    rows.add(query("IFGetNumDevices", u32(1), () -> gentlJNI.IFGetNumDevices(h.itf), 1L,
        "IFGetNumDevices(" + itf + ")"));
    rows.add(query("IFGetDeviceID", text("Dev0"), () -> gentlJNI.IFGetDeviceID(h.itf, 0), "Dev0",
        "IFGetDeviceID(" + itf + ", 0, 1024)"));
    rows.add(query("IFGetDeviceInfo", text("Cam"), () -> gentlJNI.IFGetDeviceInfoString(h.itf, 4,
        "Dev0"), "Cam", "IFGetDeviceInfo(" + itf + ", \"Dev0\", 4, 1024)"));
    rows.add(query("IFGetDeviceInfo", u32(1), () -> gentlJNI.IFGetDeviceInfoInt32(h.itf, 5,
        "Dev0"), 1, "IFGetDeviceInfo(" + itf + ", \"Dev0\", 5, 4)"));
    rows.add(query("IFGetDeviceInfo", u32(-1), () -> gentlJNI.IFGetDeviceInfoUint32__SWIG_0(h.itf,
        9, "Dev0"), 0xFFFF_FFFFL, "IFGetDeviceInfo(" + itf + ", \"Dev0\", 9, 4)"));
    rows.add(query("IFGetDeviceInfo", u32(7), () -> gentlJNI.IFGetDeviceInfoUint32__SWIG_1(h.itf,
        0x1_0000_0009L, "Dev0"), 7L, "IFGetDeviceInfo(" + itf + ", \"Dev0\", 9, 4)"));
    rows.add(uint64("IFGetDeviceInfo", 125_000_000, () -> gentlJNI.IFGetDeviceInfoUint64(h.itf, 9,
        "Dev0"), "IFGetDeviceInfo(" + itf + ", \"Dev0\", 9, 8)"));
    rows.add(query("IFOpenDevice", u64(h.value(3)), () -> gentlJNI.IFOpenDevice(h.itf, "Dev0", 4),
        h.dev, "IFOpenDevice(" + itf + ", \"Dev0\", 4)"));
    rows.add(query("IFUpdateDeviceList", new byte[] {0}, () -> gentlJNI.IFUpdateDeviceList(h.itf,
        0), false, "IFUpdateDeviceList(" + itf + ", 0)"));
    rows.add(query("IFGetNumDevices", u32(0), () -> ids(gentlJNI.IFGetDeviceList(h.itf)),
        List.of(), "IFGetNumDevices(" + itf + ")"));
    // Devices
    rows.add(query("DevGetPort", u64(h.value(6)), () -> gentlJNI.DevGetPort(h.dev), h.port,
        "DevGetPort(" + dev + ")"));
    rows.add(query("DevGetNumDataStreams", u32(1), () -> gentlJNI.DevGetNumDataStreams(h.dev), 1L,
        "DevGetNumDataStreams(" + dev + ")"));
    rows.add(query("DevGetDataStreamID", text("Stream0"), () -> gentlJNI.DevGetDataStreamID(h.dev,
        0), "Stream0", "DevGetDataStreamID(" + dev + ", 0, 1024)"));
    rows.add(query("DevGetNumDataStreams", u32(0), () -> ids(gentlJNI.DevGetDataStreamList(
        h.dev)), List.of(), "DevGetNumDataStreams(" + dev + ")"));
    rows.add(query("DevGetInfo", text("SimCam"), () -> gentlJNI.DevGetInfoString(h.dev, 2),
        "SimCam", "DevGetInfo(" + dev + ", 2, 1024)"));
    rows.add(query("DevGetInfo", u32(5), () -> gentlJNI.DevGetInfoInt32(h.dev, 5), 5,
        "DevGetInfo(" + dev + ", 5, 4)"));
    rows.add(uint64("DevGetInfo", 1_000_000_000, () -> gentlJNI.DevGetInfoUint64(h.dev, 9),
        "DevGetInfo(" + dev + ", 9, 8)"));
    rows.add(query("DevOpenDataStream", u64(h.value(4)), () -> gentlJNI.DevOpenDataStream(h.dev,
        "Stream0"), h.ds, "DevOpenDataStream(" + dev + ", \"Stream0\")"));
    rows.add(action("DevClose", () -> gentlJNI.DevClose(h.dev), "DevClose(" + dev + ")"));
    // Data streams and buffers; user values are sign-extended, never exchanged
    rows.add(query("DSAnnounceBuffer", u64(h.value(5)), () -> gentlJNI.DSAnnounceBuffer(h.ds,
        memory, -5), h.buf, "DSAnnounceBuffer(" + ds + ", " + hex(memory)
        + ", 64, 0xfffffffffffffffb)"));
    rows.add(query("DSAllocAndAnnounceBuffer", u64(h.value(5)), () ->
        gentlJNI.DSAllocAndAnnounceBuffer(h.ds, 4096, Integer.MIN_VALUE), h.buf,
        "DSAllocAndAnnounceBuffer(" + ds + ", 4096, 0xffffffff80000000)"));
    rows.add(action("DSFlushQueue", () -> gentlJNI.DSFlushQueue(h.ds, 4),
        "DSFlushQueue(" + ds + ", 4)"));
    rows.add(action("DSStartAcquisition", () -> gentlJNI.DSStartAcquisition(h.ds, 0, -1L),
        "DSStartAcquisition(" + ds + ", 0, 18446744073709551615)"));
    rows.add(action("DSStopAcquisition", () -> gentlJNI.DSStopAcquisition(h.ds, 1),
        "DSStopAcquisition(" + ds + ", 1)"));
    rows.add(query("DSGetInfo", text("Stream0"), () -> gentlJNI.DSGetInfoString(h.ds, 0),
        "Stream0", "DSGetInfo(" + ds + ", 0, 1024)"));
    rows.add(uint64("DSGetInfo", 100, () -> gentlJNI.DSGetInfoUint64(h.ds, 1),
        "DSGetInfo(" + ds + ", 1, 8)"));
    rows.add(size("DSGetInfo", 65536, () -> gentlJNI.DSGetInfoSize(h.ds, 7),
        "DSGetInfo(" + ds + ", 7, 8)"));
    rows.add(query("DSGetInfo", new byte[] {1}, () -> gentlJNI.DSGetInfoBool(h.ds, 8), true,
        "DSGetInfo(" + ds + ", 8, 1)"));
    rows.add(query("DSGetBufferID", u64(h.value(5)), () -> gentlJNI.DSGetBufferID(h.ds, 3), h.buf,
        "DSGetBufferID(" + ds + ", 3)"));
    rows.add(action("DSClose", () -> gentlJNI.DSClose(h.ds), "DSClose(" + ds + ")"));
    rows.add(query("DSGetNumBufferParts", u32(2), () -> gentlJNI.DSGetNumBufferParts(h.ds, h.buf),
        2L, "DSGetNumBufferParts(" + ds + ", " + buf + ")"));
    rows.add(size("DSGetBufferPartInfo", 4096, () -> gentlJNI.DSGetBufferPartInfoSize(h.ds, h.buf,
        1, 1), "DSGetBufferPartInfo(" + ds + ", " + buf + ", 1, 1, 8)"));
    rows.add(uint64("DSGetBufferPartInfo", 0x0108_0001, () -> gentlJNI.DSGetBufferPartInfoUint64(
        h.ds, h.buf, 1, 3), "DSGetBufferPartInfo(" + ds + ", " + buf + ", 1, 3, 8)"));
    byte[] revoked = concat(u64(0x1234), u64(-5));
    rows.add(query("DSRevokeBuffer", revoked, () -> gentlJNI.DSRevokeBuffer(h.ds, h.buf), -5,
        "DSRevokeBuffer(" + ds + ", " + buf + ")"));
    rows.add(query("DSRevokeBuffer", revoked, () -> gentlJNI.DSRevokeProducerAllocatedBuffer(h.ds,
        h.buf), -5, "DSRevokeBuffer(" + ds + ", " + buf + ")"));
    rows.add(action("DSQueueBuffer", () -> gentlJNI.DSQueueBuffer__SWIG_0(h.ds, h.buf, false),
        "DSQueueBuffer(" + ds + ", " + buf + ")"));
    rows.add(action("DSQueueBuffer", () -> gentlJNI.DSQueueBuffer__SWIG_1(h.ds, h.buf),
        "DSGetBufferInfo(" + ds + ", " + buf + ", 0, 8)\n"
            + "DSGetBufferInfo(" + ds + ", " + buf + ", 1, 8)\n"
            + "DSQueueBuffer(" + ds + ", " + buf + ")"));
    rows.add(query("DSGetBufferInfo", new byte[] {1}, () -> gentlJNI.DSGetBufferInfoBool(h.ds,
        h.buf, 7), true, "DSGetBufferInfo(" + ds + ", " + buf + ", 7, 1)"));
    rows.add(query("DSGetBufferInfo", text("f.raw"), () -> gentlJNI.DSGetBufferInfoString(h.ds,
        h.buf, 25), "f.raw", "DSGetBufferInfo(" + ds + ", " + buf + ", 25, 1024)"));
    rows.add(query("DSGetBufferInfo", u32(1), () -> gentlJNI.DSGetBufferInfoInt32(h.ds, h.buf,
        19), 1, "DSGetBufferInfo(" + ds + ", " + buf + ", 19, 4)"));
    rows.add(uint64("DSGetBufferInfo", 42, () -> gentlJNI.DSGetBufferInfoUint64(h.ds, h.buf, 16),
        "DSGetBufferInfo(" + ds + ", " + buf + ", 16, 8)"));
    rows.add(size("DSGetBufferInfo", 4096, () -> gentlJNI.DSGetBufferInfoSize(h.ds, h.buf, 9),
        "DSGetBufferInfo(" + ds + ", " + buf + ", 9, 8)"));
    rows.add(query("DSGetBufferInfo", u64(0x7f00_1234_5678L), () -> gentlJNI.DSGetBufferInfoPtr(
        h.ds, h.buf), 0x1234_5678, "DSGetBufferInfo(" + ds + ", " + buf + ", 0, 8)"));
    return rows;
  }

  private static List<String> ids(long address) {
    try (StringList list = StringList.adopt(address)) {
      return list.toList();
    }
  }

  @BeforeEach
  void load() {
    TestProducerControl.attach(TestProducerControl.TEST_CTI);
    gentlJNI.GCInitLib(TestProducerControl.TEST_CTI);
  }

  @AfterEach
  void unload() {
    gentlJNI.GCCloseLib();
  }

  /** Scripts nothing else, runs the call and returns the argument log it left. */
  private static String run(Row row) {
    TestProducerControl.reset();
    row.script();
    Object result = row.call().get();
    if (MAKERS.contains(row.function()) && isToken(row.result())) {
      // What the producer makes is new, though its handle value is an old one: a fresh token,
      // and the old one names nothing any more.
      assertTrue(isToken(result) && !result.equals(row.result()), row.log());
      assertThrows(InvalidHandleException.class,
          () -> gentlJNI.DevGetNumDataStreams((Integer) row.result()));
    } else {
      assertEquals(row.result(), result, row.log());
    }
    return TestProducerControl.argumentLog();
  }

  private static final java.util.Set<String> MAKERS = java.util.Set.of("TLOpen",
      "TLOpenInterface", "IFOpenDevice", "DevOpenDataStream", "GCRegisterEvent",
      "DSAnnounceBuffer", "DSAllocAndAnnounceBuffer");

  private static boolean isToken(Object value) {
    return value instanceof Integer i && i < Integer.MIN_VALUE + (1 << 24);
  }

  @ParameterizedTest
  @ValueSource(longs = {0, WIDE})
  void everyExportPassesItsArgumentsInOrderAndConvertsTheResult(long base) {
    Handles h = new Handles(base);
    if (base == WIDE) {
      for (int handle : new int[] {h.tl, h.itf, h.dev, h.ds, h.buf, h.port, h.event}) {
        assertTrue(handle < Integer.MIN_VALUE + (1 << 24), "a token: " + handle);
      }
    } else {
      assertEquals(0x500, h.buf); // small handles are their own value
    }
    assertEquals(73, rows(h).size());
    // Fresh handles for each row: a close retires the token of what it closed.
    for (int i = 0; i < 73; i++) {
      Row row = rows(new Handles(base)).get(i);
      assertEquals(row.log() + "\n", run(row));
    }
  }

  @Test
  void queriesThrowTheProducersErrorAndReturnNothing() {
    int n = 0;
    for (Row row : rows(new Handles(WIDE))) {
      if (row.kind() == Kind.ACTION) {
        continue;
      }
      ExceptionTranslationTest.Row expected =
          ExceptionTranslationTest.PRODUCER_CODES.get(n++ % 22);
      TestProducerControl.reset();
      row.script(); // the output is written, and must not be used
      TestProducerControl.setResult(row.function(), expected.code());
      GenTLException e = assertThrows(GenTLException.class, () -> row.call().get(), row.log());
      assertSame(expected.type(), e.getClass(), row.log());
      assertEquals(expected.message() + " (ID: " + expected.code() + ")", e.getMessage());
    }
    assertEquals(61, n);
  }

  @Test
  void actionsReturnTheProducersCodeUnchanged() {
    int n = 0;
    for (Row row : rows(new Handles(WIDE))) {
      if (row.kind() != Kind.ACTION) {
        continue;
      }
      for (int code : new int[] {-1006, -1022, -10042, 1}) {
        TestProducerControl.reset();
        TestProducerControl.setResult(row.function(), code);
        assertEquals(code, row.call().get(), row.log());
      }
      n++;
    }
    assertEquals(12, n);
  }

  @Test
  void unsignedResultsAboveLongMaxAreRefusedWhileSizesPass() {
    int checked = 0;
    for (Row row : rows(new Handles(WIDE))) {
      if (row.kind() != Kind.UINT64 && row.kind() != Kind.SIZE) {
        continue;
      }
      TestProducerControl.reset();
      answer(row.function(), ANY, u64(Long.MAX_VALUE));
      if (row.function().equals("GCWritePort")) {
        // A count for an area of ours can't exceed the area.
        ErrorException e = assertThrows(ErrorException.class, () -> row.call().get());
        assertEquals("GCWritePort reported 9223372036854775807 bytes for a 8-byte buffer"
            + " (ID: -1001)", e.getMessage());
        continue;
      }
      assertEquals(Long.MAX_VALUE, row.call().get(), row.log());
      answer(row.function(), ANY, u64(Long.MIN_VALUE)); // 2^63
      if (row.kind() == Kind.SIZE) {
        assertEquals(Long.MIN_VALUE, row.call().get(), row.log());
        continue;
      }
      RuntimeException e = assertThrows(RuntimeException.class, () -> row.call().get());
      assertSame(RuntimeException.class, e.getClass());
      assertEquals("C++ std::exception: Value 9223372036854775808 exceeds max "
          + "(9223372036854775807)", e.getMessage());
      checked++;
    }
    assertEquals(6, checked);
  }

  @Test
  void partOffsetsAreRelativeToTheBufferBaseModulo64Bits() {
    Handles h = new Handles(WIDE);
    answer("DSGetBufferInfo", 0, u64(0x10000));
    answer("DSGetBufferPartInfo", 0, u64(0x11000));
    assertEquals(4096, gentlJNI.DSGetBufferPartDataOffset(h.ds, h.buf, 1));
    TestProducerControl.reset();
    answer("DSGetBufferInfo", 0, u64(0x10000));
    answer("DSGetBufferPartInfo", 0, u64(0x10000));
    assertEquals(0, gentlJNI.DSGetBufferPartDataOffset(h.ds, h.buf, 0));
    assertEquals("DSGetBufferInfo(" + h.hex(4) + ", " + h.hex(5) + ", 0, 8)\n"
        + "DSGetBufferPartInfo(" + h.hex(4) + ", " + h.hex(5) + ", 0, 0, 8)\n",
        TestProducerControl.argumentLog());
    answer("DSGetBufferInfo", 0, u64(1)); // a part before its buffer: 2^64 - 1
    answer("DSGetBufferPartInfo", 0, u64(0));
    RuntimeException e = assertThrows(RuntimeException.class,
        () -> gentlJNI.DSGetBufferPartDataOffset(h.ds, h.buf, 0));
    assertEquals("C++ std::exception: Value 18446744073709551615 exceeds max "
        + "(9223372036854775807)", e.getMessage());
  }

  @Test
  void queueingZeroesTheBufferUnlessToldNotTo() {
    Handles h = new Handles(WIDE);
    ByteBuffer memory = ByteBuffer.allocateDirect(32);
    for (int i = 0; i < 32; i++) {
      memory.put(i, (byte) 0x5A);
    }
    answer("DSGetBufferInfo", 0, u64(TestProducerControl.addressOf(memory)));
    answer("DSGetBufferInfo", 1, u64(1 << 20)); // the producer's size is not believed
    // Memory this library did not announce is never written.
    assertEquals(0, gentlJNI.DSQueueBuffer__SWIG_1(h.ds, h.buf));
    assertEquals(0x5A, memory.get(0));
    answer("DSAnnounceBuffer", ANY, u64(h.value(9)));
    int announced = gentlJNI.DSAnnounceBuffer(h.ds, memory, 0);
    assertEquals(0, gentlJNI.DSQueueBuffer__SWIG_0(h.ds, announced, false));
    assertEquals(0x5A, memory.get(0));
    assertEquals(0, gentlJNI.DSQueueBuffer__SWIG_1(h.ds, announced));
    for (int i = 0; i < 32; i++) {
      assertEquals(0, memory.get(i), "byte " + i);
    }
  }

  @Test
  void badArgumentsStopBeforeTheProducer() {
    Handles h = new Handles(WIDE);
    int unissued = Integer.MIN_VALUE + (1 << 24) - 1;
    ByteBuffer heap = ByteBuffer.allocate(8);
    List<Supplier<Object>> nullStrings = List.of(
        () -> gentlJNI.TLOpenInterface(h.tl, null),
        () -> gentlJNI.TLGetInterfaceInfoString(h.tl, 0, null),
        () -> gentlJNI.IFOpenDevice(h.itf, null, 4),
        () -> gentlJNI.IFGetDeviceInfoString(h.itf, 0, null),
        () -> gentlJNI.IFGetDeviceInfoInt32(h.itf, 5, null),
        () -> gentlJNI.IFGetDeviceInfoUint32__SWIG_0(h.itf, 5, null),
        () -> gentlJNI.IFGetDeviceInfoUint32__SWIG_1(h.itf, 5, null),
        () -> gentlJNI.IFGetDeviceInfoUint64(h.itf, 9, null),
        () -> gentlJNI.DevOpenDataStream(h.dev, null));
    List<Supplier<Object>> heapBuffers = List.of(
        () -> gentlJNI.GCReadPort(h.port, 0, heap),
        () -> gentlJNI.GCWritePort(h.port, 0, heap),
        () -> gentlJNI.GCGetPortURLInfoBuffer(h.port, 0, 6, heap),
        () -> gentlJNI.DSAnnounceBuffer(h.ds, heap, 1),
        () -> gentlJNI.DSAnnounceBuffer(h.ds, null, 1));
    List<Supplier<Object>> unissuedTokens = List.of(
        () -> gentlJNI.TLClose(unissued),
        () -> gentlJNI.DSGetInfoString(unissued, 0),
        () -> gentlJNI.DSQueueBuffer__SWIG_1(h.ds, unissued),
        () -> gentlJNI.GCRegisterEvent(unissued, 1));
    TestProducerControl.reset();
    for (Supplier<Object> call : nullStrings) {
      assertEquals("null string", assertThrows(NullPointerException.class, call::get).getMessage());
    }
    for (Supplier<Object> call : heapBuffers) {
      assertEquals("ByteBuffer must be direct.",
          assertThrows(RuntimeException.class, call::get).getMessage());
    }
    for (Supplier<Object> call : unissuedTokens) {
      assertEquals("Handle " + unissued + " was never handed out to Java (ID: -1006)",
          assertThrows(InvalidHandleException.class, call::get).getMessage());
    }
    assertEquals("", TestProducerControl.callLog());
  }

  @Test
  void aTimeOutThrowsWithItsMessage() {
    Handles h = new Handles(WIDE);
    TestProducerControl.setAnswer("EventGetData", ANY, -1011, concat(u64(1), u64(2)));
    TimeoutException e = assertThrows(TimeoutException.class,
        () -> gentlJNI.EventNewBufferGetData(h.event, 10));
    assertEquals("Operation timed out before completion (ID: -1011)", e.getMessage());
    long empty = gentlJNI.new_NewBufferEvent();
    assertNotEquals(0, empty);
    assertEquals(0, gentlJNI.NewBufferEvent_BufferHandle_get(empty));
    assertEquals(0, gentlJNI.NewBufferEvent_userData_get(empty));
    gentlJNI.delete_NewBufferEvent(empty);
    gentlJNI.delete_NewBufferEvent(0);
  }
}

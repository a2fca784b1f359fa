package org.grabkit.gentl;

import static org.grabkit.gentl.TestProducerControl.ANY;
import static org.grabkit.gentl.TestProducerControl.answer;
import static org.grabkit.gentl.TestProducerControl.text;
import static org.grabkit.gentl.TestProducerControl.u32;
import static org.grabkit.gentl.TestProducerControl.u64;
import static org.grabkit.gentl.gentlJNI.*;
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

  static byte[] concat(byte[] a, byte[] b) {
    byte[] both = new byte[a.length + b.length];
    System.arraycopy(a, 0, both, 0, a.length);
    System.arraycopy(b, 0, both, a.length, b.length);
    return both;
  }

  /**
   * Builds the rows. A log names handles and direct buffers by their variable ("ds", "eight"),
   * replaced by their values; its last call names the producer function that decides the outcome.
   */
  private static final class Rows {
    final List<Row> rows = new ArrayList<>();
    final java.util.Map<String, String> values = new java.util.HashMap<>();

    Rows(Handles h, java.util.Map<String, ByteBuffer> buffers) {
      String[] names = {"tl", "itf", "dev", "ds", "buf", "port", "event"};
      for (int n = 1; n <= names.length; n++) {
        values.put(names[n - 1], h.hex(n));
      }
      buffers.forEach((name, b) -> values.put(name,
          "0x" + Long.toHexString(TestProducerControl.addressOf(b))));
    }

    void add(Kind kind, String log, byte[] output, Object result, Supplier<Object> call) {
      String full = java.util.regex.Pattern.compile("(?<=[(, ])([a-z]+)(?=[,)])").matcher(log)
          .replaceAll(m -> values.getOrDefault(m.group(1), m.group(1)));
      String last = full.substring(full.lastIndexOf('\n') + 1);
      rows.add(new Row(kind, last.substring(0, last.indexOf('(')), output, call, result, full));
    }

    void q(String log, byte[] output, Object result, Supplier<Object> call) {
      add(Kind.QUERY, log, output, result, call);
    }

    void u64(String log, long value, Supplier<Object> call) {
      add(Kind.UINT64, log, TestProducerControl.u64(value), value, call);
    }

    void size(String log, long value, Supplier<Object> call) {
      add(Kind.SIZE, log, TestProducerControl.u64(value), value, call);
    }

    void act(String log, Supplier<Object> call) {
      add(Kind.ACTION, log, null, 0, call);
    }
  }

  /** Every export of the family with the handles of {@code h}. */
  private static List<Row> rows(Handles h) {
    ByteBuffer eight = ByteBuffer.allocateDirect(8);
    ByteBuffer twenty = ByteBuffer.allocateDirect(20);
    ByteBuffer memory = ByteBuffer.allocateDirect(64);
    Rows r = new Rows(h, java.util.Map.of("eight", eight, "memory", memory));
    byte[] lastError = concat(u32(-1011), text("late"));
    // System, errors, ports, events
    r.q("GCGetInfo(1, 1024)", text("Grabkit"), "Grabkit", () -> GCGetInfoString(1));
    r.q("GCGetInfo(9, 4)", u32(-5), -5, () -> GCGetInfoInt32(9));
    r.q("GCGetInfo(10, 4)", u32(-1), 0xFFFF_FFFFL, () -> GCGetInfoUInt32(10));
    r.q("GCGetLastError(1024)", lastError, -1011, gentlJNI::GCGetLastError);
    r.q("GCGetLastError(1024)", lastError, "late", gentlJNI::GCGetLastErrorMessage);
    r.q("GCReadPort(port, 65536, eight, 8)", new byte[] {1, 2, 3}, 3L,
        () -> GCReadPort(h.port, 0x10000, eight));
    r.u64("GCWritePort(port, 65540, eight, 8)", 8, () -> GCWritePort(h.port, 0x10004, eight));
    r.q("GCGetPortURL(port, 1024)", text("Local:a.xml;10000;10"), "Local:a.xml;10000;10",
        () -> GCGetPortURL(h.port));
    r.q("GCGetNumPortURLs(port)", u32(2), 2L, () -> GCGetNumPortURLs(h.port));
    r.q("GCGetPortURLInfo(port, 1, 6, 20)", new byte[20], 20L,
        () -> GCGetPortURLInfoBuffer(h.port, 1, 6, twenty));
    r.q("GCGetPortURLInfo(port, 1, 10, 1024)", text("a.xml"), "a.xml",
        () -> GCGetPortURLInfoString(h.port, 1, 10));
    r.q("GCGetPortURLInfo(port, 1, 1, 4)", u32(1), 1, () -> GCGetPortURLInfoInt32(h.port, 1, 1));
    r.u64("GCGetPortURLInfo(port, 1, 7, 8)", 0x10000, () -> GCGetPortURLInfoUint64(h.port, 1, 7));
    r.q("GCGetPortInfo(port, 12, 1024)", text("Device"), "Device",
        () -> GCGetPortInfoString(h.port, 12));
    r.q("GCGetPortInfo(port, 5, 1)", new byte[] {1}, true, () -> GCGetPortInfoBool(h.port, 5));
    r.q("GCRegisterEvent(ds, 1)", u64(h.value(7)), h.event, () -> GCRegisterEvent(h.ds, 1));
    r.act("GCUnregisterEvent(ds, 1)", () -> GCUnregisterEvent(h.ds, 1));
    r.q("EventGetData(event, 16, 1000)", concat(u64(h.value(5)), u64(-7)), List.of(h.buf, -7),
        () -> {
          long record = EventNewBufferGetData(h.event, 1000);
          try {
            return List.of(NewBufferEvent_BufferHandle_get(record),
                NewBufferEvent_userData_get(record));
          } finally {
            delete_NewBufferEvent(record);
          }
        });
    r.act("EventKill(event)", () -> EventKill(h.event));
    r.act("EventFlush(event)", () -> EventFlush(h.event));
    // System module and interfaces
    r.q("TLOpen()", u64(h.value(1)), h.tl, gentlJNI::TLOpen);
    r.act("TLClose(tl)", () -> TLClose(h.tl));
    r.q("TLGetNumInterfaces(tl)", u32(2), 2L, () -> TLGetNumInterfaces(h.tl));
    r.q("TLGetInterfaceID(tl, 1, 1024)", text("IF1"), "IF1", () -> TLGetInterfaceID(h.tl, 1));
    r.q("TLGetInterfaceInfo(tl, \"IF1\", 1, 1024)", text("Sim"), "Sim",
        () -> TLGetInterfaceInfoString(h.tl, 1, "IF1"));
    r.q("TLOpenInterface(tl, \"IF1\")", u64(h.value(2)), h.itf, () -> TLOpenInterface(h.tl, "IF1"));
    r.q("TLUpdateInterfaceList(tl, 500)", new byte[] {1}, true,
        () -> TLUpdateInterfaceList(h.tl, 500));
    r.q("TLGetNumInterfaces(tl)", u32(0), List.of(), () -> ids(TLGetInterfaceList(h.tl)));
    r.act("IFClose(itf)", () -> IFClose(h.itf));
    r.q("IFGetInfo(itf, 2, 1024)", text("Sim"), "Sim", () -> IFGetInfoString(h.itf, 2));
    r.q("IFGetNumDevices(itf)", u32(1), 1L, () -> IFGetNumDevices(h.itf));
    r.q("IFGetDeviceID(itf, 0, 1024)", text("Dev0"), "Dev0", () -> IFGetDeviceID(h.itf, 0));
    r.q("IFGetDeviceInfo(itf, \"Dev0\", 4, 1024)", text("Cam"), "Cam",
        () -> IFGetDeviceInfoString(h.itf, 4, "Dev0"));
    r.q("IFGetDeviceInfo(itf, \"Dev0\", 5, 4)", u32(1), 1,
        () -> IFGetDeviceInfoInt32(h.itf, 5, "Dev0"));
    r.q("IFGetDeviceInfo(itf, \"Dev0\", 9, 4)", u32(-1), 0xFFFF_FFFFL,
        () -> IFGetDeviceInfoUint32__SWIG_0(h.itf, 9, "Dev0"));
    r.q("IFGetDeviceInfo(itf, \"Dev0\", 9, 4)", u32(7), 7L,
        () -> IFGetDeviceInfoUint32__SWIG_1(h.itf, 0x1_0000_0009L, "Dev0"));
    r.u64("IFGetDeviceInfo(itf, \"Dev0\", 9, 8)", 125_000_000,
        () -> IFGetDeviceInfoUint64(h.itf, 9, "Dev0"));
    r.q("IFOpenDevice(itf, \"Dev0\", 4)", u64(h.value(3)), h.dev,
        () -> IFOpenDevice(h.itf, "Dev0", 4));
    r.q("IFUpdateDeviceList(itf, 0)", new byte[] {0}, false, () -> IFUpdateDeviceList(h.itf, 0));
    r.q("IFGetNumDevices(itf)", u32(0), List.of(), () -> ids(IFGetDeviceList(h.itf)));
    // Devices
    r.q("DevGetPort(dev)", u64(h.value(6)), h.port, () -> DevGetPort(h.dev));
    r.q("DevGetNumDataStreams(dev)", u32(1), 1L, () -> DevGetNumDataStreams(h.dev));
    r.q("DevGetDataStreamID(dev, 0, 1024)", text("Stream0"), "Stream0",
        () -> DevGetDataStreamID(h.dev, 0));
    r.q("DevGetNumDataStreams(dev)", u32(0), List.of(), () -> ids(DevGetDataStreamList(h.dev)));
    r.q("DevGetInfo(dev, 2, 1024)", text("SimCam"), "SimCam", () -> DevGetInfoString(h.dev, 2));
    r.q("DevGetInfo(dev, 5, 4)", u32(5), 5, () -> DevGetInfoInt32(h.dev, 5));
    r.u64("DevGetInfo(dev, 9, 8)", 1_000_000_000, () -> DevGetInfoUint64(h.dev, 9));
    r.q("DevOpenDataStream(dev, \"Stream0\")", u64(h.value(4)), h.ds,
        () -> DevOpenDataStream(h.dev, "Stream0"));
    r.act("DevClose(dev)", () -> DevClose(h.dev));
    // Data streams and buffers; user values are sign-extended, never exchanged
    r.q("DSAnnounceBuffer(ds, memory, 64, 0xfffffffffffffffb)", u64(h.value(5)), h.buf,
        () -> DSAnnounceBuffer(h.ds, memory, -5));
    r.q("DSAllocAndAnnounceBuffer(ds, 4096, 0xffffffff80000000)", u64(h.value(5)), h.buf,
        () -> DSAllocAndAnnounceBuffer(h.ds, 4096, Integer.MIN_VALUE));
    r.act("DSFlushQueue(ds, 4)", () -> DSFlushQueue(h.ds, 4));
    r.act("DSStartAcquisition(ds, 0, 18446744073709551615)",
        () -> DSStartAcquisition(h.ds, 0, -1L));
    r.act("DSStopAcquisition(ds, 1)", () -> DSStopAcquisition(h.ds, 1));
    r.q("DSGetInfo(ds, 0, 1024)", text("Stream0"), "Stream0", () -> DSGetInfoString(h.ds, 0));
    r.u64("DSGetInfo(ds, 1, 8)", 100, () -> DSGetInfoUint64(h.ds, 1));
    r.size("DSGetInfo(ds, 7, 8)", 65536, () -> DSGetInfoSize(h.ds, 7));
    r.q("DSGetInfo(ds, 8, 1)", new byte[] {1}, true, () -> DSGetInfoBool(h.ds, 8));
    r.q("DSGetBufferID(ds, 3)", u64(h.value(5)), h.buf, () -> DSGetBufferID(h.ds, 3));
    r.act("DSClose(ds)", () -> DSClose(h.ds));
    r.q("DSGetNumBufferParts(ds, buf)", u32(2), 2L, () -> DSGetNumBufferParts(h.ds, h.buf));
    r.size("DSGetBufferPartInfo(ds, buf, 1, 1, 8)", 4096,
        () -> DSGetBufferPartInfoSize(h.ds, h.buf, 1, 1));
    r.u64("DSGetBufferPartInfo(ds, buf, 1, 3, 8)", 0x0108_0001,
        () -> DSGetBufferPartInfoUint64(h.ds, h.buf, 1, 3));
    byte[] revoked = concat(u64(0x1234), u64(-5));
    r.q("DSRevokeBuffer(ds, buf)", revoked, -5, () -> DSRevokeBuffer(h.ds, h.buf));
    r.q("DSRevokeBuffer(ds, buf)", revoked, -5, () -> DSRevokeProducerAllocatedBuffer(h.ds, h.buf));
    r.act("DSQueueBuffer(ds, buf)", () -> DSQueueBuffer__SWIG_0(h.ds, h.buf, false));
    r.act("DSGetBufferInfo(ds, buf, 0, 8)\nDSGetBufferInfo(ds, buf, 1, 8)\nDSQueueBuffer(ds, buf)",
        () -> DSQueueBuffer__SWIG_1(h.ds, h.buf));
    r.q("DSGetBufferInfo(ds, buf, 7, 1)", new byte[] {1}, true,
        () -> DSGetBufferInfoBool(h.ds, h.buf, 7));
    r.q("DSGetBufferInfo(ds, buf, 25, 1024)", text("f.raw"), "f.raw",
        () -> DSGetBufferInfoString(h.ds, h.buf, 25));
    r.q("DSGetBufferInfo(ds, buf, 19, 4)", u32(1), 1, () -> DSGetBufferInfoInt32(h.ds, h.buf, 19));
    r.u64("DSGetBufferInfo(ds, buf, 16, 8)", 42, () -> DSGetBufferInfoUint64(h.ds, h.buf, 16));
    r.size("DSGetBufferInfo(ds, buf, 9, 8)", 4096, () -> DSGetBufferInfoSize(h.ds, h.buf, 9));
    r.q("DSGetBufferInfo(ds, buf, 0, 8)", u64(0x7f00_1234_5678L), 0x1234_5678,
        () -> DSGetBufferInfoPtr(h.ds, h.buf));
    return r.rows;
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

  /** The arithmetic and its log are CallLayerTest's; here the result that exceeds a long. */
  @Test
  void partOffsetsAreRelativeToTheBufferBaseAndRefusedBeyondALong() {
    Handles h = new Handles(WIDE);
    long[][] cases = {{0x10000, 0x11000, 4096}, {0x10000, 0x10000, 0}, {1, 0, -1}};
    for (long[] c : cases) {
      answer("DSGetBufferInfo", 0, u64(c[0]));
      answer("DSGetBufferPartInfo", 0, u64(c[1]));
      if (c[2] >= 0) {
        assertEquals(c[2], gentlJNI.DSGetBufferPartDataOffset(h.ds, h.buf, 1));
        continue;
      }
      RuntimeException e = assertThrows(RuntimeException.class,
          () -> gentlJNI.DSGetBufferPartDataOffset(h.ds, h.buf, 0));
      assertEquals("C++ std::exception: Value 18446744073709551615 exceeds max "
          + "(9223372036854775807)", e.getMessage());
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
  void aTimeOutThrowsWithItsMessageAndEventRecordsStartEmpty() {
    Handles h = new Handles(WIDE);
    TestProducerControl.setAnswer("EventGetData", ANY, -1011, concat(u64(1), u64(2)));
    TimeoutException e = assertThrows(TimeoutException.class,
        () -> gentlJNI.EventNewBufferGetData(h.event, 10));
    assertEquals("Operation timed out before completion (ID: -1011)", e.getMessage());
    long empty = gentlJNI.new_NewBufferEvent();
    assertNotEquals(0, empty);
    assertEquals(List.of(0, 0), List.of(gentlJNI.NewBufferEvent_BufferHandle_get(empty),
        gentlJNI.NewBufferEvent_userData_get(empty)));
    gentlJNI.delete_NewBufferEvent(empty);
    gentlJNI.delete_NewBufferEvent(0);
  }
}

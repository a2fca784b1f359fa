package org.grabkit.gentl;

import static org.grabkit.gentl.TestProducerControl.ANY;
import static org.grabkit.gentl.TestProducerControl.answer;
import static org.grabkit.gentl.TestProducerControl.u32;
import static org.grabkit.gentl.TestProducerControl.u64;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.lang.ref.WeakReference;
import java.nio.ByteBuffer;
import java.nio.ReadOnlyBufferException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.Callable;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.function.Supplier;
import org.grabkit.Producer;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.api.io.TempDir;

/**
 * What neither a Java caller nor a producer may do to the process: unload a producer under running
 * calls, close a proxy under another thread, hand over addresses that name nothing, make the
 * library write where it must not, lie about sizes, counts and texts, revive an orphaned tree or
 * leave a failed load behind. Every case here crashed the JVM or gave a wrong answer once.
 */
class SafetyTest {
  private static final long WIDE = 0x7f00_0000_0000L;
  private static final String TEST_CTI = TestProducerControl.TEST_CTI;
  private final ExecutorService pool = Executors.newCachedThreadPool();

  @AfterEach
  void unload() {
    TestProducerControl.reset(); // lets every held call go on
    pool.shutdownNow();
    while (gentlJNI.GCLibIsInited()) {
      gentlJNI.GCCloseLib();
    }
  }

  private <T> Future<T> inThread(Callable<T> call) {
    return pool.submit(call);
  }

  private static Throwable cause(Future<?> f) {
    return assertThrows(ExecutionException.class, f::get).getCause();
  }

  /** Loads the test producer through the low-level family and opens a system module. */
  private static int lowLevelSystem() {
    TestProducerControl.attach(TEST_CTI);
    assertEquals(0, gentlJNI.GCInitLib(TEST_CTI));
    answer("TLOpen", ANY, u64(WIDE + 0x100));
    answer("TLGetNumInterfaces", ANY, u32(3));
    return gentlJNI.TLOpen();
  }

  /** A call held inside the producer, from another thread. */
  private Future<Long> heldQuery(int tl) {
    TestProducerControl.hold("TLGetNumInterfaces");
    Future<Long> inside = inThread(() -> gentlJNI.TLGetNumInterfaces(tl));
    assertTrue(TestProducerControl.awaitEntered("TLGetNumInterfaces", 1, 30_000));
    return inside;
  }

  @Test
  void unloadingWaitsForCallsInsideRefusesNewOnesAndWakesWaiters() throws Exception {
    int tl = lowLevelSystem();
    Future<Long> inside = heldQuery(tl);
    TestProducerControl.hold("EventGetData"); // waits until killed
    answer("GCRegisterEvent", ANY, u64(WIDE + 0x700));
    int event = gentlJNI.GCRegisterEvent(tl, 1);
    Future<Long> waiter = inThread(() -> gentlJNI.EventNewBufferGetData(event, -1));
    assertTrue(TestProducerControl.awaitEntered("EventGetData", 1, 30_000));

    Future<Integer> closing = inThread(gentlJNI::GCCloseLib);
    while (gentlJNI.GCLibIsInited()) {
      Thread.onSpinWait();
    }
    NotInitializedException refused =
        assertThrows(NotInitializedException.class, () -> gentlJNI.TLGetNumInterfaces(tl));
    assertEquals(
        "No GenTL producer is loaded, cannot call TLGetNumInterfaces (ID: -1002)",
        refused.getMessage());
    assertInstanceOf(AbortException.class, cause(waiter));
    TestProducerControl.release("TLGetNumInterfaces");
    assertEquals(3L, inside.get()); // finished inside a producer that was still mapped
    assertEquals(0, closing.get());
    String log = TestProducerControl.callLog();
    assertTrue(log.endsWith("EventKill\nGCCloseLib\n"), log);
    assertEquals(1, log.lines().filter("TLGetNumInterfaces"::equals).count()); // refused outside
  }

  @Test
  void aCallStuckPastTheBoundKeepsTheProducerMappedUntilItReturns() throws Exception {
    int tl = lowLevelSystem();
    Future<Long> inside = heldQuery(tl);
    String err = StdErr.capture(() -> assertEquals(0, gentlJNI.GCCloseLib()));
    assertEquals(
        "Grabkit: 1 call(s) still inside the GenTL producer " + TEST_CTI
            + " after 5000 ms; the file stays loaded until they return\n",
        err);
    TestProducerControl.release("TLGetNumInterfaces");
    assertEquals(3L, inside.get());
    assertFalse(gentlJNI.GCLibIsInited());
  }

  @Test
  void proxiesClosedUnderOtherThreadsCloseOnceAndRefuseCleanly() throws Exception {
    ObjectModelTest.scriptTree();
    ObjectModelTest.Tree t = new ObjectModelTest.Tree();
    TestProducerControl.reset();
    CountDownLatch go = new CountDownLatch(1);
    List<Future<Object>> users = new ArrayList<>();
    for (int i = 0; i < 6; i++) {
      boolean closer = i < 2;
      users.add(inThread(() -> {
        go.await();
        if (closer) {
          gentlJNI.Device_close(t.dev, null);
          try {
            gentlJNI.delete_Device(t.dev);
            return "deleted";
          } catch (IllegalStateException e) {
            return e.getMessage(); // the holder was gone already
          }
        }
        for (int n = 0; n < 2000; n++) {
          try {
            gentlJNI.Device_getModel(t.dev, null);
          } catch (ClosedException | IllegalStateException e) {
            // refused cleanly
          }
        }
        return "used";
      }));
    }
    go.countDown();
    List<Object> outcomes = new ArrayList<>();
    for (Future<Object> u : users) {
      try {
        outcomes.add(u.get());
      } catch (ExecutionException e) {
        outcomes.add(e.getCause().getClass().getSimpleName());
      }
    }
    assertTrue(outcomes.contains("deleted"), outcomes.toString());
    assertEquals(4, outcomes.stream().filter("used"::equals).count(), outcomes.toString());
    assertEquals(1, calls("DevClose"));
    gentlJNI.delete_GenTLProducer(t.producer);
    gentlJNI.delete_TransportLayer(t.tl);
    gentlJNI.delete_TLInterface(t.itf);
    gentlJNI.delete_DataStream(t.ds);
  }

  @Test
  void valuesThatNameNothingAreRefusedNeverFollowed() {
    ObjectModelTest.scriptTree();
    ObjectModelTest.Tree t = new ObjectModelTest.Tree();
    long list = gentlJNI.new_StringList__SWIG_0();
    gentlJNI.delete_StringList(list);
    long reused = gentlJNI.new_StringList__SWIG_0(); // its slot, a new generation
    assertTrue(reused != list);
    long event = gentlJNI.new_NewBufferEvent();
    gentlJNI.delete_NewBufferEvent(event);
    gentlJNI.delete_Device(0); // deleting nothing is no error
    record Case(Class<?> type, String expected, Executable call) {}
    Class<?> npe = NullPointerException.class;
    Class<?> ise = IllegalStateException.class;
    List<Case> cases = List.of(
        new Case(npe, "Grabkit::Device object is null (freed or never made)",
            () -> gentlJNI.Device_getModel(0, null)),
        new Case(npe, "Grabkit::GenTLProducer parent is null",
            () -> gentlJNI.new_TransportLayer(0, null, 1)),
        new Case(npe, "Grabkit::Buffer & reference is null",
            () -> gentlJNI.DataStream_queueBuffer__SWIG_1(t.ds, null, 0, null)),
        new Case(npe, "Grabkit::Buffer const & reference is null",
            () -> gentlJNI.DataStream_revokeBuffer(t.ds, null, 0, null)),
        new Case(npe, "null", () -> gentlJNI.StringList_size(0, null)),
        new Case(npe, "null", () -> gentlJNI.NewBufferEvent_userData_get(0)),
        new Case(ise, "StringList " + list + " is stale",
            () -> gentlJNI.StringList_size(list, null)),
        new Case(ise, "StringList " + list + " is stale", () -> gentlJNI.delete_StringList(list)),
        new Case(ise, "NewBufferEvent " + event + " is stale",
            () -> gentlJNI.delete_NewBufferEvent(event)),
        new Case(ise, "never issued", () -> gentlJNI.Buffer_getHandle(0x7fff_0000_1234L, null)),
        new Case(ise, "is a Device, not a Buffer", () -> gentlJNI.Buffer_getHandle(t.dev, null)),
        new Case(ise, "is a Device, not a StringList",
            () -> gentlJNI.StringList_size(t.dev, null)));
    for (Case c : cases) {
      Throwable e = assertThrows(RuntimeException.class, c.call());
      assertSame(c.type(), e.getClass(), c.expected());
      assertTrue(e.getMessage().contains(c.expected()), e.getMessage());
    }
    gentlJNI.delete_StringList(reused);
    t.release();
  }

  @Test
  void readOnlyBuffersAreRefusedWhereverTheLibraryOrTheProducerWrites() {
    int tl = lowLevelSystem();
    ByteBuffer readOnly = ByteBuffer.allocateDirect(16).asReadOnlyBuffer();
    List<Executable> writers = List.of(
        () -> gentlJNI.GCReadPort(tl, 0, readOnly),
        () -> gentlJNI.GCGetPortURLInfoBuffer(tl, 0, 6, readOnly),
        () -> gentlJNI.DSAnnounceBuffer(tl, readOnly, 0));
    for (Executable w : writers) {
      assertThrows(ReadOnlyBufferException.class, w);
    }
    assertFalse(TestProducerControl.callLog().contains("GCReadPort"));
    assertEquals(16, gentlJNI.GCWritePort(tl, 0, readOnly)); // reading it is fine
  }

  @Test
  void producerSizesCountsAndRecordsAreCheckedAgainstWhatWasGiven() {
    int tl = lowLevelSystem();
    TestProducerControl.setReportedSize("GCReadPort", ANY, 200_000);
    TestProducerControl.setAnswer("TLGetNumInterfaces", ANY, 0, u32(-1));
    answer("GCRegisterEvent", ANY, u64(WIDE + 0x700));
    int event = gentlJNI.GCRegisterEvent(tl, 1);
    record Case(String message, Supplier<Object> call) {}
    List<Case> cases = List.of(
        new Case("GCReadPort reported 200000 bytes for a 100-byte buffer",
            () -> gentlJNI.GCReadPort(tl, 0, ByteBuffer.allocateDirect(100))),
        new Case("TLGetNumInterfaces reported 4294967295 entries; more than 65536 are refused",
            () -> gentlJNI.TLGetInterfaceList(tl)),
        new Case("EventGetData delivered a new-buffer event without a buffer handle",
            () -> gentlJNI.EventNewBufferGetData(event, 10)));
    for (Case c : cases) {
      ErrorException e = assertThrows(ErrorException.class, () -> c.call().get());
      assertEquals(c.message() + " (ID: -1001)", e.getMessage());
    }
    TestProducerControl.setReportedSize("EventGetData", ANY, 3);
    ErrorException shortRecord =
        assertThrows(ErrorException.class, () -> gentlJNI.EventNewBufferGetData(event, 10));
    assertEquals("EventGetData delivered 3 bytes for a 16-byte new-buffer event (ID: -1001)",
        shortRecord.getMessage());
  }

  @Test
  void producerTextIsUtf8WithReplacementCharacters() {
    lowLevelSystem();
    record Case(byte[] bytes, String text) {}
    byte[] emoji = "a\uD83D\uDE00b".getBytes(StandardCharsets.UTF_8);
    List<Case> cases = List.of(
        new Case(emoji, "a\uD83D\uDE00b"),
        new Case(new byte[] {'x', (byte) 0xFF, 'y'}, "x\uFFFDy"),
        new Case(new byte[] {(byte) 0xC0, (byte) 0x80}, "\uFFFD\uFFFD"), // overlong NUL
        new Case(new byte[] {(byte) 0xED, (byte) 0xA0, (byte) 0x80}, "\uFFFD\uFFFD\uFFFD"),
        new Case(new byte[] {'o', 'k', 0, 'n', 'o'}, "ok"),
        new Case("\uD83D\uDE00".repeat(5).getBytes(StandardCharsets.UTF_8), "\uD83D\uDE00".repeat(5)));
    for (Case c : cases) {
      answer("GCGetInfo", ANY, c.bytes());
      assertEquals(c.text(), gentlJNI.GCGetInfoString(1));
    }
  }

  /** The memory a stream announced: kept reachable, and the measure of what the producer says. */
  @Test
  void announcedMemoryStaysReachableUntilRevokedAndBoundsTheProducersSizes() {
    ObjectModelTest.scriptTree();
    ObjectModelTest.Tree t = new ObjectModelTest.Tree();
    answer("DSAnnounceBuffer", ANY, u64(WIDE + 0x800));
    ByteBuffer memory = ByteBuffer.allocateDirect(1 << 16);
    WeakReference<ByteBuffer> weak = new WeakReference<>(memory);
    long buffer = gentlJNI.DataStream_announceBuffer(t.ds, null, memory, 7);
    memory = null;
    for (int i = 0; i < 5; i++) {
      System.gc();
    }
    assertNotNull(weak.get(), "the stream keeps what the producer may write into");
    answer("DSGetBufferInfo", 9, u64(1L << 40)); // BUFFER_INFO_SIZE_FILLED
    ErrorException e = assertThrows(ErrorException.class,
        () -> gentlJNI.Buffer_getInfoSize(buffer, null, 9));
    assertEquals("DSGetBufferInfo reported 1099511627776 bytes for a 65536-byte buffer"
        + " (ID: -1001)", e.getMessage());
    gentlJNI.DataStream_revokeBuffer(t.ds, null, buffer, null);
    gentlJNI.delete_Buffer(buffer);
    for (int i = 0; i < 50 && weak.get() != null; i++) {
      System.gc();
    }
    assertEquals(null, weak.get(), "revoked memory is the caller's again");

    // The producer closes a stream with its device, and its buffers with it.
    memory = ByteBuffer.allocateDirect(1 << 16);
    weak = new WeakReference<>(memory);
    gentlJNI.delete_Buffer(gentlJNI.DataStream_announceBuffer(t.ds, null, memory, 8));
    memory = null;
    gentlJNI.Device_close(t.dev, null);
    for (int i = 0; i < 50 && weak.get() != null; i++) {
      System.gc();
    }
    assertEquals(null, weak.get(), "memory of a stream closed with its device is the caller's");
    t.release();
  }

  /** The Java API's loads: any path, nothing left after a failure, trees that stay orphaned. */
  @Test
  void javaApiLoadsFailCleanlyAndTheirTreesStayOrphaned(@TempDir Path dir) throws Exception {
    Path garbage = Files.write(dir.resolve("a.cti"), new byte[] {1, 2, 3});
    LoadLibraryException e =
        assertThrows(LoadLibraryException.class, () -> GenTLProducer.open(garbage));
    assertEquals("Failed to load CTI file " + garbage + ": file too short (ID: -10001)",
        e.getMessage());
    Path notAProducer = Path.of(TestProducerControl.BUILD
        .resolve("producers/test/libgrabkit-testctl.so").toString());
    e = assertThrows(LoadLibraryException.class, () -> GenTLProducer.open(notAProducer));
    assertTrue(e.getMessage().endsWith("it has no GCInitLib, so it is no GenTL producer (ID: -10001)"),
        e.getMessage());
    StdErr.capture(() -> assertThrows(NotImplementedException.class,
        () -> GenTLProducer.load(notAProducer.toString())));
    assertFalse(gentlJNI.GCLibIsInited(), "a load that threw leaves nothing loaded");
    TestProducerControl.attach(TEST_CTI);
    TestProducerControl.setResult("GCInitLib", -1004);
    e = assertThrows(LoadLibraryException.class, () -> GenTLProducer.open(Path.of(TEST_CTI)));
    assertTrue(e.getMessage().contains("failed to initialise with code -1004"), e.getMessage());
    assertFalse(gentlJNI.GCLibIsInited());

    // A path with any character, relative to the working directory.
    Path odd = Files.createDirectory(dir.resolve("caméra \uD83D\uDCF7"));
    Path copy = Files.copy(Path.of(TEST_CTI), odd.resolve("p.cti"));
    TestProducerControl.reset();
    ObjectModelTest.scriptTree();
    Path relative = Path.of("").toAbsolutePath().relativize(copy);
    try (GenTLProducer old = GenTLProducer.open(relative);
        TransportLayer tl = old.openTransportLayer()) {
      assertFalse(gentlJNI.GCLibIsInited(), "a load of its own, not the low-level family's");
      // Closed, and the low-level family loads another: the old tree stays closed.
      old.close();
      assertEquals(0, gentlJNI.GCInitLib(TEST_CTI));
      assertTrue(tl.isClosed());
      assertTrue(old.isClosed());
      TestProducerControl.reset();
      tl.close();
      old.close();
      assertEquals("", TestProducerControl.callLog());
      assertTrue(gentlJNI.GCLibIsInited(), "closing the old tree left the new producer alone");
    }
  }

  private static long calls(String function) {
    return TestProducerControl.callLog().lines().filter(function::equals).count();
  }

  @Test
  void severalProducersLoadAtOnceAndTheSameFileLoadsOnce() {
    ObjectModelTest.scriptTree();
    Path sim = NativeLibrary.extract("grabkit-sim.cti");
    try (GenTLProducer test = GenTLProducer.open(Path.of(TEST_CTI));
        GenTLProducer again = GenTLProducer.open(Path.of(TEST_CTI));
        GenTLProducer camera = GenTLProducer.open(sim);
        TransportLayer simTl = camera.openTransportLayer()) {
      assertEquals(1, calls("GCInitLib"), "one load of the file, counted");
      test.close();
      assertFalse(again.isClosed());
      assertEquals(0, calls("GCCloseLib"));
      again.close();
      assertEquals(1, calls("GCCloseLib"));
      assertFalse(camera.isClosed(), "closing one producer leaves the others working");
      List<InterfaceInfo> interfaces = simTl.getInterfaces();
      assertEquals("SimInterface0", interfaces.get(0).getID());
      interfaces.forEach(InterfaceInfo::close);
    }
  }

  @Test
  void aProducerWithoutGCCloseLibStillUnloads() {
    TestProducerControl.attach(TestProducerControl.NOCLOSE_CTI);
    String err = StdErr.capture(() -> gentlJNI.GCInitLib(TestProducerControl.NOCLOSE_CTI));
    assertEquals("GenTL producer does not implement GCCloseLib\n", err);
    assertEquals(-1003, gentlJNI.GCCloseLib());
    assertFalse(gentlJNI.GCLibIsInited());
    try (GenTLProducer next = GenTLProducer.open(Path.of(TEST_CTI))) {
      assertFalse(next.isClosed());
    }
  }

  @Test
  void producerSpecificCodesAreErrorsInTheJavaApi() {
    ObjectModelTest.scriptTree();
    try (Producer producer = Producer.open(Path.of(TEST_CTI))) {
      TestProducerControl.setResult("TLGetNumInterfaces", -10005);
      answer("GCGetLastError", ANY, concat(u32(-10005), "cable unplugged\0".getBytes()));
      ErrorException e = assertThrows(ErrorException.class, producer::interfaces);
      assertEquals(
          "TLGetNumInterfaces/TLGetInterfaceID: cable unplugged (ID: -10005)", e.getMessage());
    }
  }

  private static byte[] concat(byte[] a, byte[] b) {
    return LowLevelTest.concat(a, b);
  }

  /** Programs that end with a stream acquiring, through each API, and close nothing. */
  public static final class LeftOpen {
    public static void main(String[] args) throws Exception {
      String sim = org.grabkit.Producers.simulated().toString();
      if (args[0].equals("objects")) {
        GenTLProducer producer = GenTLProducer.load(sim);
        TransportLayer tl = producer.openTransportLayer();
        Device device =
            tl.getInterfaces().get(0).open().getDevices().get(0).open(
                gentlJNI.DEVICE_ACCESS_CONTROL_get());
        DataStream ds = device.openDataStream(device.getDataStreamIDs().get(0));
        for (int i = 0; i < 4; i++) {
          ds.queueBuffer(ds.announceBuffer(ByteBuffer.allocateDirect((int) ds.getPayloadSize()), i));
        }
        int event = ds.registerEvent(gentlJNI.EVENT_NEW_BUFFER_get());
        ds.startAcquisition(gentlJNI.ACQ_START_FLAGS_DEFAULT_get(), -1);
        ds.waitNewBuffer(event, 5000);
      } else {
        org.grabkit.Acquisition acquisition =
            Producer.open(Path.of(sim)).openCamera("SimCam0").openStream().start(4);
        acquisition.next(java.time.Duration.ofSeconds(5));
      }
      System.out.println("left open");
    }
  }

  @org.junit.jupiter.params.ParameterizedTest
  @org.junit.jupiter.params.provider.ValueSource(strings = {"objects", "grabkit"})
  void aProgramThatEndsWithEverythingOpenExitsCleanly(String api) throws Exception {
    Process child = new ProcessBuilder(ChildJvm.command(List.of(), LeftOpen.class.getName(), api))
        .redirectErrorStream(true).start();
    String out = new String(child.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
    assertTrue(child.waitFor(30, java.util.concurrent.TimeUnit.SECONDS));
    assertEquals(0, child.exitValue(), out);
    assertTrue(out.contains("left open") && !out.contains("fatal error"), out);
  }
}

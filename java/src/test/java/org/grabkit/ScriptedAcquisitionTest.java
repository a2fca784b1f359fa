package org.grabkit;

import static org.grabkit.gentl.TestProducerControl.ANY;
import static org.grabkit.gentl.TestProducerControl.answer;
import static org.grabkit.gentl.TestProducerControl.text;
import static org.grabkit.gentl.TestProducerControl.u32;
import static org.grabkit.gentl.TestProducerControl.u64;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.HashMap;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import java.util.stream.Stream;
import org.grabkit.features.FeatureException;
import org.grabkit.features.NodeMap;
import org.grabkit.gentl.IoException;
import org.grabkit.gentl.TestProducerControl;
import org.grabkit.gentl.gentlJNI;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * Acquisitions against the scriptable producer, which delivers whatever buffer and sizes a test
 * tells it: a misbehaving producer must get a clear exception, never cost a buffer, and leave the
 * acquisition usable. The producer hands every announced buffer the same handle, so which buffer
 * a frame lends is told by the address of its memory.
 */
class ScriptedAcquisitionTest {
  private static final int CAPACITY = 65536;
  private static final long BUFFER = 0x600;
  private static final long FOREIGN = 0x9999;
  private static final long BASE = 0x7f00_0010_0000L;
  private static final Duration WAIT = Duration.ofMillis(100);
  private static final Pattern ANNOUNCE =
      Pattern.compile("DSAnnounceBuffer\\(0x400, (0x[0-9a-f]+), \\d+, (0x[0-9a-f]+)\\)");

  private Producer producer;
  private Camera camera;
  private Acquisition acq;
  /** The announced memory's address by user value. */
  private final Map<Long, Integer> bufferAt = new HashMap<>();

  @BeforeEach
  void start() {
    TestProducerControl.attach(TestProducerControl.TEST_CTI);
    script();
    producer = Producer.open(Path.of(TestProducerControl.TEST_CTI));
    camera = producer.openCamera("Dev0");
    acq = camera.openStream("Stream0").start(2);
    Matcher m = ANNOUNCE.matcher(TestProducerControl.argumentLog());
    while (m.find()) {
      bufferAt.put(Long.decode(m.group(1)), Integer.decode(m.group(2)));
    }
    assertEquals(2, bufferAt.size());
  }

  @AfterEach
  void close() {
    producer.close();
  }

  /** A tree of one device and stream, and plain 1000-byte Mono8 frames of 40 x 25 pixels. */
  private static void script() {
    Sim.scriptTree("Dev0");
    answer("DevOpenDataStream", ANY, u64(0x400));
    answer("DSGetInfo", gentlJNI.STREAM_INFO_PAYLOAD_SIZE_get(), u64(CAPACITY));
    answer("DSAnnounceBuffer", ANY, u64(BUFFER));
    answer("GCRegisterEvent", ANY, u64(0x700));
    for (String info : new String[] {"DSGetBufferInfo", "DSGetBufferPartInfo"}) {
      TestProducerControl.setAnswer(info, ANY, gentlJNI.GC_ERR_NOT_AVAILABLE_get(), null);
    }
    bufferInfo(gentlJNI.BUFFER_INFO_SIZE_FILLED_get(), 1000);
    bufferInfo(gentlJNI.BUFFER_INFO_WIDTH_get(), 40);
    bufferInfo(gentlJNI.BUFFER_INFO_HEIGHT_get(), 25);
    bufferInfo(gentlJNI.BUFFER_INFO_PIXELFORMAT_get(), PixelFormat.MONO8.code());
    bufferInfo(gentlJNI.BUFFER_INFO_BASE_get(), BASE);
  }

  private static void bufferInfo(int cmd, long value) {
    answer("DSGetBufferInfo", cmd, u64(value));
  }

  private static void partInfo(int cmd, long value) {
    answer("DSGetBufferPartInfo", cmd, u64(value));
  }

  /** The next new-buffer event carries this user value and buffer handle. */
  private static void deliver(long user, long handle) {
    answer("EventGetData", ANY, ByteBuffer.allocate(16).put(u64(handle)).put(u64(user)).array());
  }

  /** The user value of the buffer whose memory the frame lends. */
  private int bufferOf(Frame frame) {
    ByteBuffer data = frame.data();
    return bufferAt.get(TestProducerControl.addressOf(data));
  }

  private static long queued() {
    return TestProducerControl.callLog().lines().filter("DSQueueBuffer"::equals).count();
  }

  /** After a misdelivery, a proper delivery of each buffer still lends it and queues it back. */
  private void assertStillUsable() {
    for (int user = 0; user < 2; user++) {
      script();
      deliver(user, BUFFER);
      try (Frame frame = acq.next(WAIT)) {
        assertEquals(user, bufferOf(frame));
        assertEquals(1000, frame.data().remaining());
        assertEquals(new Frame.Part(0, 0, 1000, 40, 25, PixelFormat.MONO8, 0), frame.image().get());
      }
      assertEquals(1, queued());
    }
  }

  static Stream<Arguments> deliveries() {
    String foreign = "The producer delivered a buffer that this acquisition did not announce";
    return Stream.of(
        Arguments.of("as announced", 1L, BUFFER, 1, null),
        Arguments.of("user value out of range", 77L, BUFFER, 0, null),
        Arguments.of("negative user value", -1L, BUFFER, 0, null),
        Arguments.of("user value above 32 bits", 0x1_0000_0001L, BUFFER, 1, null),
        Arguments.of("own user value, foreign handle", 0L, FOREIGN, -1,
            foreign + " (user value 0, handle 0x9999)"),
        Arguments.of("nothing of ours", 77L, FOREIGN, -1,
            foreign + " (user value 77, handle 0x9999)"));
  }

  @ParameterizedTest(name = "{0}")
  @MethodSource("deliveries")
  void aDeliveredBufferIsKnownByItsHandleAndAlwaysComesBack(
      String name, long user, long handle, int expected, String error) {
    script();
    deliver(user, handle);
    if (error == null) {
      try (Frame frame = acq.next(WAIT)) {
        assertEquals(expected, bufferOf(frame));
        assertEquals(0, queued());
      }
      assertEquals(1, queued());
    } else {
      assertEquals(error, assertThrows(IllegalStateException.class, () -> acq.next(WAIT)).getMessage());
      assertEquals(0, queued(), "a buffer that is not ours is not queued");
    }
    assertStillUsable();
    assertEquals(2, acq.framesDelivered() - (error == null ? 1 : 0));
  }

  @Test
  void aBufferDeliveredAgainWhileItsFrameIsOpenIsRefusedAndStaysWithTheFrame() {
    script();
    deliver(0, BUFFER);
    Frame first = acq.next(WAIT);
    deliver(77, BUFFER); // only the handle tells: the free buffer is meant
    Frame second = acq.next(WAIT);
    assertEquals(1, bufferOf(second));
    first.close();
    script();
    deliver(1, BUFFER);
    assertEquals(
        "The producer delivered buffer 1 again while an open frame still holds it (handle 0x600)",
        assertThrows(IllegalStateException.class, () -> acq.next(WAIT)).getMessage());
    assertEquals(0, queued(), "the camera must not write into a frame the program reads");
    assertEquals(1, bufferOf(second));
    second.close();
    assertEquals(1, queued());
    assertStillUsable();
  }

  private static Arguments fault(String name, Runnable fault, String message) {
    return Arguments.of(name, fault, message);
  }

  static Stream<Arguments> sizes() {
    int filled = gentlJNI.BUFFER_INFO_SIZE_FILLED_get();
    int multiPart = gentlJNI.PAYLOAD_TYPE_MULTI_PART_get();
    String beyond = " bytes, beyond a 65536-byte buffer";
    // The library refuses sizes beyond what it announced before this layer sees them.
    String announced = " bytes for a 65536-byte buffer (ID: -1001)";
    return Stream.of(
        fault("1 TiB filled", () -> bufferInfo(filled, 1L << 40),
            "DSGetBufferInfo reported 1099511627776" + announced),
        fault("2^64 - 1 filled", () -> bufferInfo(filled, -1),
            "DSGetBufferInfo reported 18446744073709551615" + announced),
        fault("one byte more than the buffer", () -> bufferInfo(filled, 65537),
            "DSGetBufferInfo reported 65537" + announced),
        fault("image after the filled bytes",
            () -> bufferInfo(gentlJNI.BUFFER_INFO_IMAGEOFFSET_get(), 1001),
            "The producer reported an image offset of 1001 beyond the 1000 filled bytes of a "
                + "65536-byte buffer"),
        fault("width of 2^32", () -> bufferInfo(gentlJNI.BUFFER_INFO_WIDTH_get(), 1L << 32),
            "The producer reported a width of 4294967296 for part 0"),
        fault("part larger than the buffer", () -> parts(multiPart, 1, 0, 65537),
            "DSGetBufferPartInfo reported 65537" + announced),
        fault("part starting after the buffer", () -> parts(multiPart, 2, 70000, 16),
            "The producer reported part 0 at offset 70000 with 16" + beyond),
        fault("part end wrapping past 2^64", () -> parts(multiPart, 1, 100, -50),
            "DSGetBufferPartInfo reported 18446744073709551566" + announced),
        fault("more parts than bytes", () -> parts(multiPart, 70000, 0, 1),
            "The producer reported 70000 parts for a 65536-byte buffer"),
        // A failing query, not a size: its I/O error goes up as it is.
        fault("failing query", () -> TestProducerControl.setAnswer("DSGetBufferInfo",
            gentlJNI.BUFFER_INFO_PAYLOADTYPE_get(), gentlJNI.GC_ERR_IO_get(), null), null));
  }

  /** The chunk list: (ID, offset, length) triples. */
  private static void chunks(long... triples) {
    ByteBuffer list = ByteBuffer.allocate(8 * triples.length).order(java.nio.ByteOrder.nativeOrder());
    for (long v : triples) {
      list.putLong(v);
    }
    answer("DSGetBufferChunkData", ANY, list.array());
  }

  @Test
  void chunksAreListedAndSliced() {
    script();
    chunks(0x11, 1000, 8, 0x12, 1008, 4);
    deliver(0, BUFFER);
    try (Frame frame = acq.next(WAIT)) {
      assertEquals(
          java.util.List.of(new org.grabkit.gentl.Buffer.Chunk(0x11, 1000, 8),
              new org.grabkit.gentl.Buffer.Chunk(0x12, 1008, 4)),
          frame.chunks());
      ByteBuffer second = frame.data(frame.chunks().get(1));
      assertEquals(4, second.remaining());
      assertEquals(TestProducerControl.addressOf(frame.data()) + 1008,
          TestProducerControl.addressOf(second));
    }
    // Chunks are read when asked for, so a list past the buffer fails there, not in next().
    chunks(7, 65000, 1000);
    deliver(1, BUFFER);
    try (Frame frame = acq.next(WAIT)) {
      assertEquals("DSGetBufferChunkData reported 66000 bytes for a 65536-byte buffer (ID: -1001)",
          assertThrows(RuntimeException.class, frame::chunks).getMessage());
    }
  }

  @Test
  void chunkFeaturesReadTheFrameAttachedAndNothingOnceItIsClosed(@TempDir Path dir)
      throws IOException {
    Path xml = dir.resolve("chunks.xml");
    Files.writeString(xml, """
        <RegisterDescription xmlns="http://www.genicam.org/GenApi/Version_1_1">
          <Port Name="Device"/>
          <Port Name="ChunkPort"><ChunkID>0x11</ChunkID></Port>
          <Port Name="OtherChunkPort"><ChunkID>0x13</ChunkID></Port>
          <IntReg Name="ChunkWord"><Address>4</Address><Length>4</Length><AccessMode>RW</AccessMode>
            <pPort>ChunkPort</pPort></IntReg>
          <IntReg Name="ChunkOther"><Address>0</Address><Length>4</Length><AccessMode>RO</AccessMode>
            <pPort>OtherChunkPort</pPort></IntReg>
        </RegisterDescription>
        """);
    script();
    answer("GCGetNumPortURLs", ANY, u32(1));
    answer("GCGetPortURLInfo", gentlJNI.URL_INFO_URL_get(), text(xml.toUri().toString()));
    chunks(0x11, 992, 8, 0x12, 1000, 4);
    deliver(0, BUFFER);
    Frame frame = acq.next(WAIT);
    NodeMap features = camera.attachChunks(frame);
    assertEquals(frame.data().getInt(996), features.getInteger("ChunkWord"));
    assertEquals("ChunkOther is not readable: through OtherChunkPort, the attached buffer has no "
        + "chunk 0x13", assertThrows(FeatureException.class, () -> features.getInteger("ChunkOther"))
        .getMessage());
    assertEquals("ChunkWord is not writable: through ChunkPort, chunk 0x11 is read-only",
        assertThrows(FeatureException.class, () -> features.setInteger("ChunkWord", 1))
            .getMessage());
    frame.close();
    FeatureException closed =
        assertThrows(FeatureException.class, () -> features.getInteger("ChunkWord"));
    assertEquals(FeatureException.Kind.NOT_AVAILABLE, closed.kind());
    assertEquals("ChunkWord is not readable: through ChunkPort, chunk 0x11 is out of reach: Frame "
        + "of camera Dev0 is closed: its buffer went back to the camera", closed.getMessage());
  }

  /** A multi-part buffer: every part at {@code offset} with {@code size} bytes. */
  private static void parts(int multiPart, int count, long offset, long size) {
    bufferInfo(gentlJNI.BUFFER_INFO_PAYLOADTYPE_get(), multiPart);
    answer("DSGetNumBufferParts", ANY, u32(count));
    partInfo(gentlJNI.BUFFER_PART_INFO_BASE_get(), BASE + offset);
    partInfo(gentlJNI.BUFFER_PART_INFO_DATA_SIZE_get(), size);
  }

  @ParameterizedTest(name = "{0}")
  @MethodSource("sizes")
  void faultsWhileMakingTheFrameAreRefusedAndTheBufferQueuedAgain(
      String name, Runnable fault, String message) {
    script();
    fault.run();
    deliver(1, BUFFER);
    RuntimeException e = assertThrows(RuntimeException.class, () -> acq.next(WAIT));
    if (message == null) {
      assertInstanceOf(IoException.class, e);
    } else {
      assertEquals(message, e.getMessage());
    }
    assertEquals("DSQueueBuffer(0x400, 0x600)\n", queueCalls());
    assertEquals(0, acq.framesDelivered());
    assertStillUsable();
  }

  private static String queueCalls() {
    return TestProducerControl.argumentLog().lines().filter(l -> l.startsWith("DSQueueBuffer("))
        .map(l -> l + "\n").collect(Collectors.joining());
  }

  @Test
  void aProducerThatRefusesTheRequeueIsReportedBesideTheFault() {
    script();
    bufferInfo(gentlJNI.BUFFER_INFO_SIZE_FILLED_get(), 1L << 40);
    TestProducerControl.setResult("DSQueueBuffer", gentlJNI.GC_ERR_BUSY_get());
    deliver(0, BUFFER);
    RuntimeException e = assertThrows(RuntimeException.class, () -> acq.next(WAIT));
    assertEquals(1, e.getSuppressed().length, e.toString());
    assertEquals(
        "The producer refused to queue buffer (ID: " + gentlJNI.GC_ERR_BUSY_get() + ")",
        e.getSuppressed()[0].getMessage());
    assertStillUsable();
  }

  /** Frame IDs in delivery order, and the IDs missing between them. */
  @ParameterizedTest(name = "{0} -> {1}")
  @CsvSource({"5 6 7, 0", "5 9, 3", "5 9 10 12, 4", "9 5 6, 0", "-2 -1 0 1, 0"})
  void frameIdGapsCountTheMissingIds(String ids, long gaps) {
    for (String id : ids.split(" ")) {
      bufferInfo(gentlJNI.BUFFER_INFO_FRAMEID_get(), Long.parseLong(id));
      deliver(0, BUFFER);
      acq.next(WAIT).close();
    }
    assertEquals(gaps, acq.statistics().frameIdGaps());
  }

  /**
   * A stream that fails (the wait, or taking a buffer back) ends the listener's grab: reported as
   * ending it, with the acquisition closed.
   */
  @ParameterizedTest
  @CsvSource({"EventGetData, IoException", "DSQueueBuffer, ErrorException"})
  void aFailingStreamEndsTheListenersGrab(String failing, String reportedClass)
      throws InterruptedException {
    acq.close();
    script();
    deliver(0, BUFFER);
    java.util.concurrent.CountDownLatch failed = new java.util.concurrent.CountDownLatch(1);
    if (failing.equals("EventGetData")) {
      TestProducerControl.setResult(failing, gentlJNI.GC_ERR_IO_get());
    }
    java.util.List<String> reported = new java.util.concurrent.CopyOnWriteArrayList<>();
    Acquisition grab =
        camera
            .openStream("Stream0")
            .start(2, frame -> failed.await(), (a, e, ended) -> reported.add(
                e.getClass().getSimpleName() + " " + ended + " " + a.isClosed()));
    if (failing.equals("DSQueueBuffer")) {
      TestProducerControl.setResult(failing, gentlJNI.GC_ERR_BUSY_get());
    }
    failed.countDown();
    assertTrue(grab.awaitClosed(Duration.ofSeconds(10)));
    assertEquals(java.util.List.of(reportedClass + " true true"), reported);
  }
}

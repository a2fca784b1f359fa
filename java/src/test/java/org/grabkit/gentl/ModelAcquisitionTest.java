package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.MessageDigest;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * Acquisition and register access through the object model against the simulated camera, whose
 * handles are heap pointers wider than 32 bits.
 */
class ModelAcquisitionTest {
  private static final String SIM = TestProducerControl.producer("sim/grabkit-sim.cti");
  private static final Path SIM_XML = TestProducerControl.BUILD.resolve("producers/sim/xml");
  private static final long WIDTH = 0x100;
  private static final long HEIGHT = 0x104;
  private static final long FRAME_RATE = 0x110;
  private static final long MONO8 = 0x0108_0001L;
  private static final long MONO16 = 0x0110_0007L;
  private static final long TIMEOUT_MS = 5000;

  private GenTLProducer producer;
  private TransportLayer tl;
  private TLInterface itf;
  private final Map<String, DeviceInfo> devices = new HashMap<>();

  @BeforeEach
  void open() {
    producer = GenTLProducer.load(SIM);
    tl = producer.openTransportLayer();
    List<InterfaceInfo> interfaces = tl.getInterfaces();
    assertEquals("SimInterface0", interfaces.get(0).getID());
    itf = interfaces.get(0).open();
    interfaces.forEach(InterfaceInfo::close);
    for (DeviceInfo d : itf.getDevices()) {
      devices.put(d.getID(), d);
    }
  }

  @AfterEach
  void close() {
    devices.values().forEach(DeviceInfo::close);
    itf.close();
    tl.close();
    producer.close();
    assertFalse(gentlJNI.GCLibIsInited());
  }

  private static ByteBuffer direct(int size) {
    return ByteBuffer.allocateDirect(size).order(ByteOrder.LITTLE_ENDIAN);
  }

  private static int readU32(Port port, long address) {
    ByteBuffer b = direct(4);
    assertEquals(4, port.read(address, b));
    return b.getInt(0);
  }

  private static void writeU32(Port port, long address, int value) {
    assertEquals(4, port.write(address, direct(4).putInt(0, value)));
  }

  /** Announces and queues {@code count} buffers of the stream's payload size. */
  private static Map<Integer, Buffer> announce(DataStream ds, int count, List<ByteBuffer> memory) {
    Map<Integer, Buffer> byUser = new HashMap<>();
    for (int i = 0; i < count; i++) {
      ByteBuffer m = direct((int) ds.getPayloadSize());
      memory.add(m);
      Buffer b = ds.announceBuffer(m, 100 + i);
      byUser.put(100 + i, b);
      assertEquals(0, ds.queueBuffer(b));
    }
    return byUser;
  }

  /** Waits for the next filled buffer of the event. */
  private static Buffer next(int event, Map<Integer, Buffer> byUser) {
    long record = gentlJNI.EventNewBufferGetData(event, TIMEOUT_MS);
    try {
      return byUser.get(gentlJNI.NewBufferEvent_userData_get(record));
    } finally {
      gentlJNI.delete_NewBufferEvent(record);
    }
  }

  /** What each frame of {@link #acquire} is checked for. */
  private interface FrameCheck {
    void check(Buffer b, ByteBuffer memory, int width, int height, int n);
  }

  /**
   * Opens the camera, checks its information while open and after, and acquires {@code frames}
   * frames at full rate into four buffers, checking each, then tears the stream down.
   */
  private void acquire(String camera, int bytesPerPixel, int frames, FrameCheck check) {
    DeviceInfo info = devices.get(camera);
    assertEquals("Grabkit", info.getVendor());
    assertEquals(gentlJNI.DEVICE_ACCESS_STATUS_READWRITE_get(), info.getAccessStatus());
    try (Device dev = info.open(gentlJNI.DEVICE_ACCESS_CONTROL_get());
        Port regs = dev.getPort();
        DataStream ds = dev.openDataStream("Stream0")) {
      assertEquals(camera, dev.getID());
      assertEquals(info.getSerialNumber(), dev.getSerialNumber());
      assertEquals(gentlJNI.DEVICE_ACCESS_STATUS_OPEN_READWRITE_get(), dev.getAccessStatus());
      assertEquals(List.of("Stream0"), dev.getDataStreamIDs());
      writeU32(regs, FRAME_RATE, 0); // as fast as buffers come back
      int width = readU32(regs, WIDTH);
      int height = readU32(regs, HEIGHT);
      assertEquals((long) bytesPerPixel * width * height, ds.getPayloadSize());
      List<ByteBuffer> memory = new ArrayList<>();
      Map<Integer, Buffer> byUser = announce(ds, 4, memory);
      assertEquals(4, ds.getNumAnnounced());
      int event = gentlJNI.GCRegisterEvent(ds.getHandle(), gentlJNI.EVENT_NEW_BUFFER_get());
      assertEquals(0, ds.startAcquisition(gentlJNI.ACQ_START_FLAGS_DEFAULT_get(), -1));
      assertTrue(ds.isGrabbing());
      for (int n = 0; n < frames; n++) {
        Buffer b = next(event, byUser);
        check.check(b, memory.get(b.getUserData() - 100), width, height, n);
        assertEquals(0, ds.queueBuffer(b, n % 2 == 0));
      }
      assertTrue(ds.getNumDelivered() >= frames);
      assertEquals(0, ds.stopAcquisition(gentlJNI.ACQ_STOP_FLAGS_DEFAULT_get()));
      assertEquals(0, ds.flushQueue(gentlJNI.ACQ_QUEUE_ALL_DISCARD_get()));
      for (Map.Entry<Integer, Buffer> e : byUser.entrySet()) {
        assertEquals((int) e.getKey(), ds.revokeBuffer(e.getValue()));
        e.getValue().close();
      }
      assertEquals(0, gentlJNI.GCUnregisterEvent(ds.getHandle(), gentlJNI.EVENT_NEW_BUFFER_get()));
      assertEquals(0, ds.getNumAnnounced());
    }
    assertEquals(gentlJNI.DEVICE_ACCESS_STATUS_READWRITE_get(), info.getAccessStatus());
  }

  @Test
  void aWholeAcquisitionWithEveryBufferGetter() {
    assertEquals(2, devices.size());
    assertEquals("SimCam", devices.get("SimCam0").getModel());
    long[] lastFrame = {0};
    acquire(
        "SimCam0",
        1,
        50,
        (b, pixels, width, height, n) -> {
          long frame = b.getInfoUint64(gentlJNI.BUFFER_INFO_FRAMEID_get());
          assertTrue(frame > lastFrame[0]);
          lastFrame[0] = frame;
          assertEquals(width, b.getInfoSize(gentlJNI.BUFFER_INFO_WIDTH_get()));
          assertEquals(height, b.getInfoSize(gentlJNI.BUFFER_INFO_HEIGHT_get()));
          assertEquals(MONO8, b.getInfoUint64(gentlJNI.BUFFER_INFO_PIXELFORMAT_get()));
          assertEquals(
              (long) width * height, b.getInfoSize(gentlJNI.BUFFER_INFO_SIZE_FILLED_get()));
          assertFalse(b.getInfoBool(gentlJNI.BUFFER_INFO_IS_INCOMPLETE_get()));
          // The payload type is a size; getPayloadType() reads 4 bytes, which a strict producer
          // such as this one refuses clearly.
          assertEquals(
              gentlJNI.PAYLOAD_TYPE_IMAGE_get(),
              b.getInfoSize(gentlJNI.BUFFER_INFO_PAYLOADTYPE_get()));
          assertThrows(BufferTooSmallException.class, b::getPayloadType);
          assertEquals(1, b.getNumBufferParts());
          assertEquals(0, b.getPartDataOffset(0));
          assertEquals(width, b.getPartWidth(0));
          assertEquals(MONO8, b.getPartDataFormat(0));
          for (int y = 0; y < height; y += 37) {
            for (int x = 0; x < width; x += 13) {
              assertEquals((x + y + frame) & 0xFF, pixels.get(y * width + x) & 0xFF);
            }
          }
        });
  }

  @Test
  void multiPartBuffersGiveEachPartItsOffsetAndFormat() {
    acquire(
        "SimCam3D",
        3,
        3,
        (b, m, width, height, n) -> {
          int pixels = width * height;
          long f = b.getInfoUint64(gentlJNI.BUFFER_INFO_FRAMEID_get());
          assertEquals(
              gentlJNI.PAYLOAD_TYPE_MULTI_PART_get(),
              b.getInfoSize(gentlJNI.BUFFER_INFO_PAYLOADTYPE_get()));
          assertThrows(
              NotAvailableException.class, () -> b.getInfoSize(gentlJNI.BUFFER_INFO_WIDTH_get()));
          assertEquals(2, b.getNumBufferParts());
          assertEquals(0, b.getPartDataOffset(0));
          assertEquals(2L * pixels, b.getPartDataOffset(1));
          assertEquals(gentlJNI.PART_DATATYPE_3D_IMAGE_get(), b.getPartDataType(0));
          assertEquals(gentlJNI.PART_DATATYPE_2D_IMAGE_get(), b.getPartDataType(1));
          assertEquals(MONO16, b.getPartDataFormat(0));
          assertEquals(MONO8, b.getPartDataFormat(1));
          assertEquals(
              gentlJNI.PIXELFORMAT_NAMESPACE_PFNC_32BIT_get(), b.getPartDataFormatNamespace(1));
          assertEquals(2L * pixels, b.getPartDataSize(0));
          assertEquals(height, b.getPartHeight(1));
          int x = 7;
          int y = 5;
          assertEquals(((x + y + f) * 64) & 0xFFFF, m.getShort(2 * (y * width + x)) & 0xFFFF);
          assertEquals((x + y + f) & 0xFF, m.get(2 * pixels + y * width + x) & 0xFF);
        });
  }

  @Test
  void theDescriptionFileReadsBackByteForByteAndEveryModuleKindHasAPort() throws Exception {
    try (Device dev = devices.get("SimCam0").open(gentlJNI.DEVICE_ACCESS_CONTROL_get());
        Port port = dev.getPort();
        DataStream ds = dev.openDataStream("Stream0");
        Port tlPort = tl.getPort();
        Port ifPort = itf.getPort();
        Port dsPort = ds.getPort()) {
      byte[] expected = Files.readAllBytes(SIM_XML.resolve("GrabkitSimCam.xml"));
      assertEquals(1, port.getNumPortURLs());
      assertEquals(port.getUrl(0), port.getURLInfoString(0, gentlJNI.URL_INFO_URL_get()));
      assertTrue(port.getUrl(0).startsWith("Local:GrabkitSimCam.xml;10000;"), port.getUrl(0));
      assertEquals(gentlJNI.URL_SCHEME_LOCAL_get(), port.getScheme(0));
      assertEquals(1, port.getSchemaVerMajor(0));
      assertEquals(expected.length, port.getFileSize(0));
      long address = port.getFileRegisterAddress(0);
      assertEquals(0x10000, address);

      ByteBuffer file = direct(expected.length);
      assertEquals(expected.length, port.read(address, file));
      ByteBuffer sha = direct(20);
      assertEquals(20, port.getFileSha1Hash(0, sha));
      assertEquals(ByteBuffer.wrap(expected), file);
      assertEquals(ByteBuffer.wrap(MessageDigest.getInstance("SHA-1").digest(expected)), sha);

      assertEquals("Device", port.getModule());
      assertTrue(port.hasReadAccess());
      assertEquals(port.hasWriteAccess(), port.getPortInfoBool(gentlJNI.PORT_INFO_ACCESS_WRITE_get()));
      assertTrue(port.isLittleEndian());
      writeU32(port, WIDTH, 320);
      assertEquals(320, readU32(port, WIDTH));
      assertThrows(InvalidAddressException.class, () -> port.read(0x7fff_0000L, direct(4)));

      assertEquals(tl.getHandle(), tlPort.getHandle());
      assertEquals(ds.getHandle(), dsPort.getHandle());
      List<String> modules = new ArrayList<>();
      for (Port p : List.of(tlPort, ifPort, dsPort)) {
        assertTrue(p.checkValid());
        assertEquals(p.getModule(), p.getPortInfoString(gentlJNI.PORT_INFO_MODULE_get()));
        assertFalse(p.getID().isEmpty());
        modules.add(p.getModule());
      }
      assertEquals(List.of("TLSystem", "TLInterface", "TLDataStream"), modules);
    }
  }
}

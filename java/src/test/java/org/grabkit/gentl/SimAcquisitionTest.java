package org.grabkit.gentl;

import static org.grabkit.gentl.gentlJNI.*;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;

/**
 * A whole acquisition from the simulated camera through the low-level family alone. The simulated
 * producer's handles are heap pointers wider than 32 bits, so every handle here is a token.
 */
class SimAcquisitionTest {
  // Registers of the simulated camera's remote port, little-endian.
  private static final long WIDTH = 0x100;
  private static final long HEIGHT = 0x104;
  private static final long PIXEL_FORMAT = 0x108;
  private static final long FRAME_RATE = 0x110;
  private static final long PAYLOAD_SIZE = 0x130;
  private static final int MONO8 = 0x0108_0001;
  private static final int FRAMES = 100;
  private static final long TIMEOUT_MS = 5000;

  @AfterEach
  void unload() {
    if (GCLibIsInited()) {
      GCCloseLib();
    }
  }

  private static boolean isToken(int handle) {
    return handle < Integer.MIN_VALUE + (1 << 24);
  }

  private static List<String> ids(long address) {
    try (StringList list = StringList.adopt(address)) {
      return list.toList();
    }
  }

  private static ByteBuffer register(long value, int size) {
    ByteBuffer b = ByteBuffer.allocateDirect(size).order(ByteOrder.LITTLE_ENDIAN);
    return size == 4 ? b.putInt(0, (int) value) : b.putLong(0, value);
  }

  private static int readU32(int port, long address) {
    ByteBuffer b = register(0, 4);
    assertEquals(4, GCReadPort(port, address, b));
    return b.getInt(0);
  }

  private static void writeU32(int port, long address, int value) {
    assertEquals(4, GCWritePort(port, address, register(value, 4)));
    assertEquals(value, readU32(port, address));
  }

  @Test
  void acquiresAHundredFramesOfTheTestPattern() {
    assertEquals(0, GCInitLib(NativeLibrary.extract("grabkit-sim.cti").toString()));
    int tl = TLOpen();
    assertTrue(isToken(tl), "the producer's handles are wider than 32 bits");
    TLUpdateInterfaceList(tl, 1000);
    assertTrue(ids(TLGetInterfaceList(tl)).contains("SimInterface0"));
    int itf = TLOpenInterface(tl, "SimInterface0");
    IFUpdateDeviceList(itf, 1000);
    assertTrue(ids(IFGetDeviceList(itf)).contains("SimCam0"));
    assertEquals("SimCam0", IFGetDeviceInfoString(itf, DEVICE_INFO_ID_get(), "SimCam0"));
    int dev = IFOpenDevice(itf, "SimCam0", DEVICE_ACCESS_EXCLUSIVE_get());

    // Registers and the description file, through the remote device's port.
    int port = DevGetPort(dev);
    String url = GCGetPortURLInfoString(port, 0, URL_INFO_URL_get());
    assertTrue(url.startsWith("Local:GrabkitSimCam.xml;10000;"), url);
    long fileAddress = GCGetPortURLInfoUint64(port, 0, URL_INFO_FILE_REGISTER_ADDRESS_get());
    ByteBuffer file =
        ByteBuffer.allocateDirect((int) GCGetPortURLInfoUint64(port, 0, URL_INFO_FILE_SIZE_get()));
    assertEquals(file.capacity(), GCReadPort(port, fileAddress, file));
    String xml = StandardCharsets.UTF_8.decode(file).toString();
    assertTrue(xml.startsWith("<?xml") && xml.contains("RegisterDescription"), xml);
    writeU32(port, WIDTH, 64);
    writeU32(port, HEIGHT, 48);
    writeU32(port, PIXEL_FORMAT, MONO8);
    writeU32(port, FRAME_RATE, 0); // as fast as buffers come back
    ByteBuffer payloadRegister = register(0, 8);
    assertEquals(8, GCReadPort(port, PAYLOAD_SIZE, payloadRegister));
    assertEquals(64 * 48, payloadRegister.getLong(0));

    List<String> streams = ids(DevGetDataStreamList(dev));
    assertEquals(1, streams.size());
    int ds = DevOpenDataStream(dev, streams.get(0));
    long payload = DSGetInfoSize(ds, STREAM_INFO_PAYLOAD_SIZE_get());
    assertEquals(64 * 48, payload);
    int count = (int) Math.max(4, DSGetInfoSize(ds, STREAM_INFO_BUF_ANNOUNCE_MIN_get()));
    ByteBuffer[] memory = new ByteBuffer[count];
    int[] buffers = new int[count];
    int[] users = new int[count];
    for (int i = 0; i < count; i++) {
      memory[i] = ByteBuffer.allocateDirect((int) payload);
      users[i] = i % 2 == 0 ? 1000 + i : -1000 - i; // negative values come back whole too
      buffers[i] = DSAnnounceBuffer(ds, memory[i], users[i]);
      assertEquals(0, DSQueueBuffer__SWIG_1(ds, buffers[i]));
    }
    int event = GCRegisterEvent(ds, EVENT_NEW_BUFFER_get());
    TimeoutException quiet =
        assertThrows(TimeoutException.class, () -> EventNewBufferGetData(event, 10));
    assertEquals("Operation timed out before completion (ID: -1011)", quiet.getMessage());

    assertEquals(0, DSStartAcquisition(ds, ACQ_START_FLAGS_DEFAULT_get(), -1L));
    for (int n = 0; n < FRAMES; n++) {
      long record = EventNewBufferGetData(event, TIMEOUT_MS);
      int buffer = NewBufferEvent_BufferHandle_get(record);
      int user = NewBufferEvent_userData_get(record);
      delete_NewBufferEvent(record);
      int i = Arrays.stream(buffers).boxed().toList().indexOf(buffer);
      assertTrue(i >= 0, "a buffer of ours");
      assertEquals(users[i], user);
      assertPattern(ds, buffer, memory[i]);
      assertEquals(0, DSQueueBuffer__SWIG_1(ds, buffer));
    }
    assertTrue(DSGetInfoUint64(ds, STREAM_INFO_NUM_DELIVERED_get()) >= FRAMES);
    assertEquals(0, DSStopAcquisition(ds, ACQ_STOP_FLAGS_DEFAULT_get()));
    assertEquals(0, DSFlushQueue(ds, ACQ_QUEUE_ALL_DISCARD_get()));
    for (int i = 0; i < count; i++) {
      assertEquals(users[i], DSRevokeBuffer(ds, buffers[i]));
    }
    assertEquals(0, GCUnregisterEvent(ds, EVENT_NEW_BUFFER_get()));
    assertEquals(0, DSClose(ds));
    assertEquals(0, DevClose(dev));
    assertEquals(0, IFClose(itf));
    assertEquals(0, TLClose(tl));

    // Handles that the producer closed or revoked no longer name anything.
    assertThrows(InvalidHandleException.class, () -> DSRevokeBuffer(ds, buffers[0]));
    assertThrows(InvalidHandleException.class, () -> DSGetInfoString(ds, STREAM_INFO_ID_get()));
    assertThrows(InvalidHandleException.class, () -> DevClose(dev));
  }

  /** Mono8, no padding: pixel (x, y) of frame f is (x + y + f) & 0xFF. */
  private static void assertPattern(int ds, int buffer, ByteBuffer memory) {
    long frame = DSGetBufferInfoUint64(ds, buffer, BUFFER_INFO_FRAMEID_get());
    int width = (int) DSGetBufferInfoSize(ds, buffer, BUFFER_INFO_WIDTH_get());
    int height = (int) DSGetBufferInfoSize(ds, buffer, BUFFER_INFO_HEIGHT_get());
    assertEquals(64, width);
    assertEquals(48, height);
    assertEquals(MONO8, DSGetBufferInfoUint64(ds, buffer, BUFFER_INFO_PIXELFORMAT_get()));
    assertEquals(width * height, DSGetBufferInfoSize(ds, buffer, BUFFER_INFO_SIZE_FILLED_get()));
    for (int y = 0; y < height; y++) {
      for (int x = 0; x < width; x++) {
        int expected = (int) ((x + y + frame) & 0xFF);
        if ((memory.get(y * width + x) & 0xFF) != expected) {
          assertEquals(expected, memory.get(y * width + x) & 0xFF,
              "frame " + frame + " pixel (" + x + ", " + y + ")");
        }
      }
    }
  }
}

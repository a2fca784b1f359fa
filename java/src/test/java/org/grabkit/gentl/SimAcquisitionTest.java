package org.grabkit.gentl;

import static org.grabkit.gentl.gentlJNI.*;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
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

    // Registers through the remote device's port (the model tests read its description file).
    int port = DevGetPort(dev);
    long[][] writes = {{WIDTH, 64}, {HEIGHT, 48}, {PIXEL_FORMAT, MONO8}, {FRAME_RATE, 0}};
    for (long[] w : writes) {
      ByteBuffer b = ByteBuffer.allocateDirect(4).order(ByteOrder.LITTLE_ENDIAN);
      assertEquals(4, GCWritePort(port, w[0], b.putInt(0, (int) w[1])));
      assertEquals(4, GCReadPort(port, w[0], b.putInt(0, -1)));
      assertEquals(w[1], b.getInt(0));
    }

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
    assertEquals(List.of(64, 48, (long) MONO8, 64L * 48), List.of(width, height,
        DSGetBufferInfoUint64(ds, buffer, BUFFER_INFO_PIXELFORMAT_get()),
        DSGetBufferInfoSize(ds, buffer, BUFFER_INFO_SIZE_FILLED_get())));
    for (int i = 0; i < width * height; i++) {
      if ((memory.get(i) & 0xFF) != ((i % width + i / width + frame) & 0xFF)) {
        assertEquals((i % width + i / width + frame) & 0xFF, memory.get(i) & 0xFF,
            "frame " + frame + " pixel (" + i % width + ", " + i / width + ")");
      }
    }
  }
}

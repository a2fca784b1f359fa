package org.grabkit;

import static org.grabkit.gentl.TestProducerControl.ANY;
import static org.grabkit.gentl.TestProducerControl.answer;
import static org.grabkit.gentl.TestProducerControl.text;
import static org.grabkit.gentl.TestProducerControl.u32;
import static org.grabkit.gentl.TestProducerControl.u64;
import static org.junit.jupiter.api.Assertions.assertEquals;

import org.grabkit.gentl.TestProducerControl;
import org.grabkit.gentl.gentlJNI;

/** The simulated camera's registers and test pattern, and scripted trees, for this package. */
final class Sim {
  static final long WIDTH = 0x100;
  static final long HEIGHT = 0x104;
  static final long PIXEL_FORMAT = 0x108;
  static final long FRAME_RATE_MHZ = 0x110;
  static final long EXPOSURE = 0x160;

  private Sim() {}

  /** A small image, delivered as fast as buffers come back. */
  static Camera small(Producer producer, String id, PixelFormat format) {
    Camera camera = producer.openCamera(id);
    camera.writeInt(WIDTH, 64);
    camera.writeInt(HEIGHT, 48);
    camera.writeInt(PIXEL_FORMAT, (int) format.code());
    camera.writeInt(FRAME_RATE_MHZ, 0);
    return camera;
  }

  /** Checks every byte of the frame's image against the pattern of its frame ID. */
  static void assertPattern(Frame frame) {
    Frame.Part part = frame.image().orElseThrow();
    long f = frame.frameId().orElseThrow();
    assertEquals(PixelPattern.bytes(part.pixelFormat(), part.width(), part.height(), f),
        frame.data(part), "frame " + f + " " + part.pixelFormat());
  }

  /**
   * Scripts the test producer as one interface IF0 with the given devices, each with a port; the
   * device information it does not answer is not available.
   */
  static void scriptTree(String... devices) {
    TestProducerControl.reset();
    answer("TLOpen", ANY, u64(0x100));
    answer("TLGetNumInterfaces", ANY, u32(1));
    answer("TLGetInterfaceID", ANY, text("IF0"));
    answer("TLOpenInterface", ANY, u64(0x200));
    answer("IFGetNumDevices", ANY, u32(devices.length));
    for (int i = 0; i < devices.length; i++) {
      answer("IFGetDeviceID", i, text(devices[i]));
    }
    TestProducerControl.setAnswer("IFGetDeviceInfo", ANY, gentlJNI.GC_ERR_NOT_AVAILABLE_get(), null);
    answer("IFOpenDevice", ANY, u64(0x300));
    answer("DevGetPort", ANY, u64(0x500));
  }
}

package org.grabkit;

import static org.junit.jupiter.api.Assertions.fail;

import java.nio.ByteBuffer;

/** The simulated camera's registers and test pattern, for the tests of this package. */
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

  /** The bytes of pixel (x, y) of frame f. */
  static byte[] pixel(PixelFormat format, int x, int y, long f) {
    if (format.equals(PixelFormat.MONO8)) {
      return new byte[] {(byte) (x + y + f)};
    }
    if (format.equals(PixelFormat.MONO16)) {
      int v = (int) ((x + y + f) * 64);
      return new byte[] {(byte) v, (byte) (v >> 8)};
    }
    return new byte[] {(byte) (x + f), (byte) (y + f), (byte) (x + y)};
  }

  /** Checks every pixel of the frame's image against the pattern of its frame ID. */
  static void assertPattern(Frame frame) {
    Frame.Part part = frame.image().orElseThrow();
    ByteBuffer data = frame.data(part);
    long f = frame.frameId().orElseThrow();
    int bytes = part.pixelFormat().bitsPerPixel() / 8;
    for (int y = 0; y < part.height(); y++) {
      for (int x = 0; x < part.width(); x++) {
        byte[] expected = pixel(part.pixelFormat(), x, y, f);
        for (int i = 0; i < bytes; i++) {
          if (data.get((y * part.width() + x) * bytes + i) != expected[i]) {
            fail("frame " + f + " " + part.pixelFormat() + " pixel (" + x + "," + y + ") byte " + i);
          }
        }
      }
    }
  }
}

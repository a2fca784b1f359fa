package org.grabkit;

import java.awt.image.BufferedImage;
import java.awt.image.DataBufferByte;
import java.awt.image.DataBufferUShort;
import java.nio.ByteBuffer;

/** Copies frame parts into {@link BufferedImage}s. */
final class Images {
  private Images() {}

  static BufferedImage toImage(ByteBuffer data, Frame.Part part) {
    PixelFormat format = part.pixelFormat();
    int bytesPerPixel;
    int type;
    if (format.equals(PixelFormat.MONO8)) {
      bytesPerPixel = 1;
      type = BufferedImage.TYPE_BYTE_GRAY;
    } else if (format.equals(PixelFormat.MONO16)) {
      bytesPerPixel = 2;
      type = BufferedImage.TYPE_USHORT_GRAY;
    } else if (format.equals(PixelFormat.RGB8)) {
      bytesPerPixel = 3;
      type = BufferedImage.TYPE_3BYTE_BGR;
    } else {
      throw new UnsupportedOperationException(
          "Cannot make an image of pixel format " + format + " (Mono8, Mono16 and RGB8 can)");
    }
    if (!part.isImage()) {
      throw new IllegalArgumentException("Part " + part.index() + " has no width and height");
    }
    if (part.linePadding() < 0) {
      throw new IllegalArgumentException("Part " + part.index() + " has a negative line padding");
    }
    int width = part.width();
    int lineBytes = width * bytesPerPixel; // fits whenever a line fits in the data
    // Wide enough for any width and padding a producer reports, so that it never wraps to 0.
    long stride = (long) width * bytesPerPixel + part.linePadding();
    // An incomplete frame fills only its first lines.
    int lines =
        (int) Math.min(part.height(), ((long) data.remaining() + part.linePadding()) / stride);
    BufferedImage image = new BufferedImage(width, part.height(), type);
    if (bytesPerPixel == 2) {
      short[] pixels = ((DataBufferUShort) image.getRaster().getDataBuffer()).getData();
      for (int y = 0; y < lines; y++) {
        data.slice((int) (y * stride), lineBytes).order(data.order()).asShortBuffer().get(pixels, y * width, width);
      }
      return image;
    }
    byte[] pixels = ((DataBufferByte) image.getRaster().getDataBuffer()).getData();
    for (int y = 0; y < lines; y++) {
      data.get((int) (y * stride), pixels, y * lineBytes, lineBytes);
    }
    if (bytesPerPixel == 3) {
      // The image keeps blue first.
      for (int i = 0; i < lines * lineBytes; i += 3) {
        byte red = pixels[i];
        pixels[i] = pixels[i + 2];
        pixels[i + 2] = red;
      }
    }
    return image;
  }
}

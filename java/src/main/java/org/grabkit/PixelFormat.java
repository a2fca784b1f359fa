package org.grabkit;

import java.util.Map;

/**
 * A pixel format by its PFNC code, the 32-bit value cameras report in their buffers and their
 * {@code PixelFormat} register.
 *
 * @param code the PFNC value, e.g. {@code 0x01080001} for Mono8
 */
public record PixelFormat(long code) {
  /** 8-bit grey. */
  public static final PixelFormat MONO8 = new PixelFormat(0x0108_0001L);
  /** 16-bit grey, little-endian. */
  public static final PixelFormat MONO16 = new PixelFormat(0x0110_0007L);
  /** 8 bits each of red, green and blue, in that order. */
  public static final PixelFormat RGB8 = new PixelFormat(0x0218_0014L);

  private static final Map<Long, String> NAMES =
      Map.ofEntries(
          Map.entry(MONO8.code, "Mono8"),
          Map.entry(0x0110_0003L, "Mono10"),
          Map.entry(0x0110_0005L, "Mono12"),
          Map.entry(MONO16.code, "Mono16"),
          Map.entry(RGB8.code, "RGB8"),
          Map.entry(0x0218_0015L, "BGR8"),
          Map.entry(0x0108_0008L, "BayerGR8"),
          Map.entry(0x0108_0009L, "BayerRG8"),
          Map.entry(0x0108_000AL, "BayerGB8"),
          Map.entry(0x0108_000BL, "BayerBG8"),
          Map.entry(0x0210_0032L, "YCbCr422_8"));

  /**
   * The PFNC name for common formats, else the code in hex.
   *
   * @return e.g. {@code Mono8} or {@code 0x01100025}
   */
  public String name() {
    return NAMES.getOrDefault(code, String.format("0x%08X", code));
  }

  /**
   * The bits one pixel occupies, which PFNC codes carry in bits 16 to 23.
   *
   * @return e.g. 8 for Mono8, 24 for RGB8
   */
  public int bitsPerPixel() {
    return (int) (code >>> 16) & 0xFF;
  }

  @Override
  public String toString() {
    return name();
  }
}

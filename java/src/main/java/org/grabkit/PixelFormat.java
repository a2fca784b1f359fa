package org.grabkit;

import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.NoSuchElementException;

/**
 * A pixel format by its PFNC code, the 32-bit value cameras report in their buffers and their
 * {@code PixelFormat} register. Every format {@link Frame#toImage()} converts has a constant here;
 * {@link #of(String)} and {@link #name()} also know a few more common ones, for display.
 *
 * @param code the PFNC value, e.g. {@code 0x01080001} for Mono8
 */
public record PixelFormat(long code) {
  private static final Map<Long, String> NAMES = new LinkedHashMap<>();
  private static final Map<String, PixelFormat> BY_NAME = new LinkedHashMap<>();

  /** 8-bit grey. */
  public static final PixelFormat MONO8 = known("Mono8", 0x0108_0001L);
  /** 10-bit grey in the low bits of 16-bit little-endian words. */
  public static final PixelFormat MONO10 = known("Mono10", 0x0110_0003L);
  /** 12-bit grey in the low bits of 16-bit little-endian words. */
  public static final PixelFormat MONO12 = known("Mono12", 0x0110_0005L);
  /** 14-bit grey in the low bits of 16-bit little-endian words. */
  public static final PixelFormat MONO14 = known("Mono14", 0x0110_0025L);
  /** 16-bit grey, little-endian. */
  public static final PixelFormat MONO16 = known("Mono16", 0x0110_0007L);
  /** 10-bit grey as one LSB-first bit stream (4 pixels in 5 bytes). */
  public static final PixelFormat MONO10P = known("Mono10p", 0x010A_0046L);
  /** 12-bit grey as one LSB-first bit stream (2 pixels in 3 bytes). */
  public static final PixelFormat MONO12P = known("Mono12p", 0x010C_0047L);
  /** 10-bit grey, 2 pixels in 3 bytes, high bits first (the older GigE packing). */
  public static final PixelFormat MONO10_PACKED = known("Mono10Packed", 0x010C_0004L);
  /** 12-bit grey, 2 pixels in 3 bytes, high bits first (the older GigE packing). */
  public static final PixelFormat MONO12_PACKED = known("Mono12Packed", 0x010C_0006L);

  /** Bayer 8-bit, first row G R G R. */
  public static final PixelFormat BAYER_GR8 = known("BayerGR8", 0x0108_0008L);
  /** Bayer 8-bit, first row R G R G. */
  public static final PixelFormat BAYER_RG8 = known("BayerRG8", 0x0108_0009L);
  /** Bayer 8-bit, first row G B G B. */
  public static final PixelFormat BAYER_GB8 = known("BayerGB8", 0x0108_000AL);
  /** Bayer 8-bit, first row B G B G. */
  public static final PixelFormat BAYER_BG8 = known("BayerBG8", 0x0108_000BL);
  /** Bayer 10-bit in 16-bit words, first row G R. */
  public static final PixelFormat BAYER_GR10 = known("BayerGR10", 0x0110_000CL);
  /** Bayer 10-bit in 16-bit words, first row R G. */
  public static final PixelFormat BAYER_RG10 = known("BayerRG10", 0x0110_000DL);
  /** Bayer 10-bit in 16-bit words, first row G B. */
  public static final PixelFormat BAYER_GB10 = known("BayerGB10", 0x0110_000EL);
  /** Bayer 10-bit in 16-bit words, first row B G. */
  public static final PixelFormat BAYER_BG10 = known("BayerBG10", 0x0110_000FL);
  /** Bayer 12-bit in 16-bit words, first row G R. */
  public static final PixelFormat BAYER_GR12 = known("BayerGR12", 0x0110_0010L);
  /** Bayer 12-bit in 16-bit words, first row R G. */
  public static final PixelFormat BAYER_RG12 = known("BayerRG12", 0x0110_0011L);
  /** Bayer 12-bit in 16-bit words, first row G B. */
  public static final PixelFormat BAYER_GB12 = known("BayerGB12", 0x0110_0012L);
  /** Bayer 12-bit in 16-bit words, first row B G. */
  public static final PixelFormat BAYER_BG12 = known("BayerBG12", 0x0110_0013L);
  /** Bayer 16-bit, first row G R. */
  public static final PixelFormat BAYER_GR16 = known("BayerGR16", 0x0110_002EL);
  /** Bayer 16-bit, first row R G. */
  public static final PixelFormat BAYER_RG16 = known("BayerRG16", 0x0110_002FL);
  /** Bayer 16-bit, first row G B. */
  public static final PixelFormat BAYER_GB16 = known("BayerGB16", 0x0110_0030L);
  /** Bayer 16-bit, first row B G. */
  public static final PixelFormat BAYER_BG16 = known("BayerBG16", 0x0110_0031L);

  /** 8 bits each of red, green and blue, in that order. */
  public static final PixelFormat RGB8 = known("RGB8", 0x0218_0014L);
  /** 8 bits each of blue, green and red, in that order. */
  public static final PixelFormat BGR8 = known("BGR8", 0x0218_0015L);
  /** 8 bits each of red, green, blue and alpha, in that order. */
  public static final PixelFormat RGBA8 = known("RGBa8", 0x0220_0016L);
  /** 8 bits each of blue, green, red and alpha, in that order. */
  public static final PixelFormat BGRA8 = known("BGRa8", 0x0220_0017L);

  /** 4:2:2 in bytes Y0 Cb Y1 Cr per pixel pair. */
  public static final PixelFormat YCBCR422_8 = known("YCbCr422_8", 0x0210_003BL);
  /** 4:2:2 in bytes Cb Y0 Cr Y1 per pixel pair. */
  public static final PixelFormat YCBCR422_8_CBYCRY = known("YCbCr422_8_CbYCrY", 0x0210_0043L);
  /** 4:2:2 in bytes Y0 U Y1 V per pixel pair (the older GigE name was YUV422_YUYV_Packed). */
  public static final PixelFormat YUV422_8 = known("YUV422_8", 0x0210_0032L);
  /** 4:2:2 in bytes U Y0 V Y1 per pixel pair (the older GigE name was YUV422Packed). */
  public static final PixelFormat YUV422_8_UYVY = known("YUV422_8_UYVY", 0x0210_001FL);

  static {
    // Known by name for display; Frame does not convert these.
    known("Mono1p", 0x0101_0037L);
    known("Mono2p", 0x0102_0038L);
    known("Mono4p", 0x0104_0039L);
    known("Mono8s", 0x0108_0002L);
    known("BayerGR10Packed", 0x010C_0026L);
    known("BayerRG10Packed", 0x010C_0027L);
    known("BayerGB10Packed", 0x010C_0028L);
    known("BayerBG10Packed", 0x010C_0029L);
    known("BayerGR12Packed", 0x010C_002AL);
    known("BayerRG12Packed", 0x010C_002BL);
    known("BayerGB12Packed", 0x010C_002CL);
    known("BayerBG12Packed", 0x010C_002DL);
    known("BayerBG10p", 0x010A_0052L);
    known("BayerBG12p", 0x010C_0053L);
    known("BayerGB10p", 0x010A_0054L);
    known("BayerGB12p", 0x010C_0055L);
    known("BayerGR10p", 0x010A_0056L);
    known("BayerGR12p", 0x010C_0057L);
    known("BayerRG10p", 0x010A_0058L);
    known("BayerRG12p", 0x010C_0059L);
    known("RGB10", 0x0230_0018L);
    known("BGR10", 0x0230_0019L);
    known("RGB12", 0x0230_001AL);
    known("BGR12", 0x0230_001BL);
    known("RGB16", 0x0230_0033L);
    known("BGR16", 0x0230_004BL);
    known("RGB8_Planar", 0x0218_0021L);
    known("YUV411_8_UYYVYY", 0x020C_001EL);
    known("YUV8_UYV", 0x0218_0020L);
  }

  private static PixelFormat known(String name, long code) {
    PixelFormat format = new PixelFormat(code);
    NAMES.put(code, name);
    BY_NAME.put(name, format);
    return format;
  }

  /**
   * A format by its PFNC name, or by its code in hex ({@code 0x...}) as {@link #toString()} gives
   * unnamed ones.
   *
   * @param name e.g. {@code Mono12p}
   * @return the format
   * @throws NoSuchElementException if the name is neither a known format nor a hex code
   */
  public static PixelFormat of(String name) {
    PixelFormat format = BY_NAME.get(name);
    if (format != null) {
      return format;
    }
    if (name.startsWith("0x") || name.startsWith("0X")) {
      try {
        return new PixelFormat(Long.parseUnsignedLong(name.substring(2), 16) & 0xFFFF_FFFFL);
      } catch (NumberFormatException e) {
        // falls through to the failure below
      }
    }
    throw new NoSuchElementException(
        "No pixel format is named " + name + "; known: " + String.join(", ", BY_NAME.keySet()));
  }

  /** @return every format with a name, in the order of their constants */
  public static List<PixelFormat> known() {
    return List.copyOf(BY_NAME.values());
  }

  /**
   * The PFNC name for common formats, else the code in hex.
   *
   * @return e.g. {@code Mono8} or {@code 0x01100099}
   */
  public String name() {
    String name = NAMES.get(code);
    return name != null ? name : hex();
  }

  /** @return the code as 8 hex digits, e.g. {@code 0x010C0047} */
  public String hex() {
    return String.format("0x%08X", code);
  }

  /**
   * The bits one pixel occupies, which PFNC codes carry in bits 16 to 23. Packed formats occupy
   * what they pack to: 10 for Mono10p, 12 for Mono12Packed.
   *
   * @return e.g. 8 for Mono8, 24 for RGB8
   */
  public int bitsPerPixel() {
    return (int) (code >>> 16) & 0xFF;
  }

  /**
   * The bytes of an image of this format with lines packed without padding, as one bit stream for
   * formats of fewer than 8 bits or of bit counts that are no multiple of 8.
   *
   * @param width pixels per line
   * @param height lines
   * @return {@code ceil(width * height * bitsPerPixel() / 8)}
   */
  public long bytesFor(int width, int height) {
    if (width < 0 || height < 0) {
      throw new IllegalArgumentException("No image is " + width + " x " + height);
    }
    return ((long) width * height * bitsPerPixel() + 7) / 8;
  }

  /**
   * The bytes from one line's start to the next's in a buffer whose lines each start on a byte.
   *
   * @param width pixels per line
   * @param linePadding bytes after each line
   * @return {@code ceil(width * bitsPerPixel() / 8) + linePadding}
   */
  public long stride(int width, int linePadding) {
    return bytesFor(width, 1) + linePadding;
  }

  /**
   * @return whether {@link Frame#toImage()} and its kin convert this format
   */
  public boolean isConvertible() {
    return Images.converts(this);
  }

  @Override
  public String toString() {
    return name();
  }
}

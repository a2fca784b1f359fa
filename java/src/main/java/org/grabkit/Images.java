package org.grabkit;

import java.awt.image.BufferedImage;
import java.awt.image.DataBuffer;
import java.awt.image.DataBufferByte;
import java.awt.image.DataBufferUShort;
import java.awt.image.WritableRaster;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.Map;

/**
 * Converts pixel data into images, grey values and RGB bytes: what {@link Frame}'s {@code toImage},
 * {@code monoValues} and {@code toRgb} do, for bytes from anywhere (a file, a copy of a frame).
 * What each format becomes is told in {@link Frame#toImage(Frame.Part)}.
 *
 * <p>The data's byte at its position is the part's first byte; the part's offset and size are not
 * used. Lines the data does not hold completely (an incomplete frame) come out as zeros, so a
 * reused target never shows an older frame's lines. Bayer conversions keep a buffer of one byte per
 * pixel per thread, reused from frame to frame.
 */
public final class Images {
  private Images() {}

  private enum Family {
    MONO,
    BAYER,
    RGB,
    YUV422
  }

  /** How grey and Bayer samples lie in the bytes. */
  private enum Packing {
    /** One byte per sample. */
    BYTES,
    /** 16-bit little-endian words, value in the low bits. */
    WORDS,
    /** One LSB-first bit stream of {@code bits}-bit samples. */
    LSB_STREAM,
    /** Two samples in three bytes, high bits in the outer bytes, low nibbles in the middle one. */
    PAIRS
  }

  private static final int R = 0;
  private static final int G = 1;
  private static final int B = 2;

  /**
   * A family's parameters. MONO and BAYER: the packing and the significant bits. BAYER: {@code
   * at} = the channel at (x mod 2, y mod 2) in the order (0,0), (1,0), (0,1), (1,1). RGB: {@code
   * bits} per pixel, {@code at} = the byte offsets of red, green, blue and alpha (-1: none).
   * YUV422: {@code at} = the offsets of Y0, U, Y1 and V within a pixel pair's four bytes.
   */
  private record Conversion(Family family, Packing packing, int bits, int... at) {
    int bytesPerPixel() {
      return switch (family) {
        case RGB -> bits / 8;
        case YUV422 -> 2;
        default -> packing == Packing.BYTES ? 1 : 2;
      };
    }

    int imageType() {
      return switch (family) {
        case MONO -> bits == 8 ? BufferedImage.TYPE_BYTE_GRAY : BufferedImage.TYPE_USHORT_GRAY;
        case RGB -> at[3] >= 0 ? BufferedImage.TYPE_4BYTE_ABGR : BufferedImage.TYPE_3BYTE_BGR;
        default -> BufferedImage.TYPE_3BYTE_BGR;
      };
    }
  }

  private static final Map<PixelFormat, Conversion> CONVERSIONS = new LinkedHashMap<>();

  static {
    mono(PixelFormat.MONO8, Packing.BYTES, 8);
    mono(PixelFormat.MONO10, Packing.WORDS, 10);
    mono(PixelFormat.MONO12, Packing.WORDS, 12);
    mono(PixelFormat.MONO14, Packing.WORDS, 14);
    mono(PixelFormat.MONO16, Packing.WORDS, 16);
    mono(PixelFormat.MONO10P, Packing.LSB_STREAM, 10);
    mono(PixelFormat.MONO12P, Packing.LSB_STREAM, 12);
    mono(PixelFormat.MONO10_PACKED, Packing.PAIRS, 10);
    mono(PixelFormat.MONO12_PACKED, Packing.PAIRS, 12);
    PixelFormat[][] bayer = {
      {PixelFormat.BAYER_GR8, PixelFormat.BAYER_GR10, PixelFormat.BAYER_GR12, PixelFormat.BAYER_GR16},
      {PixelFormat.BAYER_RG8, PixelFormat.BAYER_RG10, PixelFormat.BAYER_RG12, PixelFormat.BAYER_RG16},
      {PixelFormat.BAYER_GB8, PixelFormat.BAYER_GB10, PixelFormat.BAYER_GB12, PixelFormat.BAYER_GB16},
      {PixelFormat.BAYER_BG8, PixelFormat.BAYER_BG10, PixelFormat.BAYER_BG12, PixelFormat.BAYER_BG16}
    };
    int[][] patterns = {{G, R, B, G}, {R, G, G, B}, {G, B, R, G}, {B, G, G, R}};
    int[] bits = {8, 10, 12, 16};
    for (int p = 0; p < 4; p++) {
      for (int b = 0; b < 4; b++) {
        Packing packing = bits[b] == 8 ? Packing.BYTES : Packing.WORDS;
        CONVERSIONS.put(bayer[p][b], new Conversion(Family.BAYER, packing, bits[b], patterns[p]));
      }
    }
    CONVERSIONS.put(PixelFormat.RGB8, new Conversion(Family.RGB, Packing.BYTES, 24, 0, 1, 2, -1));
    CONVERSIONS.put(PixelFormat.BGR8, new Conversion(Family.RGB, Packing.BYTES, 24, 2, 1, 0, -1));
    CONVERSIONS.put(PixelFormat.RGBA8, new Conversion(Family.RGB, Packing.BYTES, 32, 0, 1, 2, 3));
    CONVERSIONS.put(PixelFormat.BGRA8, new Conversion(Family.RGB, Packing.BYTES, 32, 2, 1, 0, 3));
    Conversion yuyv = new Conversion(Family.YUV422, Packing.BYTES, 16, 0, 1, 2, 3);
    Conversion uyvy = new Conversion(Family.YUV422, Packing.BYTES, 16, 1, 0, 3, 2);
    CONVERSIONS.put(PixelFormat.YCBCR422_8, yuyv);
    CONVERSIONS.put(PixelFormat.YUV422_8, yuyv);
    CONVERSIONS.put(PixelFormat.YCBCR422_8_CBYCRY, uyvy);
    CONVERSIONS.put(PixelFormat.YUV422_8_UYVY, uyvy);
  }

  private static void mono(PixelFormat format, Packing packing, int bits) {
    CONVERSIONS.put(format, new Conversion(Family.MONO, packing, bits));
  }

  static boolean converts(PixelFormat format) {
    return CONVERSIONS.containsKey(format);
  }

  /**
   * @param data the pixels, from its position on
   * @param part the width, height, pixel format and line padding
   * @param reuse an image to convert into when it fits, as in {@link Frame#toImage(Frame.Part,
   *     BufferedImage)}, or null
   * @return the image
   */
  public static BufferedImage toImage(ByteBuffer data, Frame.Part part, BufferedImage reuse) {
    Conversion c = conversion(part, "make an image of");
    int width = part.width();
    int height = part.height();
    int type = c.imageType();
    int channels = type == BufferedImage.TYPE_4BYTE_ABGR ? 4 : c.family == Family.MONO ? 1 : 3;
    int samples = samples(part, channels);
    BufferedImage image =
        fits(reuse, width, height, type, samples) ? reuse : new BufferedImage(width, height, type);
    DataBuffer buffer = image.getRaster().getDataBuffer();
    ByteBuffer d = data.slice().order(ByteOrder.LITTLE_ENDIAN);
    switch (c.family) {
      case MONO -> {
        if (c.bits == 8) {
          mono8(d, part, c, ((DataBufferByte) buffer).getData());
        } else {
          mono(d, part, c, ((DataBufferUShort) buffer).getData(), 16 - c.bits);
        }
      }
      // BufferedImage's byte order: blue, green, red, or alpha, blue, green, red.
      case BAYER -> bayer(d, part, c, ((DataBufferByte) buffer).getData(), 3, 2, 1, 0);
      case RGB -> {
        byte[] out = ((DataBufferByte) buffer).getData();
        if (channels == 4) {
          rgb(d, part, c, out, 4, 3, 2, 1, 0);
        } else {
          rgb(d, part, c, out, 3, 2, 1, 0, -1);
        }
      }
      case YUV422 -> yuv(d, part, c, ((DataBufferByte) buffer).getData(), 3, 2, 1, 0);
    }
    return image;
  }

  /**
   * @param data the pixels, from its position on
   * @param part the width, height, pixel format and line padding
   * @param reuse an array to fill when it is long enough, or null
   * @return the values, as {@link Frame#monoValues(Frame.Part, short[])} gives them
   */
  public static short[] monoValues(ByteBuffer data, Frame.Part part, short[] reuse) {
    Conversion c = conversion(part, "give grey values of");
    if (c.family != Family.MONO) {
      throw new UnsupportedOperationException(
          describe(part.pixelFormat()) + " is no grey format: toImage or toRgb convert it");
    }
    int samples = samples(part, 1);
    short[] out = reuse != null && reuse.length >= samples ? reuse : new short[samples];
    mono(data.slice().order(ByteOrder.LITTLE_ENDIAN), part, c, out, 0);
    return out;
  }

  /**
   * @param data the pixels, from its position on
   * @param part the width, height, pixel format and line padding
   * @param reuse an array to fill when it is long enough, or null
   * @return the bytes, as {@link Frame#toRgb(Frame.Part, byte[])} gives them
   */
  public static byte[] toRgb(ByteBuffer data, Frame.Part part, byte[] reuse) {
    Conversion c = conversion(part, "give RGB bytes of");
    int samples = samples(part, 3);
    byte[] out = reuse != null && reuse.length >= samples ? reuse : new byte[samples];
    ByteBuffer d = data.slice().order(ByteOrder.LITTLE_ENDIAN);
    switch (c.family) {
      case MONO -> throw new UnsupportedOperationException(
          describe(part.pixelFormat()) + " is grey: toImage or monoValues convert it");
      case BAYER -> bayer(d, part, c, out, 3, 0, 1, 2);
      case RGB -> rgb(d, part, c, out, 3, 0, 1, 2, -1);
      case YUV422 -> yuv(d, part, c, out, 3, 0, 1, 2);
    }
    return out;
  }

  private static Conversion conversion(Frame.Part part, String what) {
    Conversion c = CONVERSIONS.get(part.pixelFormat());
    if (c == null) {
      throw new UnsupportedOperationException(
          "Cannot "
              + what
              + " pixel format "
              + describe(part.pixelFormat())
              + "; Grabkit converts "
              + String.join(", ", CONVERSIONS.keySet().stream().map(PixelFormat::name).toList()));
    }
    if (!part.isImage()) {
      throw new IllegalArgumentException("Part " + part.index() + " has no width and height");
    }
    if (part.linePadding() < 0) {
      throw new IllegalArgumentException("Part " + part.index() + " has a negative line padding");
    }
    return c;
  }

  private static String describe(PixelFormat format) {
    String name = format.name();
    return name.equals(format.hex()) ? name : name + " (" + format.hex() + ")";
  }

  private static int samples(Frame.Part part, int channels) {
    long samples = (long) part.width() * part.height() * channels;
    if (samples > Integer.MAX_VALUE - 8) {
      throw new IllegalArgumentException(
          "A " + part.width() + " x " + part.height() + " image does not fit in a Java array");
    }
    return (int) samples;
  }

  /** Whether the image is one {@code new BufferedImage(width, height, type)} would give. */
  private static boolean fits(BufferedImage image, int width, int height, int type, int samples) {
    if (image == null
        || image.getType() != type
        || image.getWidth() != width
        || image.getHeight() != height) {
      return false;
    }
    WritableRaster raster = image.getRaster();
    return raster.getParent() == null
        && raster.getSampleModelTranslateX() == 0
        && raster.getSampleModelTranslateY() == 0
        && raster.getDataBuffer().getNumBanks() == 1
        && raster.getDataBuffer().getOffset() == 0
        && raster.getDataBuffer().getSize() == samples;
  }

  /** Bytes from one line's start to the next's, for formats whose lines start on a byte. */
  private static int stride(Frame.Part part, Conversion c) {
    long stride =
        c.packing == Packing.LSB_STREAM || c.packing == Packing.PAIRS
            ? part.pixelFormat().stride(part.width(), part.linePadding())
            : (long) part.width() * c.bytesPerPixel() + part.linePadding();
    return (int) Math.min(stride, Integer.MAX_VALUE);
  }

  /**
   * Where line y starts: in bits for an LSB stream, else in bytes. Packed formats without padding
   * run on from line to line; with padding each line starts on a byte.
   */
  private static long lineStart(Frame.Part part, Conversion c, int y) {
    if (c.packing == Packing.LSB_STREAM) {
      return part.linePadding() == 0
          ? (long) y * part.width() * c.bits
          : (long) y * stride(part, c) * 8;
    }
    return (long) y * stride(part, c);
  }

  /** The pixel-pair slot (0 or 1) a line of a PAIRS format starts in. */
  private static int pairHalf(Frame.Part part, int y) {
    return part.linePadding() == 0 ? (int) (((long) y * part.width()) & 1) : 0;
  }

  /** The byte a line of a PAIRS format starts in: the start of its first pixel's pair. */
  private static long pairStart(Frame.Part part, Conversion c, int y) {
    return part.linePadding() == 0 ? ((long) y * part.width() >> 1) * 3 : lineStart(part, c, y);
  }

  /** The byte after the last one line y needs. */
  private static long lineEnd(Frame.Part part, Conversion c, int y) {
    int w = part.width();
    return switch (c.packing) {
      case LSB_STREAM -> (lineStart(part, c, y) + (long) w * c.bits + 7) / 8;
      case PAIRS -> {
        long last = pairHalf(part, y) + w - 1L;
        yield pairStart(part, c, y) + (last >> 1) * 3 + ((last & 1) == 0 ? 2 : 3);
      }
      default -> lineStart(part, c, y) + (long) w * c.bytesPerPixel();
    };
  }

  /** How many lines, from the first, the data holds completely. */
  private static int lines(ByteBuffer d, Frame.Part part, Conversion c) {
    int lo = 0;
    int hi = part.height();
    while (lo < hi) {
      int mid = (lo + hi + 1) >>> 1;
      if (lineEnd(part, c, mid - 1) <= d.limit()) {
        lo = mid;
      } else {
        hi = mid - 1;
      }
    }
    return lo;
  }

  private static void mono8(ByteBuffer d, Frame.Part part, Conversion c, byte[] out) {
    int w = part.width();
    int lines = lines(d, part, c);
    int stride = stride(part, c);
    for (int y = 0; y < lines; y++) {
      d.get(y * stride, out, y * w, w);
    }
    Arrays.fill(out, lines * w, w * part.height(), (byte) 0);
  }

  /** Grey samples, masked to their bits and shifted left by {@code shift}. */
  private static void mono(ByteBuffer d, Frame.Part part, Conversion c, short[] out, int shift) {
    int w = part.width();
    int lines = lines(d, part, c);
    int bits = c.bits;
    int mask = (1 << bits) - 1;
    switch (c.packing) {
      case BYTES -> {
        int stride = stride(part, c);
        for (int y = 0, o = 0; y < lines; y++) {
          for (int x = 0, at = y * stride; x < w; x++) {
            out[o++] = (short) ((d.get(at + x) & 0xFF) << shift);
          }
        }
      }
      case WORDS -> {
        int stride = stride(part, c);
        if ((stride & 1) == 0) {
          var words = d.asShortBuffer();
          for (int y = 0; y < lines; y++) {
            words.get(y * (stride >> 1), out, y * w, w);
          }
          if (bits < 16) {
            for (int i = 0, n = lines * w; i < n; i++) {
              out[i] = (short) ((out[i] & mask) << shift);
            }
          }
        } else {
          for (int y = 0, o = 0; y < lines; y++) {
            for (int x = 0, at = y * stride; x < w; x++, at += 2) {
              out[o++] = (short) ((d.getShort(at) & mask) << shift);
            }
          }
        }
      }
      case LSB_STREAM -> {
        byte[] a = copy(d, part, c, lines);
        for (int y = 0; y < lines; y++) {
          unpack(a, lineStart(part, c, y), w, bits, shift, out, y * w);
        }
      }
      case PAIRS -> {
        byte[] a = copy(d, part, c, lines);
        int high = bits - 8;
        int low = (1 << high) - 1;
        for (int y = 0, o = 0; y < lines; y++) {
          int start = (int) pairStart(part, c, y);
          int half = pairHalf(part, y);
          for (int x = 0; x < w; x++) {
            int slot = half + x;
            int at = start + (slot >> 1) * 3;
            int middle = a[at + 1] & 0xFF;
            int v =
                (slot & 1) == 0
                    ? (a[at] & 0xFF) << high | middle & low
                    : (a[at + 2] & 0xFF) << high | (middle >> 4) & low;
            out[o++] = (short) (v << shift);
          }
        }
      }
    }
    Arrays.fill(out, lines * w, w * part.height(), (short) 0);
  }

  /**
   * Each thread's copy of the last packed frame, or its Bayer samples reduced to 8 bits: arrays
   * are faster to walk than a direct buffer. Grows to the largest frame, never shrinks.
   */
  private static final ThreadLocal<byte[]> SCRATCH = ThreadLocal.withInitial(() -> new byte[0]);

  private static byte[] scratch(int bytes) {
    byte[] s = SCRATCH.get();
    if (s.length < bytes) {
      s = new byte[bytes];
      SCRATCH.set(s);
    }
    return s;
  }

  /** The bytes the first {@code lines} lines need, copied into the scratch array. */
  private static byte[] copy(ByteBuffer d, Frame.Part part, Conversion c, int lines) {
    int bytes = lines == 0 ? 0 : (int) lineEnd(part, c, lines - 1);
    byte[] a = scratch(bytes);
    d.get(0, a, 0, bytes);
    return a;
  }

  /** {@code count} samples of an LSB-first bit stream from bit {@code start}, masked and shifted. */
  private static void unpack(
      byte[] a, long start, int count, int bits, int shift, short[] out, int o) {
    int mask = (1 << bits) - 1;
    int at = (int) (start >>> 3);
    int x = 0;
    if ((start & 7) == 0 && bits == 12) {
      for (; x + 1 < count; x += 2, at += 3) {
        int b1 = a[at + 1] & 0xFF;
        out[o++] = (short) (((a[at] & 0xFF) | (b1 & 0xF) << 8) << shift);
        out[o++] = (short) (((b1 >> 4) | (a[at + 2] & 0xFF) << 4) << shift);
      }
    } else if ((start & 7) == 0 && bits == 10) {
      for (; x + 3 < count; x += 4, at += 5) {
        long v =
            (a[at] & 0xFFL)
                | (a[at + 1] & 0xFFL) << 8
                | (a[at + 2] & 0xFFL) << 16
                | (a[at + 3] & 0xFFL) << 24
                | (a[at + 4] & 0xFFL) << 32;
        out[o++] = (short) (((int) v & mask) << shift);
        out[o++] = (short) (((int) (v >>> 10) & mask) << shift);
        out[o++] = (short) (((int) (v >>> 20) & mask) << shift);
        out[o++] = (short) (((int) (v >>> 30) & mask) << shift);
      }
    }
    int skip = (int) ((start + (long) x * bits) & 7);
    // Bits not yet used, the oldest in the low end; a byte is read only when needed.
    int acc = 0;
    int have = 0;
    if (skip != 0) {
      acc = (a[at++] & 0xFF) >>> skip;
      have = 8 - skip;
    }
    for (; x < count; x++) {
      while (have < bits) {
        acc |= (a[at++] & 0xFF) << have;
        have += 8;
      }
      out[o++] = (short) ((acc & mask) << shift);
      acc >>>= bits;
      have -= bits;
    }
  }

  private static void bayer(
      ByteBuffer d, Frame.Part part, Conversion c, byte[] out, int ps, int r, int g, int b) {
    int w = part.width();
    int lines = lines(d, part, c);
    int stride = stride(part, c);
    byte[] s = scratch(w * lines);
    if (c.packing == Packing.BYTES) {
      for (int y = 0; y < lines; y++) {
        d.get(y * stride, s, y * w, w);
      }
    } else {
      int mask = (1 << c.bits) - 1;
      int shift = c.bits - 8;
      for (int y = 0, i = 0; y < lines; y++) {
        for (int x = 0, at = y * stride; x < w; x++, at += 2) {
          s[i++] = (byte) ((d.getShort(at) & mask) >> shift);
        }
      }
    }
    demosaic(s, w, lines, c.at, out, ps, new int[] {r, g, b});
    Arrays.fill(out, lines * w * ps, w * part.height() * ps, (byte) 0);
  }

  /**
   * Bilinear: each pixel keeps its own channel; a missing channel is the mean, rounded half up, of
   * those of its 8 neighbours that carry it. Inside the image that is the 2 horizontal or vertical
   * neighbours, or the 4 edge or diagonal ones; on the border only neighbours inside the image
   * count, and a channel none of them carries (images 1 pixel wide or high) is 0.
   */
  private static void demosaic(byte[] s, int w, int h, int[] cfa, byte[] out, int ps, int[] off) {
    for (int y = 0; y < h; y++) {
      int row = (y & 1) << 1;
      if (y == 0 || y == h - 1 || w < 3) {
        for (int x = 0; x < w; x++) {
          border(s, w, h, x, y, cfa, out, (y * w + x) * ps, off);
        }
        continue;
      }
      border(s, w, h, 0, y, cfa, out, y * w * ps, off);
      // Inside a line green alternates with one other colour, so each parity has fixed offsets.
      int odd = cfa[row | 1];
      int even = cfa[row];
      int colour = odd == G ? even : odd;
      int own = off[colour];
      int other = off[2 - colour];
      int green = off[G];
      int x = 1;
      int i = y * w + 1;
      if (odd != G) {
        colour(s, i, w, out, i * ps, own, green, other);
        i++;
        x++;
      }
      // Here x is green: its neighbours across carry the line's colour, those along the other.
      for (; x + 1 < w - 1; x += 2, i += 2) {
        green(s, i, w, out, i * ps, green, own, other);
        colour(s, i + 1, w, out, (i + 1) * ps, own, green, other);
      }
      if (x < w - 1) {
        green(s, i, w, out, i * ps, green, own, other);
      }
      border(s, w, h, w - 1, y, cfa, out, (y * w + w - 1) * ps, off);
    }
  }

  private static void green(
      byte[] s, int i, int w, byte[] out, int o, int green, int across, int along) {
    out[o + green] = s[i];
    out[o + across] = (byte) (((s[i - 1] & 0xFF) + (s[i + 1] & 0xFF) + 1) >> 1);
    out[o + along] = (byte) (((s[i - w] & 0xFF) + (s[i + w] & 0xFF) + 1) >> 1);
  }

  private static void colour(
      byte[] s, int i, int w, byte[] out, int o, int own, int green, int other) {
    int edges = (s[i - 1] & 0xFF) + (s[i + 1] & 0xFF) + (s[i - w] & 0xFF) + (s[i + w] & 0xFF);
    int corners =
        (s[i - w - 1] & 0xFF) + (s[i - w + 1] & 0xFF) + (s[i + w - 1] & 0xFF) + (s[i + w + 1] & 0xFF);
    out[o + own] = s[i];
    out[o + green] = (byte) ((edges + 2) >> 2);
    out[o + other] = (byte) ((corners + 2) >> 2);
  }

  private static void border(
      byte[] s, int w, int h, int x, int y, int[] cfa, byte[] out, int o, int[] off) {
    int own = cfa[(y & 1) << 1 | (x & 1)];
    for (int ch = 0; ch < 3; ch++) {
      int sum = 0;
      int count = 0;
      for (int ny = Math.max(0, y - 1); ny <= Math.min(h - 1, y + 1); ny++) {
        for (int nx = Math.max(0, x - 1); nx <= Math.min(w - 1, x + 1); nx++) {
          if ((nx != x || ny != y) && cfa[(ny & 1) << 1 | (nx & 1)] == ch) {
            sum += s[ny * w + nx] & 0xFF;
            count++;
          }
        }
      }
      int v = ch == own ? s[y * w + x] & 0xFF : count == 0 ? 0 : (sum + count / 2) / count;
      out[o + off[ch]] = (byte) v;
    }
  }

  /** RGB8, BGR8, RGBa8, BGRa8 into {@code ps}-byte pixels at the given offsets (a < 0: none). */
  private static void rgb(
      ByteBuffer d, Frame.Part part, Conversion c, byte[] out, int ps, int r, int g, int b, int a) {
    int w = part.width();
    int lines = lines(d, part, c);
    int stride = stride(part, c);
    int in = c.bytesPerPixel();
    int ri = c.at[0];
    int gi = c.at[1];
    int bi = c.at[2];
    int ai = c.at[3];
    for (int y = 0; y < lines; y++) {
      int o = y * w * ps;
      if (in == ps) {
        // One bulk copy, then each pixel reordered in place.
        d.get(y * stride, out, o, w * ps);
        for (int end = o + w * ps; o < end; o += ps) {
          byte rv = out[o + ri];
          byte gv = out[o + gi];
          byte bv = out[o + bi];
          byte av = ai >= 0 ? out[o + ai] : 0;
          out[o + r] = rv;
          out[o + g] = gv;
          out[o + b] = bv;
          if (a >= 0) {
            out[o + a] = av;
          }
        }
      } else {
        for (int x = 0, at = y * stride; x < w; x++, at += in, o += ps) {
          out[o + r] = d.get(at + ri);
          out[o + g] = d.get(at + gi);
          out[o + b] = d.get(at + bi);
          if (a >= 0) {
            out[o + a] = ai >= 0 ? d.get(at + ai) : (byte) 255;
          }
        }
      }
    }
    Arrays.fill(out, lines * w * ps, w * part.height() * ps, (byte) 0);
  }

  /**
   * 4:2:2 to RGB, both pixels of a pair sharing its U (Cb) and V (Cr). The last pixel of an odd
   * width has no V of its own and takes the one of the pair before it (128 when the line is one
   * pixel wide).
   */
  private static void yuv(
      ByteBuffer d, Frame.Part part, Conversion c, byte[] out, int ps, int r, int g, int b) {
    int w = part.width();
    int lines = lines(d, part, c);
    int stride = stride(part, c);
    int y0 = c.at[0];
    int u = c.at[1];
    int y1 = c.at[2];
    int v = c.at[3];
    for (int line = 0; line < lines; line++) {
      int at = line * stride;
      int o = line * w * ps;
      for (int x = 0; x < w; x += 2, at += 4, o += 2 * ps) {
        int cb = (d.get(at + u) & 0xFF) - 128;
        int cr;
        if (x + 1 < w) {
          cr = (d.get(at + v) & 0xFF) - 128;
        } else {
          cr = x >= 2 ? (d.get(at - 4 + v) & 0xFF) - 128 : 0;
        }
        int dr = (91881 * cr + 32768) >> 16;
        int dg = (-22554 * cb - 46802 * cr + 32768) >> 16;
        int db = (116130 * cb + 32768) >> 16;
        int luma = d.get(at + y0) & 0xFF;
        out[o + r] = clamp(luma + dr);
        out[o + g] = clamp(luma + dg);
        out[o + b] = clamp(luma + db);
        if (x + 1 < w) {
          luma = d.get(at + y1) & 0xFF;
          out[o + ps + r] = clamp(luma + dr);
          out[o + ps + g] = clamp(luma + dg);
          out[o + ps + b] = clamp(luma + db);
        }
      }
    }
    Arrays.fill(out, lines * w * ps, w * part.height() * ps, (byte) 0);
  }

  private static byte clamp(int v) {
    return (byte) (v < 0 ? 0 : v > 255 ? 255 : v);
  }
}

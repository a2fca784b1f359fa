package org.grabkit;

import java.io.ByteArrayOutputStream;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/**
 * The simulated camera's test pattern in every format it delivers, built from the formulas alone
 * (lines without padding), so conversions can be checked against values computed independently.
 */
final class PixelPattern {
  private PixelPattern() {}

  /** The 10-bit grey ramp at (x, y) of frame f. */
  static int ramp(int x, int y, long f) {
    return (int) ((x + y + f) & 0x3FF);
  }

  static int red(int x, long f) {
    return (int) ((x + f) & 0xFF);
  }

  static int green(int y, long f) {
    return (int) ((y + f) & 0xFF);
  }

  static int blue(int x, int y) {
    return (x + y) & 0xFF;
  }

  /** The significant bits of a format, from its name: Mono12p 12, BayerRG16 16, RGB8 8. */
  static int bits(PixelFormat format) {
    String digits = format.name().replaceAll("^[A-Za-z]+(\\d+).*$", "$1");
    return Integer.parseInt(digits);
  }

  /** The CFA letters at (0,0), (1,0), (0,1), (1,1) of a Bayer format. */
  static String cfa(PixelFormat format) {
    String first = format.name().substring(5, 7);
    return first + switch (first) {
      case "RG" -> "GB";
      case "GR" -> "BG";
      case "GB" -> "RG";
      default -> "GR";
    };
  }

  /** The 8-bit value of the channel a Bayer format's position (x, y) carries. */
  static int bayer8(PixelFormat format, int x, int y, long f) {
    return switch (cfa(format).charAt((y & 1) * 2 + (x & 1))) {
      case 'R' -> red(x, f);
      case 'G' -> green(y, f);
      default -> blue(x, y);
    };
  }

  /** The pattern's bytes for a width x height image of frame f, in a little-endian direct buffer. */
  static ByteBuffer bytes(PixelFormat format, int width, int height, long f) {
    String name = format.name();
    int bits = bits(format);
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    if (name.startsWith("Mono")) {
      int[] values = new int[width * height];
      for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
          int r = ramp(x, y, f);
          values[y * width + x] = bits == 8 ? r & 0xFF : r << (bits - 10);
        }
      }
      if (name.endsWith("p")) {
        long acc = 0;
        int have = 0;
        for (int v : values) {
          acc |= (long) v << have;
          for (have += bits; have >= 8; have -= 8, acc >>>= 8) {
            out.write((int) acc);
          }
        }
        if (have > 0) {
          out.write((int) acc);
        }
      } else if (name.endsWith("Packed")) {
        for (int i = 0; i < values.length; i += 2) {
          int p0 = values[i];
          int p1 = i + 1 < values.length ? values[i + 1] : 0;
          int low = (1 << (bits - 8)) - 1;
          out.write(p0 >> (bits - 8));
          out.write((p0 & low) | (p1 & low) << 4);
          if (i + 1 < values.length) {
            out.write(p1 >> (bits - 8));
          }
        }
      } else {
        for (int v : values) {
          write(out, v, bits);
        }
      }
    } else if (name.startsWith("Bayer")) {
      for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
          write(out, bayer8(format, x, y, f) << (bits - 8), bits);
        }
      }
    } else if (name.startsWith("RGB") || name.startsWith("BGR")) {
      for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
          int[] c = {red(x, f), green(y, f), blue(x, y)};
          for (int i = 0; i < 3; i++) {
            out.write(c[name.startsWith("RGB") ? i : 2 - i]);
          }
          if (name.endsWith("a8")) {
            out.write(255);
          }
        }
      }
    } else {
      // 4:2:2: Y first in YCbCr422_8 and YUV422_8, the chroma byte first in the other two.
      boolean lumaFirst = name.equals("YCbCr422_8") || name.equals("YUV422_8");
      for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
          int luma = ramp(x, y, f) & 0xFF;
          int chroma = (x & 1) == 0 ? red(x, f) : green(y, f);
          out.write(lumaFirst ? luma : chroma);
          out.write(lumaFirst ? chroma : luma);
        }
      }
    }
    byte[] bytes = out.toByteArray();
    if (bytes.length != format.bytesFor(width, height)) {
      throw new AssertionError(name + " pattern has " + bytes.length + " bytes");
    }
    return ByteBuffer.allocateDirect(bytes.length).order(ByteOrder.LITTLE_ENDIAN).put(bytes).flip();
  }

  private static void write(ByteArrayOutputStream out, int value, int bits) {
    out.write(value);
    if (bits > 8) {
      out.write(value >> 8);
    }
  }
}

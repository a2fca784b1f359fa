package org.grabkit;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.awt.image.BufferedImage;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.Arrays;
import java.util.NoSuchElementException;
import java.util.Random;
import java.util.function.IntBinaryOperator;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/** Every conversion against the simulated camera's pattern, computed from its formulas. */
class ConversionTest {
  /** Large enough that the 10-bit ramp and the 8-bit channels wrap inside the bigger images. */
  static final long F = 1010;

  static Stream<Arguments> formatsAndSizes() {
    int[][] sizes = {{1, 1}, {2, 2}, {1, 3}, {5, 3}, {33, 17}};
    return PixelFormat.known().stream()
        .filter(PixelFormat::isConvertible)
        .flatMap(f -> Arrays.stream(sizes).map(s -> Arguments.of(f, s[0], s[1])));
  }

  @ParameterizedTest
  @MethodSource("formatsAndSizes")
  void everyFormatConvertsThePatternBitExactly(PixelFormat format, int width, int height) {
    ByteBuffer data = PixelPattern.bytes(format, width, height, F);
    Frame.Part part = new Frame.Part(0, 0, data.capacity(), width, height, format, 0);
    BufferedImage image = Images.toImage(data, part, null);
    assertSame(image, Images.toImage(data, part, image));
    int[] actual = new int[width * height];
    int[] expected = new int[width * height];
    if (format.name().startsWith("Mono")) {
      int bits = PixelPattern.bits(format);
      assertEquals(
          bits == 8 ? BufferedImage.TYPE_BYTE_GRAY : BufferedImage.TYPE_USHORT_GRAY, image.getType());
      short[] values = Images.monoValues(data, part, null);
      for (int y = 0, i = 0; y < height; y++) {
        for (int x = 0; x < width; x++, i++) {
          int r = PixelPattern.ramp(x, y, F);
          int value = bits == 8 ? r & 0xFF : r << (bits - 10);
          expected[i] = value << 16 | (bits == 8 ? value : value << (16 - bits));
          actual[i] = (values[i] & 0xFFFF) << 16 | image.getRaster().getSample(x, y, 0);
        }
      }
      assertArrayEquals(expected, actual, format + " values << 16 | image sample, by pixel");
      return;
    }
    assertEquals(
        format.name().endsWith("a8") ? BufferedImage.TYPE_4BYTE_ABGR : BufferedImage.TYPE_3BYTE_BGR,
        image.getType());
    expected = expectedRgb(format, width, height);
    byte[] rgb = Images.toRgb(data, part, null);
    for (int i = 0; i < actual.length; i++) {
      actual[i] = (rgb[3 * i] & 0xFF) << 16 | (rgb[3 * i + 1] & 0xFF) << 8 | rgb[3 * i + 2] & 0xFF;
    }
    assertArrayEquals(expected, actual, format + " toRgb, 0xRRGGBB by pixel");
    for (int i = 0; i < actual.length; i++) {
      actual[i] = image.getRGB(i % width, i / width);
      expected[i] |= 0xFF00_0000;
    }
    assertArrayEquals(expected, actual, format + " toImage, 0xAARRGGBB by pixel");
  }

  /** The pattern as the documented conversions turn it into RGB, from simple references. */
  static int[] expectedRgb(PixelFormat format, int width, int height) {
    String name = format.name();
    int[] rgb = new int[width * height];
    for (int y = 0; y < height; y++) {
      for (int x = 0; x < width; x++) {
        int[] c;
        if (name.startsWith("Bayer")) {
          c = demosaic(format, width, height, x, y, (sx, sy) -> PixelPattern.bayer8(format, sx, sy, F));
        } else if (name.startsWith("RGB") || name.startsWith("BGR")) {
          c = new int[] {PixelPattern.red(x, F), PixelPattern.green(y, F), PixelPattern.blue(x, y)};
        } else {
          int luma = PixelPattern.ramp(x, y, F) & 0xFF;
          int cb = PixelPattern.red(x & ~1, F) - 128;
          int cr = width == 1 ? 0 : PixelPattern.green(y, F) - 128;
          c = new int[] {
            luma + ((91881 * cr + 32768) >> 16),
            luma + ((-22554 * cb - 46802 * cr + 32768) >> 16),
            luma + ((116130 * cb + 32768) >> 16)
          };
          double[] exact = {luma + 1.402 * cr, luma - 0.344136 * cb - 0.714136 * cr, luma + 1.772 * cb};
          for (int i = 0; i < 3; i++) {
            assertTrue(Math.abs(c[i] - exact[i]) <= 0.51, "fixed point off BT.601 at " + x + "," + y);
            c[i] = Math.max(0, Math.min(255, c[i]));
          }
        }
        rgb[y * width + x] = c[0] << 16 | c[1] << 8 | c[2];
      }
    }
    return rgb;
  }

  /** Own channel kept, others the rounded mean of the in-image 8-neighbours carrying them. */
  static int[] demosaic(
      PixelFormat format, int width, int height, int x, int y, IntBinaryOperator sample) {
    String cfa = PixelPattern.cfa(format);
    int[] c = new int[3];
    for (int ch = 0; ch < 3; ch++) {
      char letter = "RGB".charAt(ch);
      if (cfa.charAt((y & 1) * 2 + (x & 1)) == letter) {
        c[ch] = sample.applyAsInt(x, y);
        continue;
      }
      int sum = 0;
      int count = 0;
      for (int ny = y - 1; ny <= y + 1; ny++) {
        for (int nx = x - 1; nx <= x + 1; nx++) {
          if (nx >= 0 && ny >= 0 && nx < width && ny < height
              && cfa.charAt((ny & 1) * 2 + (nx & 1)) == letter) {
            sum += sample.applyAsInt(nx, ny);
            count++;
          }
        }
      }
      c[ch] = count == 0 ? 0 : (int) Math.floor((double) sum / count + 0.5);
    }
    return c;
  }

  /** Noise, unlike the pattern, makes interior means round. */
  @ParameterizedTest
  @ValueSource(strings = {"BayerGR8", "BayerRG8", "BayerGB8", "BayerBG8"})
  void bayerNoiseDemosaicsLikeTheReference(String name) {
    PixelFormat format = PixelFormat.of(name);
    int width = 9;
    int height = 7;
    byte[] noise = new byte[width * height];
    new Random(name.hashCode()).nextBytes(noise);
    Frame.Part part = new Frame.Part(0, 0, noise.length, width, height, format, 0);
    byte[] rgb = Images.toRgb(ByteBuffer.wrap(noise), part, null);
    byte[] expected = new byte[rgb.length];
    for (int i = 0; i < noise.length; i++) {
      int[] c = demosaic(format, width, height, i % width, i / width,
          (x, y) -> noise[y * width + x] & 0xFF);
      for (int ch = 0; ch < 3; ch++) {
        expected[3 * i + ch] = (byte) c[ch];
      }
    }
    assertArrayEquals(expected, rgb);
  }

  /**
   * Padded lines convert like unpadded ones; data that ends inside line 2 converts lines 0 and 1
   * as a two-line image would and blanks the rest of a reused image.
   */
  @ParameterizedTest
  @ValueSource(
      strings = {"Mono8", "Mono14", "Mono10p", "Mono12p", "Mono10Packed", "Mono12Packed",
          "BayerGB10", "BayerRG8", "BGRa8", "RGB8", "YCbCr422_8_CbYCrY"})
  void paddedAndIncompleteLinesConvertLikeWholeOnes(String name) {
    PixelFormat format = PixelFormat.of(name);
    int width = 5;
    int height = 4;
    int padding = 3;
    ByteBuffer plain = PixelPattern.bytes(format, width, height, F);
    int line = (int) format.stride(width, 0);
    ByteBuffer padded = ByteBuffer.allocate((line + padding) * height - padding);
    for (int y = 0; y < height; y++) {
      // A mono line y of frame F is line 0 of frame F + y, which starts on a byte.
      padded.position(y * (line + padding)).put(name.startsWith("Mono")
          ? PixelPattern.bytes(format, width, 1, F + y)
          : plain.slice(y * line, line));
    }
    Frame.Part part = new Frame.Part(0, 0, 0, width, height, format, 0);
    BufferedImage whole = Images.toImage(plain, part, null);
    int[] pixels = pixels(whole);
    Frame.Part paddedPart = new Frame.Part(0, 0, 0, width, height, format, padding);
    assertArrayEquals(pixels, pixels(Images.toImage(padded.clear(), paddedPart, null)));

    ByteBuffer cut = plain.slice(0, (int) format.bytesFor(width, 2) + 1);
    Frame.Part twoLines = new Frame.Part(0, 0, 0, width, 2, format, 0);
    int[] expected = Arrays.copyOf(pixels(Images.toImage(plain, twoLines, null)), pixels.length);
    assertArrayEquals(expected, pixels(Images.toImage(cut, part, whole)));
  }

  private static int[] pixels(BufferedImage image) {
    return image.getRaster().getPixels(0, 0, image.getWidth(), image.getHeight(), (int[]) null);
  }

  @Test
  void unconvertedFormatsAndWrongRequestsSayWhatFailed() {
    ByteBuffer data = ByteBuffer.allocate(64);
    Frame.Part unknown = new Frame.Part(0, 0, 0, 4, 4, new PixelFormat(0x0123_4567L), 0);
    Frame.Part bayer10p = new Frame.Part(0, 0, 0, 4, 4, PixelFormat.of("BayerRG10p"), 0);
    Frame.Part rgb = new Frame.Part(0, 0, 0, 4, 4, PixelFormat.RGB8, 0);
    Frame.Part mono = new Frame.Part(0, 0, 0, 4, 4, PixelFormat.MONO8, 0);
    Class<UnsupportedOperationException> no = UnsupportedOperationException.class;
    assertTrue(assertThrows(no, () -> Images.toImage(data, unknown, null)).getMessage()
        .startsWith("Cannot make an image of pixel format 0x01234567; Grabkit converts Mono8,"));
    assertTrue(assertThrows(no, () -> Images.toRgb(data, bayer10p, null)).getMessage()
        .startsWith("Cannot give RGB bytes of pixel format BayerRG10p (0x010A0058);"));
    assertEquals("RGB8 (0x02180014) is no grey format: toImage or toRgb convert it",
        assertThrows(no, () -> Images.monoValues(data, rgb, null)).getMessage());
    assertThrows(no, () -> Images.toRgb(data, mono, null));
    assertThrows(NoSuchElementException.class, () -> PixelFormat.of("Mono13"));

    // The camera's alpha is kept; an image of another size is not reused.
    ByteBuffer rgba = PixelPattern.bytes(PixelFormat.RGBA8, 2, 1, 0).put(7, (byte) 9);
    BufferedImage other = new BufferedImage(1, 1, BufferedImage.TYPE_4BYTE_ABGR);
    BufferedImage image =
        Images.toImage(rgba, new Frame.Part(0, 0, 0, 2, 1, PixelFormat.RGBA8, 0), other);
    assertArrayEquals(new int[] {0, 0, 0, 255, 1, 0, 1, 9}, pixels(image));
  }
}

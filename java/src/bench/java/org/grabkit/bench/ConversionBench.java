package org.grabkit.bench;

import java.awt.image.BufferedImage;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.concurrent.TimeUnit;
import org.grabkit.Frame;
import org.grabkit.Images;
import org.grabkit.PixelFormat;
import org.openjdk.jmh.annotations.Benchmark;
import org.openjdk.jmh.annotations.BenchmarkMode;
import org.openjdk.jmh.annotations.Fork;
import org.openjdk.jmh.annotations.Measurement;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.annotations.OperationsPerInvocation;
import org.openjdk.jmh.annotations.OutputTimeUnit;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.Setup;
import org.openjdk.jmh.annotations.State;
import org.openjdk.jmh.annotations.Warmup;

/**
 * Pixel conversions of a 5-megapixel frame (2448 x 2048) in a direct buffer, as cameras deliver
 * them, into reused targets as a grab loop would. One operation is one pixel and the time unit a
 * microsecond, so JMH's score is megapixels per second. Run through {@code FeatureBenchmarks}'
 * main: {@code -Dbench.args="ConversionBench -wi 2 -i 3 -f 1"}.
 */
@BenchmarkMode(Mode.Throughput)
@OutputTimeUnit(TimeUnit.MICROSECONDS)
@OperationsPerInvocation(ConversionBench.PIXELS)
@Warmup(iterations = 3, time = 1)
@Measurement(iterations = 5, time = 1)
@Fork(value = 1, jvmArgsAppend = {"-Xms1g", "-Xmx1g"})
@State(Scope.Thread)
public class ConversionBench {
  static final int WIDTH = 2448;
  static final int HEIGHT = 2048;
  static final int PIXELS = WIDTH * HEIGHT;

  ByteBuffer mono12p;
  ByteBuffer bayer;
  Frame.Part mono12pPart;
  Frame.Part bayerPart;
  short[] values;
  byte[] rgb;
  BufferedImage grey;
  BufferedImage colour;

  /** Frames of a moving ramp: the values are not what is measured, only that they vary. */
  @Setup
  public void frames() {
    mono12pPart = new Frame.Part(0, 0, 0, WIDTH, HEIGHT, PixelFormat.MONO12P, 0);
    bayerPart = new Frame.Part(0, 0, 0, WIDTH, HEIGHT, PixelFormat.BAYER_RG8, 0);
    mono12p = filled((int) PixelFormat.MONO12P.bytesFor(WIDTH, HEIGHT));
    bayer = filled((int) PixelFormat.BAYER_RG8.bytesFor(WIDTH, HEIGHT));
    values = Images.monoValues(mono12p, mono12pPart, null);
    grey = Images.toImage(mono12p, mono12pPart, null);
    rgb = Images.toRgb(bayer, bayerPart, null);
    colour = Images.toImage(bayer, bayerPart, null);
  }

  private static ByteBuffer filled(int bytes) {
    ByteBuffer b = ByteBuffer.allocateDirect(bytes).order(ByteOrder.LITTLE_ENDIAN);
    for (int i = 0; i < bytes; i++) {
      b.put(i, (byte) (i * 7 + (i >> 12)));
    }
    return b;
  }

  /** @return Mono12p unpacked to 12-bit values */
  @Benchmark
  public short[] mono12pToValues() {
    return Images.monoValues(mono12p, mono12pPart, values);
  }

  /** @return Mono12p unpacked into a 16-bit grey image */
  @Benchmark
  public BufferedImage mono12pToImage() {
    return Images.toImage(mono12p, mono12pPart, grey);
  }

  /** @return BayerRG8 demosaiced to RGB bytes */
  @Benchmark
  public byte[] bayerRG8ToRgb() {
    return Images.toRgb(bayer, bayerPart, rgb);
  }

  /** @return BayerRG8 demosaiced into an RGB image */
  @Benchmark
  public BufferedImage bayerRG8ToImage() {
    return Images.toImage(bayer, bayerPart, colour);
  }
}

package org.grabkit.gentl;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Scripts the test producers of the build tree. It opens the producer file itself, so it shares the
 * copy that the library loads, and its script outlives the library's {@code GCCloseLib}.
 * Public for the tests of {@code org.grabkit}, which script it through the public API.
 */
public final class TestProducerControl {
  public static final Path BUILD = Path.of(System.getProperty("grabkit.build.dir", "../build/release"));
  public static final String TEST_CTI = producer("test/grabkit-test.cti");
  public static final String PARTIAL_CTI = producer("test/grabkit-test-partial.cti");
  public static final String NOCLOSE_CTI = producer("test/grabkit-test-noclose.cti");
  /** The selector of an answer that serves every call of its function. */
  public static final long ANY = Long.MIN_VALUE;

  static {
    System.load(BUILD.resolve("producers/test/libgrabkit-testctl.so").toAbsolutePath().toString());
  }

  private TestProducerControl() {}

  public static String producer(String relative) {
    Path path = BUILD.resolve("producers").resolve(relative).toAbsolutePath();
    if (!Files.exists(path)) {
      throw new IllegalStateException("not built: " + path);
    }
    return path.toString();
  }

  /** Opens the producer at {@code path} for scripting and clears its script and log. */
  public static native void attach(String path);

  public static native void reset();

  /** The code that {@code function} returns from now on. */
  public static native void setResult(String function, int code);

  /**
   * What {@code function} answers when its selector (information command, index or register
   * address) is {@code selector}, or for any selector with {@link #ANY}: the code, and the bytes it
   * copies into its outputs in parameter order (null: it writes nothing).
   */
  public static native void setAnswer(String function, long selector, int code, byte[] output);

  /**
   * After a value-area copy, {@code function} reports {@code size} as the count instead of what it
   * copied (selectors as for {@link #setAnswer}).
   */
  static native void setReportedSize(String function, long selector, long size);

  /**
   * Every later call of {@code function} blocks inside the producer until {@link #release} or
   * {@link #reset}. A held {@code EventGetData} also ends on {@code EventKill} or its timeout.
   */
  static native void hold(String function);

  /** Lets the blocked calls of {@code function} go on and stops holding it. */
  static native void release(String function);

  /** How many calls of {@code function} are blocked inside the producer now. */
  static native int entered(String function);

  /** Waits until at least {@code count} calls of {@code function} are blocked inside. */
  static native boolean awaitEntered(String function, int count, long timeoutMs);

  /**
   * With {@code wait}, every {@code EventGetData} blocks until {@code EventKill} of its event
   * (abort), its timeout or a release.
   */
  static native void setWaitForKill(boolean wait);

  /** The names of the producer's calls since the last reset, one a line. */
  public static native String callLog();

  /** The same calls with their input arguments: "DSGetBufferInfo(0x7f0012345678, 0x10, 20, 8)". */
  public static native String argumentLog();

  /** The native address of a direct buffer. */
  public static native long addressOf(ByteBuffer direct);

  /** Scripts a successful answer. */
  public static void answer(String function, long selector, byte[] output) {
    setAnswer(function, selector, 0, output);
  }

  /** The bytes of a 64-bit value (a handle, a size, an address) as the producer writes them. */
  public static byte[] u64(long value) {
    return ByteBuffer.allocate(8).order(ByteOrder.nativeOrder()).putLong(value).array();
  }

  /** The bytes of a 32-bit value. */
  public static byte[] u32(int value) {
    return ByteBuffer.allocate(4).order(ByteOrder.nativeOrder()).putInt(value).array();
  }

  /** A NUL-terminated text. */
  public static byte[] text(String s) {
    return (s + "\0").getBytes(StandardCharsets.UTF_8);
  }
}

package org.grabkit.gentl;

import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Scripts the test producers of the build tree. It opens the producer file itself, so it shares the
 * copy that the library loads, and its script outlives the library's {@code GCCloseLib}.
 */
final class TestProducerControl {
  static final Path BUILD = Path.of(System.getProperty("grabkit.build.dir", "../build/release"));
  static final String TEST_CTI = producer("test/grabkit-test.cti");
  static final String PARTIAL_CTI = producer("test/grabkit-test-partial.cti");

  static {
    System.load(BUILD.resolve("producers/test/libgrabkit-testctl.so").toAbsolutePath().toString());
  }

  private TestProducerControl() {}

  static String producer(String relative) {
    Path path = BUILD.resolve("producers").resolve(relative).toAbsolutePath();
    if (!Files.exists(path)) {
      throw new IllegalStateException("not built: " + path);
    }
    return path.toString();
  }

  /** Opens the producer at {@code path} for scripting and clears its script and log. */
  static native void attach(String path);

  static native void reset();

  /** The code that {@code function} returns from now on. */
  static native void setResult(String function, int code);

  /** The names of the producer's calls since the last reset, one a line. */
  static native String callLog();
}

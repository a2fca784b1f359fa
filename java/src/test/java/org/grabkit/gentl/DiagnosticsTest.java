package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;

/**
 * The standard-error capture as Java sees it. Its threading, descriptor and tracing rules are the
 * native tests' (DiagTest); here only what crosses into Java: the captured text, and the JVM's own
 * {@code System.err}, which only another process can watch.
 */
class DiagnosticsTest {
  @Test
  void capturesReturnTheirOwnBytesUpToTheCapacity() {
    String big = numberedLines(1 << 20);
    String[][] cases = {
      {"a".repeat(100), "a".repeat(100)}, {"before\0after", "before"}, {big, big.substring(0, 20480)}
    };
    for (String[] c : cases) {
      assertEquals(c[1], StdErr.capture(() -> StdErr.write(bytes(c[0]))));
    }
    assertEquals("", StdErr.capture(() -> {}));
  }

  /** Only another process can see that a captured line never reached the real standard error. */
  @Test
  void capturedLinesDoNotLeakToTheRealStandardError() throws Exception {
    Process child = new ProcessBuilder(
        ChildJvm.command(List.of("-Xcheck:jni"), CaptureChild.class.getName())).start();
    assertTrue(child.waitFor(60, TimeUnit.SECONDS));
    String out = new String(child.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
    String err = new String(child.getErrorStream().readAllBytes(), StandardCharsets.UTF_8);
    assertEquals(0, child.exitValue(), err);
    assertEquals(
        "captured:GCInitLib()\nGCCloseLib()\nSystem.err:first 20480 bytes, checkError false\n", out);
    assertFalse(err.contains("GCInitLib()"), err);
    assertTrue(err.contains("after the capture"), err);
  }

  /** The child process of the test above. */
  static final class CaptureChild {
    public static void main(String[] args) {
      TestProducerControl.attach(TestProducerControl.TEST_CTI);
      Runnable loadAndUnload = () -> {
        gentlJNI.GCInitLib(TestProducerControl.TEST_CTI);
        gentlJNI.GCCloseLib();
      };
      gentlJNI.enableTracing(true);
      String traced = StdErr.capture(loadAndUnload);
      gentlJNI.enableTracing(false);
      // The JVM's own System.err, which the test runner has replaced in the parent: a write
      // the capture refused would set its error flag for good. Tracing is off: no line of it.
      String text = numberedLines(150_000);
      String viaSystemErr = StdErr.capture(() -> {
        loadAndUnload.run();
        System.err.print(text);
        System.err.flush();
      });
      System.out.print("captured:" + traced);
      System.out.println("System.err:"
          + (viaSystemErr.equals(text.substring(0, 20480)) ? "first 20480 bytes"
              : viaSystemErr.length() + " other bytes")
          + ", checkError " + System.err.checkError());
      System.out.flush();
      System.err.println("after the capture");
    }
  }

  /** Numbered lines: bytes taken from the wrong place or out of order show. */
  private static String numberedLines(int length) {
    StringBuilder text = new StringBuilder(length + 16);
    for (int i = 0; text.length() < length; i++) {
      text.append("line ").append(i).append('\n');
    }
    return text.substring(0, length);
  }

  private static byte[] bytes(String s) {
    return s.getBytes(StandardCharsets.UTF_8);
  }
}

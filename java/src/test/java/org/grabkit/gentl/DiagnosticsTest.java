package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;

class DiagnosticsTest {
  @AfterEach
  void tracingOff() {
    gentlJNI.enableTracing(false);
  }

  @Test
  void tracingFollowsTheSwitch() {
    TestProducerControl.attach(TestProducerControl.TEST_CTI);
    for (boolean on : new boolean[] {false, true}) {
      gentlJNI.enableTracing(on);
      String trace =
          StdErr.capture(
              () -> {
                gentlJNI.GCInitLib(TestProducerControl.TEST_CTI);
                gentlJNI.GCCloseLib();
              });
      assertEquals(on ? "GCInitLib()\nGCCloseLib()\n" : "", trace);
    }
  }

  @Test
  void capturesReturnOnlyTheirOwnBytes() {
    for (String[] c :
        new String[][] {{"a".repeat(100), "a".repeat(100)}, {"0123456789", "0123456789"},
          {"before\0after", "before"}}) {
      assertEquals(c[1], StdErr.capture(() -> StdErr.write(bytes(c[0]))));
    }
    assertEquals("", StdErr.capture(() -> {}));
  }

  @Test
  void aLargeWriterIsCutAtTheCapacityAndNeverHangs() throws Exception {
    String big =
        StdErr.capture(
            () -> {
              Thread writer = new Thread(() -> StdErr.write(bytes("z".repeat(30000))));
              writer.start();
              try {
                writer.join();
              } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
              }
            });
    assertEquals("z".repeat(20480), big);
    String text = numberedLines(1 << 20);
    assertEquals(text.substring(0, 20480), StdErr.capture(() -> StdErr.write(bytes(text))));
  }

  /** The raw natives, not the synchronized helper: the library itself must keep the order. */
  @Test
  void concurrentStartsAndStopsLeaveStandardErrorAsItWas() throws Exception {
    Path fd2 = Path.of("/proc/self/fd/2");
    Path stderrBefore = Files.readSymbolicLink(fd2);
    CountDownLatch go = new CountDownLatch(1);
    ExecutorService pool = Executors.newFixedThreadPool(4);
    try {
      List<Future<?>> threads = new ArrayList<>();
      for (int t = 0; t < 4; t++) {
        threads.add(
            pool.submit(
                () -> {
                  go.await();
                  for (int i = 0; i < 200; i++) {
                    assertEquals(0, gentlJNI.StdErrRedirectStart());
                    assertEquals("", gentlJNI.StdErrRedirectStop());
                  }
                  return null;
                }));
      }
      go.countDown();
      for (Future<?> thread : threads) {
        thread.get();
      }
    } finally {
      pool.shutdown();
    }
    assertEquals(stderrBefore, Files.readSymbolicLink(fd2));
    assertEquals("after", StdErr.capture(() -> StdErr.write(bytes("after"))));
  }

  /** Only another process can see that a captured line never reached the real standard error. */
  @Test
  void capturedTraceLinesDoNotLeakToTheRealStandardError() throws Exception {
    Path java = Path.of(System.getProperty("java.home"), "bin", "java");
    List<String> command =
        new ArrayList<>(
            List.of(
                java.toString(),
                "-Xcheck:jni",
                "-cp",
                System.getProperty("java.class.path"),
                "-Dgrabkit.build.dir=" + TestProducerControl.BUILD));
    // Under the sanitized run the child must load the same library as this test.
    String library = System.getProperty("grabkit.library.path");
    if (library != null) {
      command.add("-Dgrabkit.library.path=" + library);
    }
    command.add(CaptureChild.class.getName());
    Process child = new ProcessBuilder(command).start();
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
    public static void main(String[] args) throws IOException {
      TestProducerControl.attach(TestProducerControl.TEST_CTI);
      gentlJNI.enableTracing(true);
      String traced =
          StdErr.capture(
              () -> {
                gentlJNI.GCInitLib(TestProducerControl.TEST_CTI);
                gentlJNI.GCCloseLib();
              });
      gentlJNI.enableTracing(false);
      // The JVM's own System.err, which the test runner has replaced in the parent: a write
      // the capture refused would set its error flag for good.
      String text = numberedLines(150_000);
      String viaSystemErr =
          StdErr.capture(
              () -> {
                System.err.print(text);
                System.err.flush();
              });
      System.out.print("captured:" + traced);
      System.out.println(
          "System.err:"
              + (viaSystemErr.equals(text.substring(0, 20480))
                  ? "first 20480 bytes"
                  : viaSystemErr.length() + " other bytes")
              + ", checkError "
              + System.err.checkError());
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

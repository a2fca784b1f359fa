package org.grabkit;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTimeoutPreemptively;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import java.util.function.Consumer;
import java.util.stream.Collectors;
import java.util.stream.Stream;
import org.grabkit.cli.MainTest;
import org.grabkit.gentl.ChildJvm;
import org.grabkit.gentl.DataStream;
import org.grabkit.gentl.Device;
import org.grabkit.gentl.GenTLProducer;
import org.grabkit.gentl.TLInterface;
import org.grabkit.gentl.TransportLayer;
import org.grabkit.gentl.gentlJNI;
import org.grabkit.gentl.TestProducerControl;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** Producers in a helper process: the same answers, the same frames, and crashes that stay there. */
class IsolationTest {
  private static final Path CRASH = TestProducerControl.BUILD.resolve("producers/test/grabkit-crash.cti");
  private static final String HELPER_COMM = "grabkit-produce"; // the kernel keeps 15 characters

  @AfterEach
  void noHelperOutlivesItsProducer() throws IOException {
    System.clearProperty(Isolated.WATCHDOG_PROPERTY);
    System.clearProperty(Isolated.SHARED_DIR_PROPERTY);
    assertEquals(List.of(), helpers(ProcessHandle.current()), "helpers (or zombies) left behind");
  }

  @Test
  void anIsolatedProducerAnswersAsTheLoadedOne() {
    try (Producer local = Producer.open(Producers.simulated(), Isolation.IN_PROCESS);
        Producer isolated = Producer.open(Producers.simulated(), Isolation.PROCESS)) {
      assertEquals(Isolation.IN_PROCESS, local.isolation());
      assertEquals(Isolation.PROCESS, isolated.isolation());
      assertEquals(local.system(), isolated.system());
      assertEquals(local.interfaces(), isolated.interfaces());
      try (Camera a = local.openCamera("SimCam0");
          Camera b = isolated.openCamera("SimCam0")) {
        assertEquals(a.descriptionXml(), b.descriptionXml());
        assertArrayEquals(a.readRegisters(0x100, 64), b.readRegisters(0x100, 64));
        b.features().setInteger("Width", 320);
        assertEquals(320, b.features().getInteger("Width"));
        assertEquals(a.timestampFrequency(), b.timestampFrequency());
        assertEquals(a.streamIds(), b.streamIds());
      }
    }
  }

  /** Buffers the helper fills in place, and (where no memory can be shared) copies. */
  @ParameterizedTest
  @CsvSource({"shared, 10000", "copied, 1000"})
  void isolatedFramesAreBitExact(String memory, int count) {
    if (memory.equals("copied")) {
      System.setProperty(Isolated.SHARED_DIR_PROPERTY, "/nonexistent/grabkit");
    }
    try (Producer producer = Producer.open(Producers.simulated(), Isolation.PROCESS);
        Camera camera = Sim.small(producer, "SimCam0", PixelFormat.MONO8);
        Acquisition acq = camera.openStream().start(8)) {
      long previous = -1;
      for (int i = 0; i < count; i++) {
        try (Frame frame = acq.next(Duration.ofSeconds(5))) {
          Sim.assertPattern(frame);
          long id = frame.frameId().orElseThrow();
          assertTrue(id > previous, "frame IDs go up");
          previous = id;
        }
      }
      assertEquals(count, acq.framesDelivered());
      assertEquals(0, acq.incompleteFrames());
    }
  }

  @Test
  void aWaitInOneThreadHoldsUpNoCallOfAnother() throws Exception {
    try (Producer producer = Producer.open(Producers.simulated(), Isolation.PROCESS);
        Camera camera = producer.openCamera("SimCam0")) {
      camera.features().setEnum("TriggerMode", "On"); // no frame comes without a trigger
      try (Acquisition acq = camera.openStream().start(2)) {
        java.util.concurrent.CompletableFuture<Throwable> waiting =
            java.util.concurrent.CompletableFuture.supplyAsync(
                () -> {
                  try {
                    acq.next(Duration.ofSeconds(30)).close();
                    return null;
                  } catch (RuntimeException e) {
                    return e;
                  }
                });
        Thread.sleep(200);
        // Calls on a connection shared with the wait would come back after it, in 30 s.
        assertTimeoutPreemptively(
            Duration.ofSeconds(10),
            () -> {
              for (int i = 0; i < 100; i++) {
                assertEquals(640, camera.readInt(Sim.WIDTH));
              }
            });
        assertTrue(!waiting.isDone(), "the wait is still inside the producer");
        acq.close(); // ends the wait in the other thread
        assertTrue(waiting.get(10, TimeUnit.SECONDS) instanceof IllegalStateException);
      }
    }
  }

  /**
   * The producer closes a stream with its device: the buffers' shared memory must go then too, in
   * the helper and in this process, or a program that reopens cameras for hours grows without end.
   */
  @Test
  void closingADeviceWithItsStreamOpenReleasesTheBufferMemoryOnBothSides() throws IOException {
    try (Isolated files = Isolated.prepare(Producers.simulated(), List.of())) {
      GenTLProducer gentl = GenTLProducer.open(files.shim());
      try (TransportLayer tl = gentl.openTransportLayer();
          TLInterface itf = tl.getInterfaces().get(0).open()) {
        List<Long> pids = helpers(ProcessHandle.current());
        assertEquals(1, pids.size(), "helpers: " + pids);
        long helper = pids.get(0);
        long own = bufferMappings(ProcessHandle.current().pid());
        for (int round = 0; round < 3; round++) {
          Device dev = itf.getDevices().get(0).open(gentlJNI.DEVICE_ACCESS_CONTROL_get());
          DataStream ds = dev.openDataStream("Stream0");
          int size = (int) ds.getPayloadSize();
          for (int i = 0; i < 4; i++) {
            ds.announceBuffer(ByteBuffer.allocateDirect(size), i); // not shareable: copied
          }
          assertEquals(4, bufferMappings(helper), "round " + round);
          assertEquals(own + 4, bufferMappings(ProcessHandle.current().pid()), "round " + round);
          dev.close(); // the stream only through its device
          assertEquals(0, bufferMappings(helper), "round " + round);
          assertEquals(own, bufferMappings(ProcessHandle.current().pid()), "round " + round);
        }
      } finally {
        gentl.close();
      }
    }
  }

  /** Each misbehaviour of the crash producer's devices, and what the exception must tell. */
  @ParameterizedTest
  @CsvSource({
    "segv-in-info, query, SIGSEGV",
    "abort-in-acquisition, grab, SIGABRT",
    "hang-in-info, query, no answer to DevGetInfo within 1500 ms",
  })
  void aProducerThatCrashesFailsItsCallsAndLeavesTheJvmAndOtherProducers(
      String device, String action, String expected) throws IOException {
    System.setProperty(Isolated.WATCHDOG_PROPERTY, "1500");
    try (Producer bystander = Producer.open(Producers.simulated(), Isolation.PROCESS)) {
      Consumer<Camera> misbehave =
          "grab".equals(action)
              ? camera -> camera.openStream().start(4).next(Duration.ofSeconds(5))
              : Camera::timestampFrequency;
      try (Producer producer = Producer.open(CRASH, Isolation.PROCESS)) {
        Camera camera = producer.openCamera(device);
        ProducerCrashedException e =
            assertTimeoutPreemptively(
                Duration.ofSeconds(20),
                () -> assertThrows(ProducerCrashedException.class, () -> misbehave.accept(camera)));
        String text = e.getMessage();
        assertTrue(text.contains(CRASH.toRealPath().toString()), text);
        assertTrue(text.contains(expected), text);
        assertTrue(text.endsWith("(ID: " + ProducerCrashedException.CODE + ")"), text);
        assertTrue(text.contains("grabkit-crash: " + device + " now"), "its last words: " + text);
        // Every later call, on any object of that producer, fails the same way.
        assertThrows(ProducerCrashedException.class, producer::devices);
        assertThrows(ProducerCrashedException.class, () -> camera.readInt(0x100));
      }
      // A new open starts a new helper; the other producer never noticed.
      try (Producer again = Producer.open(CRASH, Isolation.PROCESS)) {
        assertEquals(3, again.devices().size());
      }
      assertEquals(2, bystander.devices().size());
    }
  }

  @Test
  void theToolRunsIsolatedAndReportsACrashAsAnError() {
    Map<String, String> env = Map.of();
    MainTest.Run local = MainTest.run(env, "info");
    MainTest.Run isolated = MainTest.run(env, "--isolated", "info");
    assertEquals(0, isolated.code(), isolated.err());
    assertEquals(local.out(), isolated.out());

    MainTest.Run crash =
        MainTest.run(env, "--isolated", "--cti", CRASH.toString(), "grab", "--device", "segv-in-info");
    assertEquals(1, crash.code(), crash.err());
    assertTrue(crash.err().contains("SIGSEGV"), crash.err());
  }

  @Test
  void theHelperEndsWhenTheJvmIsKilled() throws Exception {
    Process child =
        new ProcessBuilder(ChildJvm.command(List.of(), Child.class.getName()))
            .redirectErrorStream(true)
            .start();
    long helper;
    try (BufferedReader out =
        new BufferedReader(new InputStreamReader(child.getInputStream(), StandardCharsets.UTF_8))) {
      String line = out.readLine();
      assertTrue(line != null && line.startsWith("helper "), "child said: " + line);
      helper = Long.parseLong(line.substring(7).trim());
      assertTrue(alive(helper));
      child.destroyForcibly(); // SIGKILL: nothing of the JVM gets to clean up
      assertTrue(child.waitFor(10, TimeUnit.SECONDS));
    }
    long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(10);
    while (alive(helper) && System.nanoTime() < deadline) {
      Thread.sleep(20);
    }
    assertTrue(!alive(helper), "helper " + helper + " outlived its JVM");
  }

  /** Opens an isolated producer, prints its helper's pid and waits to be killed. */
  public static final class Child {
    public static void main(String[] args) throws Exception {
      Producer producer = Producer.open(Producers.simulated(), Isolation.PROCESS);
      producer.devices();
      List<Long> pids = helpers(ProcessHandle.current());
      System.out.println("helper " + (pids.size() == 1 ? pids.get(0) : "?" + pids));
      System.out.flush();
      Thread.sleep(60_000);
    }
  }

  /** Child processes that are helpers, zombies included. */
  static List<Long> helpers(ProcessHandle parent) {
    return parent
        .children()
        .map(ProcessHandle::pid)
        .filter(pid -> comm(pid).equals(HELPER_COMM))
        .collect(Collectors.toList());
  }

  private static String comm(long pid) {
    try {
      return Files.readString(Path.of("/proc/" + pid + "/comm")).trim();
    } catch (IOException e) {
      return "";
    }
  }

  /** Mappings of the isolating producer's own shared memory in process {@code pid}. */
  private static long bufferMappings(long pid) throws IOException {
    try (Stream<String> lines = Files.lines(Path.of("/proc/" + pid + "/maps"))) {
      return lines.filter(line -> line.contains("/memfd:grabkit-buffer")).count();
    }
  }

  /** Running: neither gone nor a zombie waiting for its parent. */
  private static boolean alive(long pid) {
    try {
      String stat = Files.readString(Path.of("/proc/" + pid + "/stat"));
      return stat.charAt(stat.lastIndexOf(')') + 2) != 'Z';
    } catch (IOException e) {
      return false;
    }
  }
}

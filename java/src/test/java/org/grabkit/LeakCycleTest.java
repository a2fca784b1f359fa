package org.grabkit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import org.grabkit.gentl.LiveHolders;
import org.junit.jupiter.api.Test;

/**
 * Open/close and start/stop cycles that leak in careless consumers: native holders must return to
 * their start value and the process's resident memory must stay about flat. The figures go to the
 * test's output for the record.
 */
class LeakCycleTest {
  private static final int CYCLES = Integer.getInteger("grabkit.leak.cycles", 1000);
  // Long enough for the heap to have touched its pages, which RSS counts on first use.
  private static final int WARM_UP = 3000;
  // Generous: heap and JIT noise, not a leak of a few bytes per cycle, is what this tolerates.
  private static final long RSS_GROWTH_LIMIT_KB = 48 * 1024;
  private static final Duration WAIT = Duration.ofSeconds(5);

  @Test
  void deviceOpenCloseAndAcquisitionStartStopLeaveNothingBehind() throws Exception {
    try (Producer producer = Producer.openSimulated()) {
      measure("device open/close", () -> {
        try (Camera camera = producer.openCamera("SimCam0")) {
          camera.readInt(Sim.WIDTH);
        }
      });
      try (Camera camera = Sim.small(producer, "SimCam0", PixelFormat.MONO8)) {
        measure("acquisition start/stop with a live frame", () -> {
          try (Acquisition acq = camera.openStream().start(3)) {
            acq.next(WAIT).close();
            acq.next(WAIT); // left open: the acquisition's close must cope
          }
        });
      }
    }
  }

  private static void measure(String what, Runnable cycle) throws Exception {
    for (int i = 0; i < WARM_UP; i++) {
      cycle.run();
    }
    long holders = LiveHolders.settled();
    long rss = residentKb();
    long start = System.nanoTime();
    for (int i = 0; i < CYCLES; i++) {
      cycle.run();
    }
    double seconds = (System.nanoTime() - start) / 1e9;
    long holdersAfter = LiveHolders.settled();
    long rssAfter = residentKb();
    System.out.printf(
        "%s x%d: %.2f s; live holders %d -> %d; RSS %d kB -> %d kB (%+d kB)%n",
        what, CYCLES, seconds, holders, holdersAfter, rss, rssAfter, rssAfter - rss);
    assertEquals(holders, holdersAfter, what + ": native holders leaked");
    assertTrue(rssAfter - rss < RSS_GROWTH_LIMIT_KB, what + ": RSS grew by " + (rssAfter - rss));
  }

  private static long residentKb() throws IOException {
    for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
      if (line.startsWith("VmRSS:")) {
        return Long.parseLong(line.replaceAll("\\D", ""));
      }
    }
    throw new IOException("no VmRSS in /proc/self/status");
  }
}

package org.grabkit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicLong;
import java.util.concurrent.atomic.AtomicReference;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.EnumSource;
import org.junit.jupiter.params.provider.ValueSource;

/** Listeners, interrupts and statistics against the simulated camera; ticks to nanoseconds. */
class StreamingTest {
  private static final Duration WAIT = Duration.ofSeconds(5);

  private Producer producer;
  private Camera camera;

  @BeforeEach
  void open() {
    producer = Producer.openSimulated();
    camera = Sim.small(producer, "SimCam0", PixelFormat.MONO8);
  }

  @AfterEach
  void close() {
    producer.close();
  }

  @Test
  void aListenerGetsAHundredThousandFramesInOrderAndCanCloseFromInside() throws Exception {
    long total = 100_000;
    AtomicLong calls = new AtomicLong();
    AtomicLong expectedId = new AtomicLong(-1);
    AtomicReference<String> wrong = new AtomicReference<>();
    AtomicReference<Acquisition> self = new AtomicReference<>();
    CountDownLatch started = new CountDownLatch(1);
    Acquisition acq =
        camera
            .openStream()
            .start(
                4,
                frame -> {
                  started.await();
                  Thread t = Thread.currentThread();
                  long id = frame.frameIdOr(-1);
                  if (!t.isDaemon() || !t.getName().equals("grabkit-grab-SimCam0")) {
                    wrong.compareAndSet(null, "grab thread " + t);
                  } else if (expectedId.get() >= 0 && id != expectedId.get()) {
                    wrong.compareAndSet(null, "frame " + id + " after " + (expectedId.get() - 1));
                  }
                  expectedId.set(id + 1);
                  if (calls.incrementAndGet() == total) {
                    self.get().close();
                    try {
                      frame.data();
                      wrong.set("a frame of a closed acquisition gave its data");
                    } catch (IllegalStateException expected) {
                      // what a frame of a closed acquisition does
                    }
                  }
                },
                (a, e, ended) -> wrong.compareAndSet(null, e.toString()));
    self.set(acq);
    started.countDown();
    assertTrue(acq.awaitClosed(Duration.ofMinutes(5)), "grab did not end: " + calls.get());
    assertEquals(null, wrong.get());
    assertEquals(total, calls.get());
    AcquisitionStatistics stats = acq.statistics();
    assertEquals(total, stats.delivered());
    assertEquals(0, stats.frameIdGaps());
    assertEquals(0, stats.incomplete());
    assertEquals(total * 64 * 48, stats.bytes());
    assertTrue(stats.underruns().isPresent());
    assertTrue(stats.frameRate() > 0, stats.toString());
    assertThrows(IllegalStateException.class, () -> acq.next(WAIT));
  }

  /**
   * Closed from another thread or with its camera, no listener call runs or starts once close
   * returned. (A close from inside the listener is the test above.)
   */
  @ParameterizedTest
  @ValueSource(booleans = {false, true})
  void closingEndsTheListenerCalls(boolean byTheCamera) throws Exception {
    AtomicLong calls = new AtomicLong();
    AtomicBoolean inside = new AtomicBoolean();
    CountDownLatch running = new CountDownLatch(3);
    Acquisition acq =
        camera
            .openStream()
            .start(
                3,
                frame -> {
                  inside.set(true);
                  calls.incrementAndGet();
                  running.countDown();
                  Thread.sleep(5); // so that a close from outside meets a call running
                  inside.set(false);
                });
    assertTrue(running.await(10, TimeUnit.SECONDS));
    if (byTheCamera) {
      camera.close();
    } else {
      acq.close();
    }
    assertFalse(inside.get(), "a listener call still runs after close returned");
    long after = calls.get();
    Thread.sleep(50);
    assertEquals(after, calls.get());
    assertTrue(acq.isClosed());
    assertTrue(acq.awaitClosed(Duration.ZERO));
  }

  /** Listener exceptions go to the handler, by default standard error, and the grab goes on. */
  @ParameterizedTest
  @CsvSource({"own handler", "standard error"})
  void listenerExceptionsAreReportedAndTheGrabGoesOn(String handler) throws Exception {
    List<String> reported = new CopyOnWriteArrayList<>();
    CountDownLatch six = new CountDownLatch(6);
    FrameListener listener =
        frame -> {
          six.countDown();
          if (frame.frameIdOr(0) % 2 == 0) {
            throw new IllegalArgumentException("even frame " + frame.frameIdOr(0));
          }
        };
    PrintStream err = System.err;
    ByteArrayOutputStream captured = new ByteArrayOutputStream();
    Acquisition acq;
    if (handler.equals("own handler")) {
      acq =
          camera
              .openStream()
              .start(2, listener, (a, e, ended) -> reported.add(e.getMessage() + " " + ended));
    } else {
      System.setErr(new PrintStream(captured, true, StandardCharsets.UTF_8));
      acq = camera.openStream().start(2, listener);
    }
    try {
      assertTrue(six.await(10, TimeUnit.SECONDS));
      acq.close();
    } finally {
      System.setErr(err);
    }
    long errors = acq.statistics().listenerErrors();
    assertTrue(errors >= 3, "errors: " + errors);
    if (handler.equals("own handler")) {
      assertEquals(errors, reported.size());
      assertTrue(reported.get(0).matches("even frame \\d*[02468] false"), reported.get(0));
    } else {
      String text = captured.toString(StandardCharsets.UTF_8);
      assertTrue(
          text.startsWith(
              "Grabkit: the frame listener of camera SimCam0 failed: "
                  + "java.lang.IllegalArgumentException: even frame "),
          text);
      assertTrue(text.contains("\tat org.grabkit.StreamingTest"), text);
    }
  }

  enum Ending {
    INTERRUPT_BEFORE_THE_CALL,
    INTERRUPT_WHILE_WAITING,
    CLOSING_THE_CAMERA
  }

  /**
   * A waiting next() ends at once, well before its timeout: an interrupt with the flag still set
   * and no buffer lost (afterwards every buffer still cycles); closing the camera by ending the
   * acquisition. The camera runs at 0.1 Hz, so that next() waits after the first frame.
   */
  @ParameterizedTest
  @EnumSource(Ending.class)
  void aWaitEndsOnAnInterruptOrACloseAndLosesNoBuffer(Ending ending) throws Exception {
    camera.writeInt(Sim.FRAME_RATE_MHZ, 100);
    try (Acquisition acq = camera.openStream().start(2)) {
      acq.next(WAIT).close();
      assertThrows(FrameTimeoutException.class, () -> acq.next(Duration.ofMillis(250)));
      AtomicReference<Throwable> thrown = new AtomicReference<>();
      AtomicBoolean flagSet = new AtomicBoolean();
      CountDownLatch waiting = new CountDownLatch(1);
      Thread waiter =
          new Thread(
              () -> {
                if (ending == Ending.INTERRUPT_BEFORE_THE_CALL) {
                  Thread.currentThread().interrupt();
                }
                waiting.countDown();
                try {
                  acq.next(Duration.ofMinutes(1)).close();
                } catch (Throwable e) {
                  thrown.set(e);
                  flagSet.set(Thread.currentThread().isInterrupted());
                }
              });
      waiter.start();
      waiting.await();
      Thread.sleep(Acquisition.SLICE_MS * 2); // let it wait inside the producer
      switch (ending) {
        case INTERRUPT_WHILE_WAITING -> waiter.interrupt();
        case CLOSING_THE_CAMERA -> camera.close();
        default -> {}
      }
      // A bound far above the slice, far below the timeout: the ending was seen.
      waiter.join(20_000);
      assertFalse(waiter.isAlive(), "next() did not notice the " + ending);
      if (ending == Ending.CLOSING_THE_CAMERA) {
        assertInstanceOf(IllegalStateException.class, thrown.get());
        assertTrue(acq.isClosed());
        assertThrows(IllegalStateException.class, camera::streamIds);
        camera.close();
        return;
      }
      AcquisitionInterruptedException e =
          assertInstanceOf(AcquisitionInterruptedException.class, thrown.get());
      assertInstanceOf(InterruptedException.class, e.getCause());
      assertTrue(flagSet.get(), "the interrupt flag was cleared");
      camera.writeInt(Sim.FRAME_RATE_MHZ, 0);
      for (int i = 0; i < 6; i++) {
        acq.next(WAIT).close();
      }
      assertEquals(7, acq.framesDelivered());
    }
  }

  @ParameterizedTest
  @CsvSource({
    "1000, 1000, 1000000000",
    "3, 2, 1500000000",
    "125000001, 125000000, 1000000008",
    // a clock faster than 9.2 GHz goes through a double for the fraction
    "15000000000, 10000000000, 1500000000",
    // unsigned ticks beyond 2^63 at 1 GHz stay as they are
    "-1, 1000000000, -1",
  })
  void ticksBecomeNanoseconds(long ticks, long hz, long nanos) {
    assertEquals(nanos, Frame.toNanos(ticks, hz));
  }
}

package org.grabkit.gentl;

import static org.grabkit.gentl.TestProducerControl.ANY;
import static org.grabkit.gentl.TestProducerControl.answer;
import static org.grabkit.gentl.TestProducerControl.u32;
import static org.grabkit.gentl.TestProducerControl.u64;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.ByteBuffer;
import java.util.concurrent.Callable;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.FutureTask;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * The test producer's misbehaviour on request, seen through the low-level natives: calls held
 * inside it, waits that EventKill ends, and sizes it lies about. Other tests build on these, so a
 * gate that never opens or a kill that wakes nobody must show up here first.
 */
class ProducerControlTest {
  // Only bounds a test that went wrong; passing runs never come near it.
  private static final long BOUND_MS = 30_000;
  private static final long INFINITE = -1L;
  private static final int STREAM = 0x400;
  private static final int EVENT = 0x700;

  @BeforeEach
  void load() {
    TestProducerControl.attach(TestProducerControl.TEST_CTI);
    gentlJNI.GCInitLib(TestProducerControl.TEST_CTI);
  }

  @AfterEach
  void unload() {
    TestProducerControl.reset(); // frees whatever a failed test left inside
    gentlJNI.GCCloseLib();
  }

  /** A call on a thread of its own. */
  private static <T> FutureTask<T> start(Callable<T> call) {
    FutureTask<T> task = new FutureTask<>(call);
    new Thread(task, "producer call").start();
    return task;
  }

  private static <T> T result(FutureTask<T> task) throws Exception {
    return task.get(BOUND_MS, TimeUnit.MILLISECONDS);
  }

  private static Throwable failure(FutureTask<?> task) {
    return assertThrows(ExecutionException.class, () -> result(task)).getCause();
  }

  private static int openTl() {
    answer("TLOpen", ANY, u64(0x100));
    return gentlJNI.TLOpen();
  }

  private static int registerEvent() {
    answer("GCRegisterEvent", ANY, u64(EVENT));
    return gentlJNI.GCRegisterEvent(STREAM, 1);
  }

  @Test
  void heldCallsStayInsideUntilReleasedAndThenTakeTheAnswerScriptedMeanwhile()
      throws Exception {
    int tl = openTl();
    TestProducerControl.hold("TLGetNumInterfaces");
    FutureTask<Long> first = start(() -> gentlJNI.TLGetNumInterfaces(tl));
    FutureTask<Long> second = start(() -> gentlJNI.TLGetNumInterfaces(tl));
    assertTrue(TestProducerControl.awaitEntered("TLGetNumInterfaces", 2, BOUND_MS));
    assertEquals(2, TestProducerControl.entered("TLGetNumInterfaces"));
    assertEquals(0, TestProducerControl.entered("TLOpen"));
    answer("TLGetNumInterfaces", ANY, u32(3));
    TestProducerControl.release("TLGetNumInterfaces");
    assertEquals(3L, result(first));
    assertEquals(3L, result(second));
    assertEquals(0, TestProducerControl.entered("TLGetNumInterfaces"));
    assertEquals(3L, gentlJNI.TLGetNumInterfaces(tl)); // released: no longer held

    TestProducerControl.hold("TLGetNumInterfaces");
    FutureTask<Long> third = start(() -> gentlJNI.TLGetNumInterfaces(tl));
    assertTrue(TestProducerControl.awaitEntered("TLGetNumInterfaces", 1, BOUND_MS));
    TestProducerControl.reset();
    assertEquals(0L, result(third)); // the reset forgot the answer too
  }

  @Test
  void eventKillEndsTheWaitOnItsEventOrTheNextOne() throws Exception {
    int event = registerEvent();
    TestProducerControl.setWaitForKill(true);
    FutureTask<Long> waiting = start(() -> gentlJNI.EventNewBufferGetData(event, INFINITE));
    assertTrue(TestProducerControl.awaitEntered("EventGetData", 1, BOUND_MS));
    assertEquals(0, gentlJNI.EventKill(event));
    assertInstanceOf(AbortException.class, failure(waiting));

    // Nobody waits: the kill is kept for the next wait, and for that one only.
    assertEquals(0, gentlJNI.EventKill(event));
    assertThrows(AbortException.class, () -> gentlJNI.EventNewBufferGetData(event, INFINITE));
    assertThrows(TimeoutException.class, () -> gentlJNI.EventNewBufferGetData(event, 0));

    // A kill that fails kills nothing.
    TestProducerControl.setResult("EventKill", -1006);
    assertEquals(-1006, gentlJNI.EventKill(event));
    assertThrows(TimeoutException.class, () -> gentlJNI.EventNewBufferGetData(event, 0));
  }

  @Test
  void aHeldEventWaitEndsWithTheScriptedDataWhenReleased() throws Exception {
    int event = registerEvent();
    TestProducerControl.hold("EventGetData");
    FutureTask<Long> waiting = start(() -> gentlJNI.EventNewBufferGetData(event, INFINITE));
    assertTrue(TestProducerControl.awaitEntered("EventGetData", 1, BOUND_MS));
    answer("EventGetData", ANY, LowLevelTest.concat(u64(0x500), u64(-7)));
    TestProducerControl.release("EventGetData");
    long record = result(waiting);
    try {
      assertEquals(0x500, gentlJNI.NewBufferEvent_BufferHandle_get(record));
      assertEquals(-7, gentlJNI.NewBufferEvent_userData_get(record));
    } finally {
      gentlJNI.delete_NewBufferEvent(record);
    }
  }

  @Test
  void aReportedSizeReplacesTheCountCopiedUntilReset() {
    int port = 0x600;
    ByteBuffer eight = ByteBuffer.allocateDirect(8);
    answer("GCReadPort", ANY, new byte[] {1, 2, 3});
    TestProducerControl.setReportedSize("GCReadPort", ANY, 5);
    TestProducerControl.setReportedSize("GCReadPort", 0x20000, 7);
    assertEquals(5L, gentlJNI.GCReadPort(port, 0x10000, eight));
    assertEquals(7L, gentlJNI.GCReadPort(port, 0x20000, eight));
    assertEquals(3, eight.get(2)); // the data is still copied
    TestProducerControl.reset();
    answer("GCReadPort", ANY, new byte[] {1, 2, 3});
    assertEquals(3L, gentlJNI.GCReadPort(port, 0x20000, eight));
  }
}

package org.grabkit;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.time.Duration;
import java.util.OptionalLong;
import java.util.function.Consumer;
import java.util.stream.Stream;
import org.grabkit.gentl.AbortException;
import org.grabkit.gentl.Buffer;
import org.grabkit.gentl.DataStream;
import org.grabkit.gentl.ErrorException;
import org.grabkit.gentl.GenTLException;
import org.grabkit.gentl.gentlJNI;

/**
 * A running acquisition: a fixed set of direct buffers that the camera fills in turn. {@link
 * #next(Duration)} hands out the next filled buffer as a {@link Frame}; closing the frame gives the
 * buffer back to the camera. Frames arrive in the order the camera filled them.
 *
 * <p>{@link #close()} stops the camera, ends a {@code next} that is waiting in another thread (it
 * throws {@link IllegalStateException}), takes every buffer back and closes the stream. Frames
 * still open then refuse use. {@code close} is the only method that may be called from another
 * thread while one thread uses the acquisition.
 */
public final class Acquisition implements AutoCloseable {
  // How long close waits for a next() in another thread to leave the producer.
  private static final long WAKE_UP_MS = 2000;
  private static final long INFINITE = -1; // GENTL_INFINITE as a Java long

  private final ImageStream owner;
  private final DataStream stream;
  private final ByteBuffer[] memory;
  private final Buffer[] buffers;
  // The producer's handle of each buffer as Java sees it, to recognise delivered buffers.
  private final int[] handles;
  private final boolean[] held;
  private final Object lock = new Object();
  private int event;
  private boolean eventRegistered;
  private int waiting;
  private int heldCount;
  private long delivered;
  private long incomplete;
  private long bytes;
  private boolean closed;

  Acquisition(ImageStream owner, DataStream stream, int bufferCount, int payloadSize) {
    this.owner = owner;
    this.stream = stream;
    this.memory = new ByteBuffer[bufferCount];
    this.buffers = new Buffer[bufferCount];
    this.handles = new int[bufferCount];
    this.held = new boolean[bufferCount];
    try {
      for (int i = 0; i < bufferCount; i++) {
        memory[i] = ByteBuffer.allocateDirect(payloadSize).order(ByteOrder.LITTLE_ENDIAN);
        int user = i;
        buffers[i] =
            Calls.call("DSAnnounceBuffer", () -> stream.announceBuffer(memory[user], user));
        handles[i] = buffers[i].getHandle();
        check("queue buffer", stream.queueBuffer(buffers[i], false));
      }
      int newBuffer = gentlJNI.EVENT_NEW_BUFFER_get();
      event = Calls.call("GCRegisterEvent", () -> stream.registerEvent(newBuffer));
      eventRegistered = true;
      check(
          "start acquisition",
          stream.startAcquisition(gentlJNI.ACQ_START_FLAGS_DEFAULT_get(), INFINITE));
    } catch (RuntimeException e) {
      closed = true;
      release();
      throw e;
    }
  }

  /**
   * Waits for the next filled buffer.
   *
   * @param timeout how long to wait at most
   * @return the frame; close it to give its buffer back to the camera
   * @throws org.grabkit.gentl.TimeoutException if no frame came in time
   * @throws IllegalStateException if the acquisition is closed (also while waiting), or every
   *     buffer is held by an open frame, so that none can be filled; also if the producer
   *     delivered a buffer that is not one of this acquisition's free buffers, or described it
   *     with sizes beyond its memory: the acquisition stays usable then, and a buffer of its own
   *     goes back to the camera
   */
  public Frame next(Duration timeout) {
    synchronized (lock) {
      checkOpen();
      if (heldCount == buffers.length) {
        throw new IllegalStateException(
            "All "
                + buffers.length
                + " buffers are held by open frames: close a frame before waiting for the next");
      }
      waiting++;
    }
    int user;
    int handle;
    try {
      long[] delivered =
          Calls.call("EventGetData", () -> stream.waitNewBuffer(event, millis(timeout)));
      handle = (int) delivered[0];
      user = (int) delivered[1];
    } catch (GenTLException e) {
      synchronized (lock) {
        if (closed || e instanceof AbortException) {
          checkOpen();
        }
      }
      throw e;
    } finally {
      synchronized (lock) {
        waiting--;
        lock.notifyAll();
      }
    }
    synchronized (lock) {
      checkOpen();
      return lend(identify(user, handle));
    }
  }

  /**
   * The index of the delivered buffer. The user value is only a hint: a producer may hand back
   * another value than the one announced, so the handle decides.
   */
  private int identify(int user, int handle) {
    if (user >= 0 && user < handles.length && handles[user] == handle) {
      return user;
    }
    int found = -1;
    for (int i = 0; i < handles.length; i++) {
      if (handles[i] == handle && (found < 0 || held[found])) {
        found = i;
      }
    }
    if (found < 0) {
      throw new IllegalStateException(
          "The producer delivered a buffer that this acquisition did not announce (user value "
              + user
              + ", handle 0x"
              + Integer.toHexString(handle)
              + ")");
    }
    return found;
  }

  /** Lends the buffer as a frame or, whatever fails, gives it straight back to the camera. */
  private Frame lend(int index) {
    if (held[index]) {
      // Queueing it now would let the camera overwrite a frame the program still reads.
      throw new IllegalStateException(
          "The producer delivered buffer "
              + index
              + " again while an open frame still holds it (handle 0x"
              + Integer.toHexString(handles[index])
              + ")");
    }
    Frame frame;
    try {
      frame = new Frame(this, index, buffers[index], memory[index]);
    } catch (Throwable e) {
      try {
        queue(index);
      } catch (RuntimeException refused) {
        e.addSuppressed(refused);
      }
      throw e;
    }
    held[index] = true;
    heldCount++;
    delivered++;
    bytes += frame.data().remaining();
    if (frame.isIncomplete()) {
      incomplete++;
    }
    return frame;
  }

  /**
   * Hands {@code count} frames to {@code action} one after the other, closing each after the action
   * returns (the action must not keep it).
   *
   * @param count how many frames
   * @param timeout how long to wait for each
   * @param action what to do with each frame
   * @throws org.grabkit.gentl.TimeoutException if a frame did not come in time
   */
  public void forEach(long count, Duration timeout, Consumer<? super Frame> action) {
    for (long n = 0; n < count; n++) {
      try (Frame frame = next(timeout)) {
        action.accept(frame);
      }
    }
  }

  /**
   * An endless stream of frames, each waited for with {@code timeout}; limit it, and close each
   * frame: {@code acq.frames(t).limit(100).forEach(f -> { try (f) { ... } })}.
   *
   * @param timeout how long to wait for each frame
   * @return the frames, in the order the camera filled them
   */
  public Stream<Frame> frames(Duration timeout) {
    return Stream.generate(() -> next(timeout));
  }

  /** @return the frames handed out so far */
  public long framesDelivered() {
    synchronized (lock) {
      return delivered;
    }
  }

  /** @return the frames handed out so far that the camera marked incomplete */
  public long incompleteFrames() {
    synchronized (lock) {
      return incomplete;
    }
  }

  /** @return the bytes of image data handed out so far */
  public long bytesDelivered() {
    synchronized (lock) {
      return bytes;
    }
  }

  /**
   * @return the frames the camera lost because no buffer was free (empty when the producer does not
   *     count them)
   */
  public OptionalLong underruns() {
    synchronized (lock) {
      checkOpen();
      return Unknown.askLong(stream::getNumUnderrun);
    }
  }

  /** @return the number of buffers */
  public int bufferCount() {
    return buffers.length;
  }

  /** @return whether {@link #close()} was called (or the camera or producer closed it) */
  public boolean isClosed() {
    synchronized (lock) {
      return closed;
    }
  }

  /**
   * Stops the camera, takes the buffers back and closes the stream. Safe to call more than once
   * and from another thread; refusals of the producer while tearing down are ignored, since the
   * stream is closed in the end anyway.
   */
  @Override
  public void close() {
    synchronized (lock) {
      if (closed) {
        return;
      }
      closed = true;
    }
    try {
      release();
    } finally {
      owner.close();
    }
  }

  /** Gives a frame's buffer back to the camera; nothing once the acquisition is closed. */
  void requeue(int index) {
    synchronized (lock) {
      if (closed || !held[index]) {
        return;
      }
      held[index] = false;
      heldCount--;
      queue(index);
    }
  }

  boolean isOpen() {
    synchronized (lock) {
      return !closed;
    }
  }

  String cameraId() {
    return owner.cameraId();
  }

  Camera camera() {
    return owner.camera();
  }

  private void queue(int index) {
    check("queue buffer", stream.queueBuffer(buffers[index], false));
  }

  private void release() {
    ignoring(() -> stream.stopAcquisition(gentlJNI.ACQ_STOP_FLAGS_KILL_get()));
    if (eventRegistered) {
      ignoring(() -> stream.killEvent(event));
      awaitWaiters();
    }
    ignoring(() -> stream.flushQueue(gentlJNI.ACQ_QUEUE_ALL_DISCARD_get()));
    for (Buffer buffer : buffers) {
      if (buffer != null) {
        ignoring(() -> stream.revokeBuffer(buffer));
        buffer.close();
      }
    }
    if (eventRegistered) {
      eventRegistered = false;
      ignoring(() -> stream.unregisterEvent(gentlJNI.EVENT_NEW_BUFFER_get()));
    }
  }

  private void awaitWaiters() {
    long deadline = System.nanoTime() + WAKE_UP_MS * 1_000_000;
    synchronized (lock) {
      long left;
      while (waiting > 0 && (left = deadline - System.nanoTime()) > 0) {
        try {
          lock.wait(Math.max(1, left / 1_000_000));
        } catch (InterruptedException e) {
          Thread.currentThread().interrupt();
          return;
        }
      }
    }
  }

  private void checkOpen() {
    if (closed) {
      throw new IllegalStateException("Acquisition of camera " + cameraId() + " is closed");
    }
  }

  private static void ignoring(Runnable step) {
    try {
      step.run();
    } catch (GenTLException | IllegalStateException e) {
      // Tearing down: the stream's close below frees what the producer still holds.
    }
  }

  private static void check(String what, int code) {
    if (code != 0) {
      throw new ErrorException("The producer refused to " + what + " (ID: " + code + ")");
    }
  }

  private static long millis(Duration timeout) {
    if (timeout.isNegative()) {
      return 0;
    }
    try {
      return timeout.toMillis();
    } catch (ArithmeticException e) {
      return INFINITE;
    }
  }
}

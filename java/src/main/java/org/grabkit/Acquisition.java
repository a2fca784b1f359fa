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
 * A running acquisition: a fixed set of direct buffers that the camera fills in turn. Frames come
 * either from {@link #next(Duration)}, which hands out the next filled buffer as a {@link Frame}
 * (closing the frame gives the buffer back to the camera), or, for an acquisition started with a
 * {@link FrameListener}, to that listener on a grab thread. Frames arrive in the order the camera
 * filled them.
 *
 * <p>{@link #close()} stops the camera, ends a {@code next} that is waiting in another thread (it
 * throws {@link IllegalStateException}), waits for a running listener call to return, takes every
 * buffer back and closes the stream. Frames still open then refuse use. {@code close} is the only
 * method besides the statistics that may be called from another thread while one thread uses the
 * acquisition.
 *
 * <p>Grabbing makes no garbage per frame: each buffer has one {@link Frame} object, filled anew at
 * each delivery (so a frame must not be used after its {@code close}, as it may by then stand for
 * a later delivery), and a frame costs three native calls: the wait, one read of everything the
 * frame tells, and the requeue.
 */
public final class Acquisition implements AutoCloseable {
  // How long close waits for a next() in another thread to leave the producer.
  private static final long WAKE_UP_MS = 2000;
  /**
   * The longest single wait inside the producer: the bound on how late {@code next} notices an
   * interrupt, and on how late the grab thread notices a close.
   */
  static final long SLICE_MS = 100;
  private static final long SECOND_NS = 1_000_000_000L;
  private static final long INFINITE = -1; // GENTL_INFINITE as a Java long
  private static final int INFO_LENGTH = Buffer.FRAME_INFO_PARTS + 8 * Buffer.FRAME_INFO_PART_SLOTS;

  private final ImageStream owner;
  private final DataStream stream;
  private final Buffer[] buffers;
  private final Frame[] frames;
  // The producer's handle of each buffer as Java sees it, to recognise delivered buffers.
  private final int[] handles;
  private final boolean[] held;
  private final Object lock = new Object();
  // Reused by the one thread that waits: the delivered pair, the delivered buffer's description.
  private final long[] delivery = new long[2];
  private final long[] info = new long[INFO_LENGTH];
  private final long timestampHz;
  private int event;
  private boolean eventRegistered;
  private int waiting;
  private int heldCount;
  private boolean closed;
  private boolean ended;

  // Statistics, under the lock.
  private long delivered;
  private long incomplete;
  private long bytes;
  private long frameIdGaps;
  private long lastFrameId = -1;
  private boolean anyFrameId;
  private long listenerErrors;
  private long firstNs;
  private long lastNs;
  private long windowStartNs;
  private long windowFrames;
  private double windowRate = -1;
  private OptionalLong lastUnderruns = OptionalLong.empty();

  // The listener's grab thread, if any.
  private FrameListener listener;
  private FrameListener.ErrorHandler onError = FrameListener.PRINT_TO_STDERR;
  private Thread grabThread;

  Acquisition(
      ImageStream owner, DataStream stream, int bufferCount, int payloadSize, long timestampHz) {
    this.owner = owner;
    this.stream = stream;
    this.timestampHz = timestampHz;
    this.buffers = new Buffer[bufferCount];
    this.frames = new Frame[bufferCount];
    this.handles = new int[bufferCount];
    this.held = new boolean[bufferCount];
    // An isolated producer's helper fills memory that it shares with the JVM: no copy per frame.
    boolean isolated = owner.camera().producer().isolation() == Isolation.PROCESS;
    try {
      for (int i = 0; i < bufferCount; i++) {
        Isolated.SharedMemory shared = isolated ? sharedMemory(payloadSize) : null;
        ByteBuffer memory =
            shared != null
                ? shared.memory()
                : ByteBuffer.allocateDirect(payloadSize).order(ByteOrder.LITTLE_ENDIAN);
        int user = i;
        try {
          buffers[i] = Calls.call("DSAnnounceBuffer", () -> stream.announceBuffer(memory, user));
        } finally {
          if (shared != null) {
            deleteQuietly(shared.file());
          }
        }
        frames[i] = new Frame(this, i, buffers[i], memory);
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
      ended = true;
      release();
      throw e;
    }
  }

  /** Hands every frame to {@code listener} on a new grab thread, until the acquisition closes. */
  void listen(FrameListener listener, FrameListener.ErrorHandler onError) {
    this.listener = listener;
    this.onError = onError;
    Thread thread = new Thread(this::grab, "grabkit-grab-" + cameraId());
    thread.setDaemon(true);
    synchronized (lock) {
      grabThread = thread;
    }
    thread.start();
  }

  /**
   * Waits for the next filled buffer. The wait notices {@link Thread#interrupt()} within 100 ms
   * (it waits in the producer in slices that long).
   *
   * @param timeout how long to wait at most
   * @return the frame; close it to give its buffer back to the camera
   * @throws FrameTimeoutException if no frame came in time
   * @throws AcquisitionInterruptedException if the thread is interrupted before or while waiting;
   *     its interrupt flag stays set. A buffer that came meanwhile stays for the next call.
   * @throws IllegalStateException if the acquisition is closed (also while waiting), delivers to a
   *     listener, or every buffer is held by an open frame, so that none can be filled; also if the
   *     producer delivered a buffer that is not one of this acquisition's free buffers, or
   *     described it with sizes beyond its memory: the acquisition stays usable then, and a buffer
   *     of its own goes back to the camera
   */
  public Frame next(Duration timeout) {
    synchronized (lock) {
      checkOpen();
      if (grabThread != null && Thread.currentThread() != grabThread) {
        throw new IllegalStateException(
            "The acquisition of camera " + cameraId() + " hands its frames to a listener");
      }
      if (heldCount == buffers.length) {
        throw new IllegalStateException(
            "All "
                + buffers.length
                + " buffers are held by open frames: close a frame before waiting for the next");
      }
    }
    long start = System.nanoTime();
    long limit = nanos(timeout);
    while (true) {
      if (Thread.currentThread().isInterrupted()) {
        throw new AcquisitionInterruptedException(
            "Interrupted while waiting for a frame of camera " + cameraId());
      }
      long left = limit - (System.nanoTime() - start);
      long slice = Math.max(0, Math.min(SLICE_MS, (left + 999_999) / 1_000_000));
      Frame frame = await(slice);
      if (frame != null) {
        return frame;
      }
      if (left <= slice * 1_000_000) {
        throw new FrameTimeoutException(
            "No frame from camera " + cameraId() + " within " + timeout.toMillis() + " ms");
      }
    }
  }

  /** One wait of at most {@code ms}: the frame, or null when none came. */
  private Frame await(long ms) {
    synchronized (lock) {
      checkOpen();
      waiting++;
    }
    boolean came;
    try {
      came = stream.waitNewBuffer(event, ms, delivery);
    } catch (GenTLException e) {
      synchronized (lock) {
        if (closed || e instanceof AbortException) {
          checkOpen();
        }
      }
      throw Calls.named("EventGetData", e);
    } finally {
      synchronized (lock) {
        waiting--;
        lock.notifyAll();
      }
    }
    if (!came) {
      return null;
    }
    synchronized (lock) {
      checkOpen();
      return lend(identify((int) delivery[1], (int) delivery[0]));
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
    Frame frame = frames[index];
    try {
      buffers[index].getFrameInfo(info);
      frame.fill(info);
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
    count(frame);
    return frame;
  }

  private void count(Frame frame) {
    long now = System.nanoTime();
    if (delivered == 0) {
      firstNs = now;
      windowStartNs = now;
    }
    delivered++;
    lastNs = now;
    bytes += frame.filledBytes();
    if (frame.isIncomplete()) {
      incomplete++;
    }
    long id = frame.frameIdOr(-1);
    if (frame.hasFrameId()) {
      // IDs that go back (a restart, a wrap) start counting afresh.
      if (anyFrameId && Long.compareUnsigned(id, lastFrameId + 1) > 0) {
        frameIdGaps += id - lastFrameId - 1;
      }
      lastFrameId = id;
      anyFrameId = true;
    }
    windowFrames++;
    if (now - windowStartNs >= SECOND_NS) {
      windowRate = windowFrames * 1e9 / (now - windowStartNs);
      windowStartNs = now;
      windowFrames = 0;
    }
  }

  /**
   * Hands {@code count} frames to {@code action} one after the other, closing each after the action
   * returns (the action must not keep it).
   *
   * @param count how many frames
   * @param timeout how long to wait for each
   * @param action what to do with each frame
   * @throws FrameTimeoutException if a frame did not come in time
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
   *     count them; the last known count once the acquisition is closed)
   */
  public OptionalLong underruns() {
    synchronized (lock) {
      if (closed) {
        return lastUnderruns;
      }
      lastUnderruns = Unknown.askLong(stream::getNumUnderrun);
      return lastUnderruns;
    }
  }

  /** @return everything counted so far (asks the producer for its underruns while open) */
  public AcquisitionStatistics statistics() {
    OptionalLong underruns = underruns();
    synchronized (lock) {
      long span = lastNs - firstNs;
      double rate =
          windowRate >= 0 ? windowRate : span > 0 ? (delivered - 1) * 1e9 / span : 0;
      return new AcquisitionStatistics(
          delivered,
          incomplete,
          bytes,
          underruns,
          frameIdGaps,
          listenerErrors,
          rate,
          Duration.ofNanos(delivered == 0 ? 0 : System.nanoTime() - firstNs));
    }
  }

  /**
   * @return how many ticks of the device's timestamps make a second ({@code
   *     DEVICE_INFO_TIMESTAMP_FREQUENCY}, asked once at the start; empty when the producer does not
   *     tell)
   */
  public OptionalLong timestampFrequency() {
    return timestampHz > 0 ? OptionalLong.of(timestampHz) : OptionalLong.empty();
  }

  long timestampHz() {
    return timestampHz;
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
   * Waits until the acquisition is closed and its buffers are taken back: by {@link #close()} in
   * another thread or in the listener, or by a failure of the stream that ended the grab.
   *
   * @param timeout how long to wait at most
   * @return whether it is closed
   * @throws InterruptedException if the thread is interrupted while waiting
   */
  public boolean awaitClosed(Duration timeout) throws InterruptedException {
    long start = System.nanoTime();
    long limit = nanos(timeout);
    synchronized (lock) {
      long left;
      while (!ended && (left = limit - (System.nanoTime() - start)) > 0) {
        lock.wait(Math.max(1, left / 1_000_000));
      }
      return ended;
    }
  }

  /**
   * Stops the camera, takes the buffers back and closes the stream. Safe to call more than once,
   * from another thread and from the listener. Called from another thread than the grab thread, it
   * returns only after a running listener call returned, so no listener call starts or runs after
   * it. Refusals of the producer while tearing down are ignored, since the stream is closed in the
   * end anyway.
   */
  @Override
  public void close() {
    close(true);
  }

  /** Closes; {@code signal}: tell {@link #awaitClosed} now, else the caller does it later. */
  private void close(boolean signal) {
    Thread grab;
    synchronized (lock) {
      if (closed) {
        return;
      }
      closed = true;
      grab = grabThread;
    }
    try {
      if (grab != null && grab != Thread.currentThread()) {
        wake();
        joinUninterruptibly(grab);
      }
      release();
    } finally {
      try {
        owner.close();
      } finally {
        if (signal) {
          signalEnded();
        }
      }
    }
  }

  private void signalEnded() {
    synchronized (lock) {
      ended = true;
      lock.notifyAll();
    }
  }

  /** The grab thread's loop: each frame to the listener, then back to the camera. */
  private void grab() {
    while (isOpen()) {
      Frame frame;
      try {
        frame = await(SLICE_MS);
      } catch (IllegalStateException e) {
        if (!isOpen()) {
          return;
        }
        // A delivery the producer got wrong: its buffer went back, the stream goes on.
        report(e, false);
        continue;
      } catch (RuntimeException | Error e) {
        if (isOpen()) {
          endGrab(e);
        }
        return;
      }
      if (frame == null) {
        continue;
      }
      try {
        listener.onFrame(frame);
      } catch (Throwable e) {
        synchronized (lock) {
          listenerErrors++;
        }
        report(e, false);
      }
      try {
        frame.close();
      } catch (RuntimeException | Error e) {
        // The producer refused the buffer back: the stream cannot go on as it was.
        if (isOpen()) {
          endGrab(e);
        }
        return;
      }
    }
  }

  /** Closes, then reports, and only then lets {@link #awaitClosed} return. */
  private void endGrab(Throwable e) {
    try {
      close(false);
    } catch (RuntimeException | Error failure) {
      e.addSuppressed(failure);
    }
    try {
      report(e, true);
    } finally {
      signalEnded();
    }
  }

  private void report(Throwable e, boolean ended) {
    try {
      onError.onError(this, e, ended);
    } catch (Throwable failure) {
      failure.addSuppressed(e);
      System.err.println("Grabkit: the error handler of camera " + cameraId() + " failed:");
      failure.printStackTrace();
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

  /** Stops the camera and ends a wait in the producer at once. */
  private void wake() {
    ignoring(() -> stream.stopAcquisition(gentlJNI.ACQ_STOP_FLAGS_KILL_get()));
    if (eventRegistered) {
      ignoring(() -> stream.killEvent(event));
    }
  }

  private void release() {
    try {
      lastUnderruns = Unknown.askLong(stream::getNumUnderrun);
    } catch (GenTLException | IllegalStateException e) {
      // The count is lost with the stream.
    }
    wake();
    if (eventRegistered) {
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

  /** A close must not leave the listener running because the closing thread was interrupted. */
  private static void joinUninterruptibly(Thread thread) {
    boolean interrupted = false;
    while (thread.isAlive()) {
      try {
        thread.join();
      } catch (InterruptedException e) {
        interrupted = true;
      }
    }
    if (interrupted) {
      Thread.currentThread().interrupt();
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

  /** Shared memory for a buffer, or null where none can be had (the helper then copies). */
  private static Isolated.SharedMemory sharedMemory(int size) {
    try {
      return Isolated.sharedMemory(size);
    } catch (java.io.IOException e) {
      return null;
    }
  }

  private static void deleteQuietly(java.nio.file.Path file) {
    try {
      java.nio.file.Files.deleteIfExists(file);
    } catch (java.io.IOException e) {
      // Left in the temporary directory; the mapping works either way.
    }
  }

  private static void check(String what, int code) {
    if (code != 0) {
      throw new ErrorException("The producer refused to " + what + " (ID: " + code + ")");
    }
  }

  /** A timeout in nanoseconds; negative counts as none, huge ones as forever. */
  private static long nanos(Duration timeout) {
    if (timeout.isNegative()) {
      return 0;
    }
    try {
      return timeout.toNanos();
    } catch (ArithmeticException e) {
      return Long.MAX_VALUE / 2;
    }
  }
}

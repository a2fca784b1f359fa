package org.grabkit;

import java.util.OptionalLong;
import org.grabkit.gentl.DataStream;
import org.grabkit.gentl.GenTLException;

/**
 * An opened data stream of a {@link Camera}; {@link #start(int)} begins the acquisition that the
 * stream carries. One acquisition per stream: closing it closes the stream too.
 */
public final class ImageStream extends Owner {
  private final Camera camera;
  private final DataStream stream;
  // Known from the open, so no producer is asked for it again.
  private final String id;
  private Acquisition acquisition;
  // Whether start() set TLParamsLocked, which closing the stream clears again.
  private boolean locked;

  ImageStream(Camera camera, DataStream stream, String id) {
    this.camera = camera;
    this.stream = stream;
    this.id = id;
  }

  /** @return the stream ID */
  public String id() {
    checkOpen();
    return id;
  }

  /** @return what the stream tells about itself */
  public StreamEntry info() {
    checkOpen();
    String type;
    try {
      type = Unknown.orEmpty(stream.getTransportLayerType());
    } catch (GenTLException e) {
      type = Unknown.or("DSGetInfo", e, "");
    }
    return new StreamEntry(
        id, type, payloadSize(), figure(Figure.BUFFER_ANNOUNCE_MIN), figure(Figure.ALIGNMENT));
  }

  /**
   * Announces and queues {@code bufferCount} buffers of the stream's payload size, and starts a
   * continuous acquisition into them, whose frames the program takes with {@link
   * Acquisition#next}.
   *
   * @param bufferCount how many frames may be in flight or held by the program at once (at least
   *     1; a few more than the program holds lets the camera keep running while it works)
   * @return the running acquisition
   * @throws IllegalStateException if an acquisition was started on this stream already, or the
   *     stream does not tell its payload size
   */
  public Acquisition start(int bufferCount) {
    checkOpen();
    if (bufferCount < 1) {
      throw new IllegalArgumentException("bufferCount must be at least 1, not " + bufferCount);
    }
    if (acquisition != null) {
      throw new IllegalStateException("Stream " + id() + " was started already");
    }
    long payload =
        payloadSize()
            .orElseThrow(
                () ->
                    new IllegalStateException(
                        "Stream " + id() + " does not tell its payload size"));
    if (payload <= 0 || payload > Integer.MAX_VALUE) {
      throw new IllegalStateException("Stream " + id() + " reports a payload of " + payload);
    }
    long hz = camera.timestampFrequency().orElse(0);
    locked = camera.lockTransportParameters(true);
    try {
      acquisition = adopt(new Acquisition(this, stream, bufferCount, (int) payload, hz));
    } catch (RuntimeException e) {
      unlock();
      throw e;
    }
    return acquisition;
  }

  /**
   * Starts an acquisition like {@link #start(int)} whose frames go to {@code listener} on a grab
   * thread of its own (a daemon thread named {@code grabkit-grab-<camera ID>}), until the
   * acquisition is closed. Each frame's buffer goes back to the camera when the listener returns.
   * What the listener throws is written to standard error with its stack, and the grab goes on;
   * a failure of the stream ends the grab, closes the acquisition and is written there too.
   *
   * @param bufferCount how many buffers cycle (at least 1; a few, so that the camera fills some
   *     while the listener works)
   * @param listener receives each frame
   * @return the running acquisition; {@link Acquisition#next} refuses to work on it
   */
  public Acquisition start(int bufferCount, FrameListener listener) {
    return start(bufferCount, listener, FrameListener.PRINT_TO_STDERR);
  }

  /**
   * Starts an acquisition like {@link #start(int, FrameListener)} whose errors go to {@code
   * onError}.
   *
   * @param bufferCount how many buffers cycle
   * @param listener receives each frame
   * @param onError hears about the listener's exceptions and the stream's failures, on the grab
   *     thread
   * @return the running acquisition
   */
  public Acquisition start(
      int bufferCount, FrameListener listener, FrameListener.ErrorHandler onError) {
    if (listener == null || onError == null) {
      throw new NullPointerException("a listener and an error handler are needed");
    }
    Acquisition started = start(bufferCount);
    started.listen(listener, onError);
    return started;
  }

  /** Ends the acquisition if one runs, then closes the stream. Later calls do nothing. */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void closeSelf() {
    camera.forget(this);
    try {
      stream.close();
    } finally {
      unlock();
    }
  }

  private void unlock() {
    if (locked && !camera.isClosed()) {
      camera.lockTransportParameters(false);
    }
    locked = false;
  }

  @Override
  String describe() {
    return "Stream of camera " + camera.id();
  }

  String cameraId() {
    return camera.id();
  }

  private OptionalLong payloadSize() {
    return figure(Figure.PAYLOAD_SIZE);
  }

  /** The stream's figures, asked for by a switch rather than by a lambda each (see Unknown.or). */
  private enum Figure {
    PAYLOAD_SIZE,
    BUFFER_ANNOUNCE_MIN,
    ALIGNMENT
  }

  private OptionalLong figure(Figure which) {
    try {
      switch (which) {
        case PAYLOAD_SIZE:
          return OptionalLong.of(stream.getPayloadSize());
        case BUFFER_ANNOUNCE_MIN:
          return OptionalLong.of(stream.getBufferAnnounceMin());
        default:
          return OptionalLong.of(stream.getBufferAlignment());
      }
    } catch (GenTLException e) {
      return Unknown.or("DSGetInfo", e, OptionalLong.empty());
    }
  }

  Camera camera() {
    return camera;
  }
}

package org.grabkit;

import java.util.OptionalLong;
import org.grabkit.gentl.DataStream;

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
    return new StreamEntry(
        id,
        Unknown.text(() -> Calls.call("DSGetInfo", stream::getTransportLayerType)),
        payloadSize(),
        Unknown.askLong(() -> Calls.call("DSGetInfo", stream::getBufferAnnounceMin)),
        Unknown.askLong(() -> Calls.call("DSGetInfo", stream::getBufferAlignment)));
  }

  /**
   * Announces and queues {@code bufferCount} buffers of the stream's payload size, and starts a
   * continuous acquisition into them.
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
    acquisition = adopt(new Acquisition(this, stream, bufferCount, (int) payload));
    return acquisition;
  }

  /** Ends the acquisition if one runs, then closes the stream. Later calls do nothing. */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void closeSelf() {
    camera.forget(this);
    stream.close();
  }

  @Override
  String describe() {
    return "Stream of camera " + camera.id();
  }

  String cameraId() {
    return camera.id();
  }

  private OptionalLong payloadSize() {
    return Unknown.askLong(() -> Calls.call("DSGetInfo", stream::getPayloadSize));
  }

  Camera camera() {
    return camera;
  }
}

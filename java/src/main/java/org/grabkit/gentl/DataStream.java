package org.grabkit.gentl;

import java.nio.ByteBuffer;

/**
 * An opened data stream: announces, queues and revokes buffers and starts and stops acquisition.
 * Wait for filled buffers with the new-buffer event of the stream's handle ({@link
 * gentlJNI#GCRegisterEvent}, {@link gentlJNI#EventNewBufferGetData}).
 */
public final class DataStream extends Module {
  DataStream(long holder) {
    super(holder, Deleter.DATA_STREAM);
  }

  /**
   * Wraps a stream handle obtained elsewhere; closing this object closes it in the producer.
   *
   * @param device the stream's device
   * @param handle the handle
   */
  public DataStream(Device device, int handle) {
    this(gentlJNI.new_DataStream(device.holder(), device, handle));
  }

  @Override
  void closeNative(long holder) {
    gentlJNI.DataStream_close(holder, this);
  }

  @Override
  boolean isClosedNative(long holder) {
    return gentlJNI.DataStream_isClosed(holder, this);
  }

  /**
   * @return true when open, false when closed itself
   * @throws ClosedException when an ancestor is closed
   */
  public boolean checkValid() {
    return gentlJNI.DataStream_checkValid(holder(), this);
  }

  /** @return the producer's handle, e.g. as the event source of the new-buffer event */
  public int getHandle() {
    return gentlJNI.DataStream_getHandle(holder(), this);
  }

  /** @return a new port of the stream module */
  public Port getPort() {
    return new Port(gentlJNI.DataStream_getPort(holder(), this));
  }

  /**
   * Announces a direct buffer's whole capacity to the producer. The buffer must stay reachable
   * until it is revoked: the producer writes into its memory.
   *
   * @param buffer a direct buffer (position and limit are ignored)
   * @param userData a value the producer hands back with each new-buffer event
   * @return the announced buffer
   */
  public Buffer announceBuffer(ByteBuffer buffer, int userData) {
    return new Buffer(gentlJNI.DataStream_announceBuffer(holder(), this, buffer, userData));
  }

  /**
   * Takes a buffer back from the producer.
   *
   * @param buffer an announced buffer
   * @return its user value
   */
  public int revokeBuffer(Buffer buffer) {
    return gentlJNI.DataStream_revokeBuffer(holder(), this, buffer.holder(), buffer);
  }

  /**
   * Zero-fills the buffer, then hands it to the producer for filling.
   *
   * @param buffer an announced buffer
   * @return the producer's code (0 when queued)
   */
  public int queueBuffer(Buffer buffer) {
    return gentlJNI.DataStream_queueBuffer__SWIG_1(holder(), this, buffer.holder(), buffer);
  }

  /**
   * Hands a buffer to the producer for filling.
   *
   * @param buffer an announced buffer
   * @param clear whether to zero-fill it first
   * @return the producer's code (0 when queued)
   */
  public int queueBuffer(Buffer buffer, boolean clear) {
    return gentlJNI.DataStream_queueBuffer__SWIG_0(holder(), this, buffer.holder(), buffer, clear);
  }

  /**
   * @param operation an {@code ACQ_QUEUE_*} value
   * @return the producer's code
   */
  public int flushQueue(int operation) {
    return gentlJNI.DataStream_flushQueue(holder(), this, operation);
  }

  /**
   * @param flags {@code ACQ_START_FLAGS_DEFAULT}
   * @param numToAcquire how many buffers to fill, -1 ({@code GENTL_INFINITE}) for no limit
   * @return the producer's code
   */
  public int startAcquisition(int flags, long numToAcquire) {
    return gentlJNI.DataStream_startAcquisition(holder(), this, flags, numToAcquire);
  }

  /**
   * @param flags {@code ACQ_STOP_FLAGS_DEFAULT} or {@code ACQ_STOP_FLAGS_KILL}
   * @return the producer's code
   */
  public int stopAcquisition(int flags) {
    return gentlJNI.DataStream_stopAcquisition(holder(), this, flags);
  }

  /**
   * @param cmd a {@code STREAM_INFO_*} command with a text value
   * @return the text
   */
  public String getInfoString(int cmd) {
    return gentlJNI.DataStream_getInfoString(holder(), this, cmd);
  }

  /**
   * @param cmd a {@code STREAM_INFO_*} command with a 64-bit value
   * @return the value
   */
  public long getInfoUint64(int cmd) {
    return gentlJNI.DataStream_getInfoUint64(holder(), this, cmd);
  }

  /**
   * @param cmd a {@code STREAM_INFO_*} command with a size value
   * @return the value
   */
  public long getInfoSize(int cmd) {
    return gentlJNI.DataStream_getInfoSize(holder(), this, cmd);
  }

  /**
   * @param cmd a {@code STREAM_INFO_*} command with a boolean value
   * @return the value
   */
  public boolean getInfoBool(int cmd) {
    return gentlJNI.DataStream_getInfoBool(holder(), this, cmd);
  }

  /** @return the stream ID */
  public String getID() {
    return gentlJNI.DataStream_getID(holder(), this);
  }

  /** @return the transport-layer type */
  public String getTransportLayerType() {
    return gentlJNI.DataStream_getTransportLayerType(holder(), this);
  }

  /** @return buffers delivered since the stream opened */
  public long getNumDelivered() {
    return gentlJNI.DataStream_getNumDelivered(holder(), this);
  }

  /** @return frames lost because no buffer was queued */
  public long getNumUnderrun() {
    return gentlJNI.DataStream_getNumUnderrun(holder(), this);
  }

  /** @return buffers announced */
  public long getNumAnnounced() {
    return gentlJNI.DataStream_getNumAnnounced(holder(), this);
  }

  /** @return buffers in the input queue */
  public long getNumQueued() {
    return gentlJNI.DataStream_getNumQueued(holder(), this);
  }

  /** @return the same count as {@link #getNumQueued()} */
  public long getNumAwaitingDelivery() {
    return gentlJNI.DataStream_getNumAwaitingDelivery(holder(), this);
  }

  /** @return buffers filled since acquisition started */
  public long getNumStarted() {
    return gentlJNI.DataStream_getNumStarted(holder(), this);
  }

  /** @return the bytes one buffer needs */
  public long getPayloadSize() {
    return gentlJNI.DataStream_getPayloadSize(holder(), this);
  }

  /** @return whether acquisition runs */
  public boolean isGrabbing() {
    return gentlJNI.DataStream_isGrabbing(holder(), this);
  }

  /** @return whether the stream knows the payload size */
  public boolean definesPayloadSize() {
    return gentlJNI.DataStream_definesPayloadSize(holder(), this);
  }

  /** @return the most chunks a buffer can carry */
  public long getNumChunksMax() {
    return gentlJNI.DataStream_getNumChunksMax(holder(), this);
  }

  /** @return the fewest buffers to announce before starting */
  public long getBufferAnnounceMin() {
    return gentlJNI.DataStream_getBufferAnnounceMin(holder(), this);
  }

  /** @return the alignment that buffer memory needs, in bytes */
  public long getBufferAlignment() {
    return gentlJNI.DataStream_getBufferAlignment(holder(), this);
  }

  // The new-buffer event, asked of this stream's own producer even when several are loaded.

  /**
   * Registers an event of this stream ({@code GCRegisterEvent}).
   *
   * @param type an {@code EVENT_*} type
   * @return the event handle
   */
  public int registerEvent(int type) {
    return registerEvent0(holder(), type);
  }

  /**
   * @param type the registered type
   * @return the producer's code of {@code GCUnregisterEvent}
   */
  public int unregisterEvent(int type) {
    return unregisterEvent0(holder(), type);
  }

  /**
   * Waits for the next filled buffer ({@code EventGetData} of a new-buffer event).
   *
   * @param event the handle from {@link #registerEvent(int)}
   * @param timeoutMs how long to wait at most
   * @return the buffer's handle and its user value
   * @throws TimeoutException when none came in time
   */
  public long[] waitNewBuffer(int event, long timeoutMs) {
    return waitNewBuffer0(holder(), event, timeoutMs);
  }

  /**
   * Waits for the next filled buffer like {@link #waitNewBuffer(int, long)}, without making
   * garbage: for a thread that waits again and again.
   *
   * @param event the handle from {@link #registerEvent(int)}
   * @param timeoutMs how long to wait at most
   * @param into receives the buffer's handle and its user value (length 2 or more)
   * @return true when a buffer came, false when none came in time
   */
  public boolean waitNewBuffer(int event, long timeoutMs, long[] into) {
    return waitNewBufferInto0(holder(), event, timeoutMs, into);
  }

  /**
   * Ends a wait on the event ({@code EventKill}).
   *
   * @param event the handle from {@link #registerEvent(int)}
   * @return the producer's code
   */
  public int killEvent(int event) {
    return killEvent0(holder(), event);
  }

  private static native int registerEvent0(long holder, int type);

  private static native int unregisterEvent0(long holder, int type);

  private static native long[] waitNewBuffer0(long holder, int event, long timeoutMs);

  private static native boolean waitNewBufferInto0(
      long holder, int event, long timeoutMs, long[] into);

  private static native int killEvent0(long holder, int event);
}

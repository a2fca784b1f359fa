package org.grabkit.gentl;

/**
 * A buffer announced to a {@link DataStream}. It reads what the producer reports about the
 * buffer and its parts; queueing and revoking go through the stream. Closing this proxy does not
 * revoke the buffer.
 */
public final class Buffer extends ModelObject {
  Buffer(long holder) {
    super(holder, Deleter.BUFFER);
  }

  /**
   * Wraps a buffer handle obtained elsewhere (e.g. from a new-buffer event).
   *
   * @param dataStream the buffer's stream
   * @param handle the buffer handle
   * @param userData the user value
   */
  public Buffer(DataStream dataStream, int handle, int userData) {
    this(gentlJNI.new_Buffer(dataStream.holder(), dataStream, handle, userData));
  }

  /** @return the producer's buffer handle (while the stream is open) */
  public int getHandle() {
    return gentlJNI.Buffer_getHandle(holder(), this);
  }

  /** @return the user value given at announcement */
  public int getUserData() {
    return gentlJNI.Buffer_getUserData(holder(), this);
  }

  /** @return a {@code PAYLOAD_TYPE_*} value */
  public int getPayloadType() {
    return gentlJNI.Buffer_getPayloadType(holder(), this);
  }

  /**
   * @param cmd a {@code BUFFER_INFO_*} command with a boolean value
   * @return the value
   */
  public boolean getInfoBool(int cmd) {
    return gentlJNI.Buffer_getInfoBool(holder(), this, cmd);
  }

  /**
   * @param cmd a {@code BUFFER_INFO_*} command with a 32-bit value
   * @return the value
   */
  public int getInfoInt32(int cmd) {
    return gentlJNI.Buffer_getInfoInt32(holder(), this, cmd);
  }

  /**
   * @param cmd a {@code BUFFER_INFO_*} command with a text value
   * @return the text
   */
  public String getInfoString(int cmd) {
    return gentlJNI.Buffer_getInfoString(holder(), this, cmd);
  }

  /**
   * @param cmd a {@code BUFFER_INFO_*} command with a 64-bit value (frame ID, timestamp, pixel
   *     format)
   * @return the value
   */
  public long getInfoUint64(int cmd) {
    return gentlJNI.Buffer_getInfoUint64(holder(), this, cmd);
  }

  /**
   * @param cmd a {@code BUFFER_INFO_*} command with a size value (width, height, size filled)
   * @return the value
   */
  public long getInfoSize(int cmd) {
    return gentlJNI.Buffer_getInfoSize(holder(), this, cmd);
  }

  /** @return the low 32 bits of the buffer's memory address (informative only) */
  public int getInfoPtr() {
    return gentlJNI.Buffer_getInfoPtr(holder(), this);
  }

  /**
   * A chunk of a filled buffer: data the camera sends beside the image (a timestamp, the exposure
   * it used, ...), tagged with the ID that the description file's chunk ports name.
   *
   * @param id the chunk ID
   * @param offset the chunk's first byte inside the buffer
   * @param length the chunk's size in bytes
   */
  public record Chunk(long id, long offset, long length) {}

  /**
   * The chunks the producer lists in the filled buffer ({@code DSGetBufferChunkData}). Each lies
   * inside the announced memory; a producer that says otherwise gets {@link ErrorException}.
   *
   * @return the chunks, in the producer's order
   */
  public java.util.List<Chunk> getChunks() {
    long[] flat = chunks0(holder());
    java.util.List<Chunk> chunks = new java.util.ArrayList<>(flat.length / 3);
    for (int i = 0; i + 2 < flat.length; i += 3) {
      chunks.add(new Chunk(flat[i], flat[i + 1], flat[i + 2]));
    }
    return chunks;
  }

  private static native long[] chunks0(long holder);

  // The slots of getFrameInfo. Slot FRAME_INFO_KNOWN is a mask: bit i is set when the producer
  // answered the value of slot i; values it cannot tell are 0.

  /** Mask of the slots the producer answered. */
  public static final int FRAME_INFO_KNOWN = 0;
  /** {@code BUFFER_INFO_FRAMEID}. */
  public static final int FRAME_INFO_FRAME_ID = 1;
  /** {@code BUFFER_INFO_TIMESTAMP}, in the device's ticks. */
  public static final int FRAME_INFO_TIMESTAMP = 2;
  /** {@code BUFFER_INFO_TIMESTAMP_NS}. */
  public static final int FRAME_INFO_TIMESTAMP_NS = 3;
  /** {@code BUFFER_INFO_IS_INCOMPLETE}, 1 or 0. */
  public static final int FRAME_INFO_INCOMPLETE = 4;
  /** {@code BUFFER_INFO_SIZE_FILLED}. */
  public static final int FRAME_INFO_SIZE_FILLED = 5;
  /** {@code BUFFER_INFO_PAYLOADTYPE}, read as a size value. */
  public static final int FRAME_INFO_PAYLOAD_TYPE = 6;
  /** {@code BUFFER_INFO_WIDTH} (not asked of multi-part buffers). */
  public static final int FRAME_INFO_WIDTH = 7;
  /** {@code BUFFER_INFO_HEIGHT}. */
  public static final int FRAME_INFO_HEIGHT = 8;
  /** {@code BUFFER_INFO_PIXELFORMAT}. */
  public static final int FRAME_INFO_PIXEL_FORMAT = 9;
  /** {@code BUFFER_INFO_IMAGEOFFSET}. */
  public static final int FRAME_INFO_IMAGE_OFFSET = 10;
  /** {@code BUFFER_INFO_XPADDING}. */
  public static final int FRAME_INFO_X_PADDING = 11;
  /** The part count, asked only when no single image is described. */
  public static final int FRAME_INFO_PART_COUNT = 12;
  /**
   * The first part's slots: FRAME_INFO_PART_SLOTS values per part (a mask of the known ones,
   * offset, size, width, height, pixel format, line padding), at most 8 parts.
   */
  public static final int FRAME_INFO_PARTS = 13;
  /** Slots per part. */
  public static final int FRAME_INFO_PART_SLOTS = 7;

  /**
   * Reads everything a frame needs of the filled buffer in one native call, so that a grab loop
   * neither crosses into native code per value nor makes garbage. Values the producer cannot
   * tell are left out of the mask; its other failures throw. Sizes and offsets beyond the
   * announced buffer are refused as by the single getters.
   *
   * @param into the slots {@code FRAME_INFO_*}: at least {@link #FRAME_INFO_PARTS} long, and
   *     {@link #FRAME_INFO_PART_SLOTS} more per part to be read
   */
  public void getFrameInfo(long[] into) {
    frameInfo0(holder(), into);
  }

  private static native void frameInfo0(long holder, long[] into);

  /** @return the number of parts of a multi-part buffer (1 for a plain image) */
  public long getNumBufferParts() {
    return gentlJNI.Buffer_getNumBufferParts(holder(), this);
  }

  /**
   * @param part the part index
   * @return the part's byte offset inside the buffer
   */
  public long getPartDataOffset(int part) {
    return gentlJNI.Buffer_getPartDataOffset(holder(), this, part);
  }

  /**
   * @param part the part index
   * @return the part's size in bytes
   */
  public long getPartDataSize(int part) {
    return gentlJNI.Buffer_getPartDataSize(holder(), this, part);
  }

  /**
   * @param part the part index
   * @return a {@code PART_DATATYPE_*} value
   */
  public long getPartDataType(int part) {
    return gentlJNI.Buffer_getPartDataType(holder(), this, part);
  }

  /**
   * @param part the part index
   * @return the part's pixel format
   */
  public long getPartDataFormat(int part) {
    return gentlJNI.Buffer_getPartDataFormat(holder(), this, part);
  }

  /**
   * @param part the part index
   * @return a {@code PIXELFORMAT_NAMESPACE_*} value
   */
  public long getPartDataFormatNamespace(int part) {
    return gentlJNI.Buffer_getPartDataFormatNamespace(holder(), this, part);
  }

  /**
   * @param part the part index
   * @return the part's width in pixels
   */
  public long getPartWidth(int part) {
    return gentlJNI.Buffer_getPartWidth(holder(), this, part);
  }

  /**
   * @param part the part index
   * @return the part's height in lines
   */
  public long getPartHeight(int part) {
    return gentlJNI.Buffer_getPartHeight(holder(), this, part);
  }

  /**
   * @param part the part index
   * @return the part's horizontal offset
   */
  public long getPartXOffset(int part) {
    return gentlJNI.Buffer_getPartXOffset(holder(), this, part);
  }

  /**
   * @param part the part index
   * @return the part's vertical offset
   */
  public long getPartYOffset(int part) {
    return gentlJNI.Buffer_getPartYOffset(holder(), this, part);
  }

  /**
   * @param part the part index
   * @return the padding bytes at the end of each line
   */
  public long getPartXPadding(int part) {
    return gentlJNI.Buffer_getPartXPadding(holder(), this, part);
  }

  /**
   * @param part the part index
   * @return the part's source ID
   */
  public long getPartSourceID(int part) {
    return gentlJNI.Buffer_getPartSourceID(holder(), this, part);
  }

  /**
   * @param part the part index
   * @return the lines actually delivered
   */
  public long getPartDeliveredImageHeight(int part) {
    return gentlJNI.Buffer_getPartDeliveredImageHeight(holder(), this, part);
  }

  /**
   * @param part the part index
   * @param cmd a {@code BUFFER_PART_INFO_*} command with a size value
   * @return the value
   */
  public long getBufferPartInfoSize(int part, int cmd) {
    return gentlJNI.Buffer_getBufferPartInfoSize(holder(), this, part, cmd);
  }

  /**
   * @param part the part index
   * @param cmd a {@code BUFFER_PART_INFO_*} command with a 64-bit value
   * @return the value
   */
  public long getBufferPartInfoUint64(int part, int cmd) {
    return gentlJNI.Buffer_getBufferPartInfoUint64(holder(), this, part, cmd);
  }

  /** Zero-fills the buffer's whole announced memory. */
  public void clear() {
    gentlJNI.Buffer_clear(holder(), this);
  }
}

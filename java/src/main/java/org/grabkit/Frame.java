package org.grabkit;

import java.awt.image.BufferedImage;
import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Path;
import java.time.Duration;
import java.util.List;
import java.util.NoSuchElementException;
import java.util.Optional;
import java.util.OptionalLong;
import javax.imageio.ImageIO;
import org.grabkit.gentl.Buffer;
import org.grabkit.gentl.gentlJNI;

/**
 * A filled buffer, lent to the program until {@link #close()} gives it back to the camera. The
 * data is a read-only view of the buffer's memory; the camera writes into that memory again once
 * the frame is closed, so copy what must outlive the frame. Every method of a closed frame, or of a
 * frame whose acquisition was closed, throws {@link IllegalStateException}.
 *
 * <p>Each buffer has one Frame object, filled anew each time the camera delivers the buffer, so
 * that grabbing makes no garbage: once closed, a frame may come back from {@code next} standing
 * for a later delivery, so drop the reference when closing it.
 */
public final class Frame implements AutoCloseable {
  /**
   * One image (or other data) in a frame: plain cameras deliver one part, 3-D cameras several.
   * Geometry the producer does not tell is 0.
   *
   * @param index the part's index
   * @param offset where the part starts in the buffer, in bytes
   * @param size the part's bytes
   * @param width pixels per line
   * @param height lines
   * @param pixelFormat the pixel format
   * @param linePadding bytes after each line
   */
  public record Part(
      int index,
      long offset,
      long size,
      int width,
      int height,
      PixelFormat pixelFormat,
      int linePadding) {
    /** @return whether the part is an image that can be shown (width and height known) */
    public boolean isImage() {
      return width > 0 && height > 0;
    }
  }

  // The producer's answers, by Buffer.FRAME_INFO_* slot.
  private static final int FRAME_ID = Buffer.FRAME_INFO_FRAME_ID;
  private static final int PARTS = Buffer.FRAME_INFO_PARTS;
  private static final int SLOTS = Buffer.FRAME_INFO_PART_SLOTS;
  private static final int IMAGE =
      1 << Buffer.FRAME_INFO_WIDTH | 1 << Buffer.FRAME_INFO_HEIGHT
          | 1 << Buffer.FRAME_INFO_PIXEL_FORMAT;
  private static final long NANOS_PER_SECOND = 1_000_000_000L;
  private static final long MULTI_PART = gentlJNI.PAYLOAD_TYPE_MULTI_PART_get();

  // One Frame per buffer, filled anew at each delivery: a grab loop then makes no garbage.
  private final Acquisition acquisition;
  private final int index;
  private final Buffer buffer;
  private final ByteBuffer memory;
  // The view data() hands out, rewound at each call; its limit is the filled size.
  private final ByteBuffer view;
  private int filled;
  private long known;
  private long frameId;
  private long timestamp;
  private long timestampNs;
  private boolean incomplete;
  private List<Part> parts = List.of();
  private Optional<Part> image = Optional.empty();
  private List<Buffer.Chunk> chunks;
  // Counts deliveries, so that what was attached to one delivery is not read from a later one.
  private long lending;
  private boolean closed = true;
  private final long[] partValues = new long[SLOTS];

  Frame(Acquisition acquisition, int index, Buffer buffer, ByteBuffer memory) {
    this.acquisition = acquisition;
    this.index = index;
    this.buffer = buffer;
    this.memory = memory.asReadOnlyBuffer().order(ByteOrder.LITTLE_ENDIAN);
    this.view = memory.asReadOnlyBuffer().order(ByteOrder.LITTLE_ENDIAN);
  }

  /**
   * Takes the producer's description of a new delivery (Buffer.getFrameInfo's slots). Every size
   * and offset must lie inside the buffer, since they slice its memory; on a failure the frame
   * stays closed.
   */
  void fill(long[] info) {
    long mask = info[Buffer.FRAME_INFO_KNOWN];
    int capacity = memory.capacity();
    long size = has(mask, Buffer.FRAME_INFO_SIZE_FILLED) ? info[Buffer.FRAME_INFO_SIZE_FILLED] : capacity;
    if (size < 0 || size > capacity) {
      throw new IllegalStateException(
          "The producer reported "
              + Long.toUnsignedString(size)
              + " filled bytes for a "
              + capacity
              + "-byte buffer");
    }
    List<Part> read = readParts(info, mask, size, capacity, parts);
    if (read != parts) {
      parts = read;
      image = parts.stream().filter(Part::isImage).findFirst();
    }
    known = mask;
    filled = (int) size;
    frameId = info[FRAME_ID];
    timestamp = info[Buffer.FRAME_INFO_TIMESTAMP];
    timestampNs = info[Buffer.FRAME_INFO_TIMESTAMP_NS];
    incomplete = has(mask, Buffer.FRAME_INFO_INCOMPLETE) && info[Buffer.FRAME_INFO_INCOMPLETE] != 0;
    chunks = null;
    lending++;
    closed = false;
  }

  private static boolean has(long mask, int slot) {
    return (mask >> slot & 1) != 0;
  }

  /** @return the bytes of image data the camera filled */
  int filledBytes() {
    return filled;
  }

  boolean hasFrameId() {
    return has(known, FRAME_ID);
  }

  long lending() {
    return lending;
  }

  /** The chunk of the delivery that {@code lending} counted, refused once that one is over. */
  Optional<ByteBuffer> chunk(long lending, long id) {
    if (lending != this.lending) {
      closed();
    }
    return chunk(id);
  }

  /**
   * @return the chunks the camera sent with this frame (none when the producer lists none or
   *     cannot list them)
   */
  public List<Buffer.Chunk> chunks() {
    checkOpen();
    if (chunks == null) {
      // Asked only when wanted: most programs never look at chunks.
      chunks = Unknown.ask(buffer::getChunks).orElse(List.of());
    }
    return chunks;
  }

  /**
   * @param chunk one of {@link #chunks()}
   * @return the chunk's bytes, read-only and little-endian
   */
  public ByteBuffer data(Buffer.Chunk chunk) {
    checkOpen();
    return memory.slice((int) chunk.offset(), (int) chunk.length()).order(ByteOrder.LITTLE_ENDIAN);
  }

  /**
   * @param id a chunk ID, as a {@code ChunkID} of the description file gives it
   * @return the bytes of the first chunk with that ID, read-only and little-endian; empty when
   *     the frame has none
   */
  public Optional<ByteBuffer> chunk(long id) {
    checkOpen();
    for (Buffer.Chunk c : chunks()) {
      if (c.id() == id) {
        return Optional.of(data(c));
      }
    }
    return Optional.empty();
  }

  /** The camera that took the frame. */
  Camera camera() {
    return acquisition.camera();
  }

  /**
   * The filled bytes, without a copy and without a new object: every call returns the same
   * read-only, little-endian view of this frame, rewound to position 0 with its limit at the
   * filled size. Use {@code duplicate()} for a second cursor.
   *
   * @return the filled bytes of the buffer
   */
  public ByteBuffer data() {
    checkOpen();
    view.limit(filled).position(0);
    return view;
  }

  /**
   * @param part one of {@link #parts()}
   * @return the part's bytes, read-only and little-endian
   */
  public ByteBuffer data(Part part) {
    checkOpen();
    if (part.offset() < 0 || part.size() < 0) {
      throw new IllegalArgumentException("A part cannot start or end before its frame: " + part);
    }
    // Bytes the camera did not fill are no data: an incomplete part comes out shorter.
    int start = (int) Math.min(part.offset(), filled);
    int length = (int) Math.min(part.size(), filled - start);
    return memory.slice(start, length).order(ByteOrder.LITTLE_ENDIAN);
  }

  /** @return the camera's number of this frame (empty when the producer does not tell) */
  public OptionalLong frameId() {
    checkOpen();
    return has(known, FRAME_ID) ? OptionalLong.of(frameId) : OptionalLong.empty();
  }

  /**
   * {@link #frameId()} without an object: for loops that must not make garbage.
   *
   * @param unknown what to return when the producer does not tell
   * @return the frame ID, or {@code unknown}
   */
  public long frameIdOr(long unknown) {
    checkOpen();
    return has(known, FRAME_ID) ? frameId : unknown;
  }

  /** @return when the camera took the frame, in the device's ticks (empty when unknown) */
  public OptionalLong timestamp() {
    checkOpen();
    return has(known, Buffer.FRAME_INFO_TIMESTAMP) ? OptionalLong.of(timestamp) : OptionalLong.empty();
  }

  /**
   * When the camera took the frame, in nanoseconds of the device's clock: the producer's own
   * nanosecond value where it gives one, else the ticks of {@link #timestamp()} converted with the
   * device's timestamp frequency ({@link Acquisition#timestampFrequency()}).
   *
   * @param unknown what to return when neither is known
   * @return nanoseconds since the device clock's zero (often the device's start), or {@code
   *     unknown}
   */
  public long timestampNanosOr(long unknown) {
    checkOpen();
    if (has(known, Buffer.FRAME_INFO_TIMESTAMP_NS)) {
      return timestampNs;
    }
    long hz = acquisition.timestampHz();
    if (hz <= 0 || !has(known, Buffer.FRAME_INFO_TIMESTAMP)) {
      return unknown;
    }
    return toNanos(timestamp, hz);
  }

  /**
   * @return {@link #timestampNanosOr(long)} as a time on the device's clock: its zero is the
   *     device's own (often its start), not the epoch, so it is a {@link Duration} rather than an
   *     {@link java.time.Instant}; differences between frames are exact (empty when unknown)
   */
  public Optional<Duration> deviceTime() {
    checkOpen();
    boolean knowsNs =
        has(known, Buffer.FRAME_INFO_TIMESTAMP_NS)
            || (acquisition.timestampHz() > 0 && has(known, Buffer.FRAME_INFO_TIMESTAMP));
    return knowsNs ? Optional.of(Duration.ofNanos(timestampNanosOr(0))) : Optional.empty();
  }

  /** Ticks at {@code hz} as nanoseconds, without overflowing for any tick count that fits. */
  static long toNanos(long ticks, long hz) {
    if (hz == NANOS_PER_SECOND) {
      return ticks;
    }
    long whole = Long.divideUnsigned(ticks, hz) * NANOS_PER_SECOND;
    long rest = Long.remainderUnsigned(ticks, hz); // below hz
    return hz <= Long.MAX_VALUE / NANOS_PER_SECOND
        ? whole + rest * NANOS_PER_SECOND / hz
        : whole + (long) ((double) rest * NANOS_PER_SECOND / hz);
  }

  /** @return whether the camera marked the frame incomplete (e.g. lost packets) */
  public boolean isIncomplete() {
    checkOpen();
    return incomplete;
  }

  /** @return the frame's parts (empty when the producer describes none) */
  public List<Part> parts() {
    checkOpen();
    return parts;
  }

  /** @return the first part that is an image */
  public Optional<Part> image() {
    checkOpen();
    return image;
  }

  /**
   * @return the width of {@link #image()}
   * @throws NoSuchElementException if the producer does not describe an image
   */
  public int width() {
    return requireImage().width();
  }

  /**
   * @return the height of {@link #image()}
   * @throws NoSuchElementException if the producer does not describe an image
   */
  public int height() {
    return requireImage().height();
  }

  /**
   * @return the pixel format of {@link #image()}
   * @throws NoSuchElementException if the producer does not describe an image
   */
  public PixelFormat pixelFormat() {
    return requireImage().pixelFormat();
  }

  /**
   * Copies {@link #image()} into a new image; see {@link #toImage(Part)}.
   *
   * @return the image
   * @throws UnsupportedOperationException for pixel formats it does not convert
   * @throws NoSuchElementException if the producer does not describe an image
   */
  public BufferedImage toImage() {
    return toImage(requireImage());
  }

  /**
   * Copies one part into a new image. Lines the camera did not deliver are black.
   *
   * <ul>
   *   <li>Mono8: {@code TYPE_BYTE_GRAY}, the bytes as they are.
   *   <li>Mono10, Mono12, Mono14, Mono16 (16-bit little-endian words, the value in the low N bits),
   *       Mono10p, Mono12p (one LSB-first bit stream), Mono10Packed, Mono12Packed (two pixels in
   *       three bytes, the high bits in the outer bytes): {@code TYPE_USHORT_GRAY}, each N-bit
   *       value shifted left by 16 - N so that white is white; {@link #monoValues} gives the
   *       values themselves.
   *   <li>Bayer GR, RG, GB, BG in 8, 10, 12 and 16 bits: {@code TYPE_3BYTE_BGR}, each sample first
   *       shifted right by N - 8, then demosaiced bilinearly: a pixel keeps its own channel and
   *       takes each other one as the mean, rounded half up, of those of its 8 neighbours that
   *       carry it (2 or 4 inside the image); on the border only neighbours inside the image
   *       count, and a channel none of them carries is 0.
   *   <li>RGB8, BGR8: {@code TYPE_3BYTE_BGR}; RGBa8, BGRa8: {@code TYPE_4BYTE_ABGR} with the
   *       camera's alpha.
   *   <li>YCbCr422_8 (Y0 Cb Y1 Cr), YCbCr422_8_CbYCrY (Cb Y0 Cr Y1), YUV422_8 (Y0 U Y1 V),
   *       YUV422_8_UYVY (U Y0 V Y1): {@code TYPE_3BYTE_BGR} by full-range BT.601, as JPEG
   *       uses, in 16-bit fixed point: R = Y + ((91881 Cr' + 32768) >> 16), G = Y + ((-22554 Cb'
   *       - 46802 Cr' + 32768) >> 16), B = Y + ((116130 Cb' + 32768) >> 16), with Cb' = Cb - 128,
   *       Cr' = Cr - 128, clamped to 0..255. Both pixels of a pair share its Cb and Cr; the last
   *       pixel of an odd width, which has only Cb, takes the Cr of the pair before it (128 in a
   *       line one pixel wide).
   * </ul>
   *
   * @param part an image part of this frame
   * @return the image
   * @throws UnsupportedOperationException for other pixel formats, naming the format and its value
   */
  public BufferedImage toImage(Part part) {
    return toImage(part, null);
  }

  /**
   * Converts {@link #image()} like {@link #toImage(Part)}, into {@code reuse} when it fits.
   *
   * @param reuse an image from an earlier call, or null
   * @return {@code reuse}, or a new image when it is null or of another size or type
   */
  public BufferedImage toImage(BufferedImage reuse) {
    return toImage(requireImage(), reuse);
  }

  /**
   * Converts one part like {@link #toImage(Part)}, into {@code reuse} when it fits: the same width,
   * height and type, made by {@code new BufferedImage(width, height, type)} (no sub-image). A grab
   * loop that passes back what the last call returned allocates no pixel memory per frame.
   *
   * @param part an image part of this frame
   * @param reuse an image from an earlier call, or null
   * @return {@code reuse}, or a new image when it is null or of another size or type
   */
  public BufferedImage toImage(Part part, BufferedImage reuse) {
    return Images.toImage(data(part), part, reuse);
  }

  /**
   * The grey values of {@link #image()}; see {@link #monoValues(Part, short[])}.
   *
   * @param reuse an array from an earlier call, or null
   * @return the values
   */
  public short[] monoValues(short[] reuse) {
    return monoValues(requireImage(), reuse);
  }

  /**
   * The grey values of a Mono part as the camera measured them, for measurement: unpacked, not
   * scaled, line after line without padding, pixel (x, y) at {@code y * width + x}. Mono12p gives
   * 0..4095; read them as unsigned ({@code v & 0xFFFF}), since Mono16 fills all 16 bits.
   *
   * @param part a Mono image part of this frame
   * @param reuse an array of at least width * height values to fill, or null
   * @return {@code reuse}, or a new array when it is null or too short
   * @throws UnsupportedOperationException for formats other than the Mono ones of {@link
   *     #toImage(Part)}
   */
  public short[] monoValues(Part part, short[] reuse) {
    return Images.monoValues(data(part), part, reuse);
  }

  /**
   * The RGB bytes of {@link #image()}; see {@link #toRgb(Part, byte[])}.
   *
   * @param reuse an array from an earlier call, or null
   * @return the bytes
   */
  public byte[] toRgb(byte[] reuse) {
    return toRgb(requireImage(), reuse);
  }

  /**
   * A colour part as 8-bit red, green, blue bytes, pixel (x, y) at {@code 3 * (y * width + x)},
   * converted as {@link #toImage(Part)} says (alpha dropped).
   *
   * @param part a Bayer, RGB or 4:2:2 image part of this frame
   * @param reuse an array of at least 3 * width * height bytes to fill, or null
   * @return {@code reuse}, or a new array when it is null or too short
   * @throws UnsupportedOperationException for grey and unconverted formats
   */
  public byte[] toRgb(Part part, byte[] reuse) {
    return Images.toRgb(data(part), part, reuse);
  }

  /**
   * Writes {@link #image()}, converted as {@link #toImage(Part)} says, to a PNG file (16-bit grey
   * for Mono formats of more than 8 bits).
   *
   * @param file the file to write (replaced if it exists)
   * @throws UncheckedIOException if the file cannot be written
   * @throws UnsupportedOperationException for pixel formats it does not convert
   */
  public void writePng(Path file) {
    BufferedImage image = toImage();
    try {
      if (!ImageIO.write(image, "png", file.toFile())) {
        throw new IOException("No PNG writer for " + pixelFormat());
      }
    } catch (IOException e) {
      throw new UncheckedIOException("Cannot write " + file, e);
    }
  }

  /** @return whether the frame was closed or its acquisition ended */
  public boolean isClosed() {
    return closed || !acquisition.isOpen();
  }

  /** Gives the buffer back to the camera. Later calls do nothing. */
  @Override
  public void close() {
    if (!closed) {
      closed = true;
      acquisition.requeue(index);
    }
  }

  @Override
  public String toString() {
    String id = has(known, FRAME_ID) ? Long.toUnsignedString(frameId) : "?";
    return "Frame " + id + " of camera " + acquisition.cameraId() + " " + parts;
  }

  private Part requireImage() {
    checkOpen();
    if (image.isEmpty()) {
      throw new NoSuchElementException("The producer describes no image in " + this);
    }
    return image.get();
  }

  private void checkOpen() {
    if (closed) {
      closed();
    }
    if (!acquisition.isOpen()) {
      throw new IllegalStateException(describe() + " belongs to a closed acquisition");
    }
  }

  private void closed() {
    throw new IllegalStateException(describe() + " is closed: its buffer went back to the camera");
  }

  private String describe() {
    return "Frame " + (has(known, FRAME_ID) ? Long.toUnsignedString(frameId) + " " : "") + "of camera "
        + acquisition.cameraId();
  }

  /**
   * The parts: a plain image from the buffer's own information, else the part list; producers that
   * know neither give no parts. Every offset and size must lie inside the buffer, since they slice
   * its memory. The previous delivery's list comes back when nothing changed, which is the rule
   * while a camera streams.
   */
  private List<Part> readParts(long[] info, long mask, long filled, int capacity, List<Part> last) {
    boolean multiPart =
        has(mask, Buffer.FRAME_INFO_PAYLOAD_TYPE)
            && info[Buffer.FRAME_INFO_PAYLOAD_TYPE] == MULTI_PART;
    if (!multiPart && (mask & IMAGE) == IMAGE) {
      long offset = has(mask, Buffer.FRAME_INFO_IMAGE_OFFSET) ? info[Buffer.FRAME_INFO_IMAGE_OFFSET] : 0;
      if (offset < 0 || offset > filled) {
        throw new IllegalStateException(
            "The producer reported an image offset of "
                + Long.toUnsignedString(offset)
                + " beyond the "
                + filled
                + " filled bytes of a "
                + capacity
                + "-byte buffer");
      }
      long padding = has(mask, Buffer.FRAME_INFO_X_PADDING) ? info[Buffer.FRAME_INFO_X_PADDING] : 0;
      int width = geometry("width", 0, info[Buffer.FRAME_INFO_WIDTH]);
      int height = geometry("height", 0, info[Buffer.FRAME_INFO_HEIGHT]);
      int pad = geometry("line padding", 0, padding);
      long format = info[Buffer.FRAME_INFO_PIXEL_FORMAT];
      if (last.size() == 1 && same(last.get(0), offset, filled - offset, width, height, format, pad)) {
        return last;
      }
      return List.of(new Part(0, offset, filled - offset, width, height, new PixelFormat(format), pad));
    }
    long count = has(mask, Buffer.FRAME_INFO_PART_COUNT) ? info[Buffer.FRAME_INFO_PART_COUNT] : 0;
    if (count > capacity) {
      throw new IllegalStateException(
          "The producer reported " + count + " parts for a " + capacity + "-byte buffer");
    }
    int inArray = Math.min((int) count, (info.length - PARTS) / SLOTS);
    boolean unchanged = last.size() == count;
    long[] values = partValues;
    Part[] read = null;
    for (int p = 0; p < count; p++) {
      partValues(info, p, inArray, values);
      long offset = values[1];
      long size = values[2];
      // Unsigned comparisons, so that values of 2^63 and more count as the huge sizes they are.
      if (Long.compareUnsigned(offset, capacity) > 0
          || Long.compareUnsigned(size, capacity - offset) > 0) {
        throw new IllegalStateException(
            "The producer reported part "
                + p
                + " at offset "
                + Long.toUnsignedString(offset)
                + " with "
                + Long.toUnsignedString(size)
                + " bytes, beyond a "
                + capacity
                + "-byte buffer");
      }
      int width = geometry("width", p, values[3]);
      int height = geometry("height", p, values[4]);
      int pad = geometry("line padding", p, values[6]);
      if (unchanged && same(last.get(p), offset, size, width, height, values[5], pad)) {
        continue;
      }
      if (read == null) {
        read = last.size() == count ? last.toArray(new Part[0]) : new Part[(int) count];
        unchanged = false;
      }
      read[p] = new Part(p, offset, size, width, height, new PixelFormat(values[5]), pad);
    }
    return read == null ? last : List.of(read);
  }

  /** Part p's values (slot 0 unused); asked one by one for parts beyond the batch. */
  private void partValues(long[] info, int p, int inArray, long[] into) {
    if (p < inArray) {
      int at = PARTS + p * SLOTS;
      long mask = info[at];
      for (int slot = 1; slot < SLOTS; slot++) {
        into[slot] = has(mask, slot) ? info[at + slot] : 0;
      }
      return;
    }
    into[1] = Unknown.askLong(() -> buffer.getPartDataOffset(p)).orElse(0);
    into[2] = Unknown.askLong(() -> buffer.getPartDataSize(p)).orElse(0);
    into[3] = Unknown.askLong(() -> buffer.getPartWidth(p)).orElse(0);
    into[4] = Unknown.askLong(() -> buffer.getPartHeight(p)).orElse(0);
    into[5] = Unknown.askLong(() -> buffer.getPartDataFormat(p)).orElse(0);
    into[6] = Unknown.askLong(() -> buffer.getPartXPadding(p)).orElse(0);
  }

  private static boolean same(
      Part part, long offset, long size, int width, int height, long format, int padding) {
    return part.offset() == offset
        && part.size() == size
        && part.width() == width
        && part.height() == height
        && part.pixelFormat().code() == format
        && part.linePadding() == padding;
  }

  /** A width, height or padding as an int, refused when no image could have it. */
  private static int geometry(String what, int part, long value) {
    if (value < 0 || value > Integer.MAX_VALUE) {
      throw new IllegalStateException(
          "The producer reported a " + what + " of " + Long.toUnsignedString(value) + " for part "
              + part);
    }
    return (int) value;
  }
}

package org.grabkit;

import java.awt.image.BufferedImage;
import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Path;
import java.util.ArrayList;
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

  private final Acquisition acquisition;
  private final int index;
  private final ByteBuffer data;
  private final OptionalLong frameId;
  private final OptionalLong timestamp;
  private final boolean incomplete;
  private final List<Part> parts;
  private final List<Buffer.Chunk> chunks;
  private final ByteBuffer memory;
  private boolean closed;

  Frame(Acquisition acquisition, int index, Buffer buffer, ByteBuffer memory) {
    this.acquisition = acquisition;
    this.index = index;
    frameId = Unknown.askLong(() -> buffer.getInfoUint64(gentlJNI.BUFFER_INFO_FRAMEID_get()));
    timestamp = Unknown.askLong(() -> buffer.getInfoUint64(gentlJNI.BUFFER_INFO_TIMESTAMP_get()));
    incomplete =
        Unknown.ask(() -> buffer.getInfoBool(gentlJNI.BUFFER_INFO_IS_INCOMPLETE_get()))
            .orElse(false);
    int capacity = memory.capacity();
    long filled =
        Unknown.askLong(() -> buffer.getInfoSize(gentlJNI.BUFFER_INFO_SIZE_FILLED_get()))
            .orElse(capacity);
    if (filled < 0 || filled > capacity) {
      throw new IllegalStateException(
          "The producer reported "
              + Long.toUnsignedString(filled)
              + " filled bytes for a "
              + capacity
              + "-byte buffer");
    }
    data = memory.asReadOnlyBuffer().limit((int) filled).slice().order(ByteOrder.LITTLE_ENDIAN);
    parts = readParts(buffer, filled, capacity);
    chunks = Unknown.ask(buffer::getChunks).orElse(List.of());
    this.memory = memory.asReadOnlyBuffer().order(ByteOrder.LITTLE_ENDIAN);
  }

  /**
   * @return the chunks the camera sent with this frame (none when the producer lists none or
   *     cannot list them)
   */
  public List<Buffer.Chunk> chunks() {
    checkOpen();
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
    for (Buffer.Chunk c : chunks) {
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
   * @return the filled bytes of the buffer, read-only and little-endian (each call gives a new view
   *     positioned at 0)
   */
  public ByteBuffer data() {
    checkOpen();
    return data.duplicate().order(ByteOrder.LITTLE_ENDIAN);
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
    int start = (int) Math.min(part.offset(), data.capacity());
    int length = (int) Math.min(part.size(), data.capacity() - start);
    return data.slice(start, length).order(ByteOrder.LITTLE_ENDIAN);
  }

  /** @return the camera's number of this frame (empty when the producer does not tell) */
  public OptionalLong frameId() {
    checkOpen();
    return frameId;
  }

  /** @return when the camera took the frame, in the device's ticks (empty when unknown) */
  public OptionalLong timestamp() {
    checkOpen();
    return timestamp;
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
    return parts.stream().filter(Part::isImage).findFirst();
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
    String id = frameId.isPresent() ? Long.toString(frameId.getAsLong()) : "?";
    return "Frame " + id + " of camera " + acquisition.cameraId() + " " + parts;
  }

  private Part requireImage() {
    return image()
        .orElseThrow(() -> new NoSuchElementException("The producer describes no image in " + this));
  }

  private void checkOpen() {
    if (closed) {
      throw new IllegalStateException(
          describe() + " is closed: its buffer went back to the camera");
    }
    if (!acquisition.isOpen()) {
      throw new IllegalStateException(describe() + " belongs to a closed acquisition");
    }
  }

  private String describe() {
    return "Frame " + (frameId.isPresent() ? frameId.getAsLong() + " " : "") + "of camera "
        + acquisition.cameraId();
  }

  /**
   * The parts: a plain image from the buffer's own information, else the part list; producers that
   * know neither give no parts. Every offset and size must lie inside the buffer, since they slice
   * its memory.
   */
  private static List<Part> readParts(Buffer buffer, long filled, int capacity) {
    boolean multiPart =
        Unknown.askLong(() -> buffer.getInfoSize(gentlJNI.BUFFER_INFO_PAYLOADTYPE_get()))
            .orElse(-1)
            == gentlJNI.PAYLOAD_TYPE_MULTI_PART_get();
    if (!multiPart) {
      OptionalLong width = Unknown.askLong(() -> buffer.getInfoSize(gentlJNI.BUFFER_INFO_WIDTH_get()));
      OptionalLong height =
          Unknown.askLong(() -> buffer.getInfoSize(gentlJNI.BUFFER_INFO_HEIGHT_get()));
      OptionalLong format =
          Unknown.askLong(() -> buffer.getInfoUint64(gentlJNI.BUFFER_INFO_PIXELFORMAT_get()));
      if (width.isPresent() && height.isPresent() && format.isPresent()) {
        long offset =
            Unknown.askLong(() -> buffer.getInfoSize(gentlJNI.BUFFER_INFO_IMAGEOFFSET_get()))
                .orElse(0);
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
        long padding =
            Unknown.askLong(() -> buffer.getInfoSize(gentlJNI.BUFFER_INFO_XPADDING_get()))
                .orElse(0);
        return List.of(
            new Part(
                0,
                offset,
                filled - offset,
                geometry("width", 0, width.getAsLong()),
                geometry("height", 0, height.getAsLong()),
                new PixelFormat(format.getAsLong()),
                geometry("line padding", 0, padding)));
      }
    }
    long count = Unknown.askLong(buffer::getNumBufferParts).orElse(0);
    if (count > capacity) {
      throw new IllegalStateException(
          "The producer reported " + count + " parts for a " + capacity + "-byte buffer");
    }
    List<Part> parts = new ArrayList<>();
    for (int i = 0; i < count; i++) {
      int p = i;
      long offset = Unknown.askLong(() -> buffer.getPartDataOffset(p)).orElse(0);
      long size = Unknown.askLong(() -> buffer.getPartDataSize(p)).orElse(0);
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
      parts.add(
          new Part(
              p,
              offset,
              size,
              geometry("width", p, Unknown.askLong(() -> buffer.getPartWidth(p)).orElse(0)),
              geometry("height", p, Unknown.askLong(() -> buffer.getPartHeight(p)).orElse(0)),
              new PixelFormat(Unknown.askLong(() -> buffer.getPartDataFormat(p)).orElse(0)),
              geometry(
                  "line padding", p, Unknown.askLong(() -> buffer.getPartXPadding(p)).orElse(0))));
    }
    return List.copyOf(parts);
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

package org.grabkit;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Optional;
import java.util.OptionalLong;
import org.grabkit.features.NodeMap;
import org.grabkit.features.RegisterPort;
import org.grabkit.gentl.DataStream;
import org.grabkit.gentl.Device;
import org.grabkit.gentl.GenTLException;
import org.grabkit.gentl.Port;
import org.grabkit.gentl.gentlJNI;

/**
 * An opened device: its registers, its description file and its data streams. {@link #close()}
 * ends its acquisitions, closes its streams and then the device. Not safe for use by several
 * threads at once.
 */
public final class Camera extends Owner {
  // Producers may refuse large single reads of the description file.
  private static final int READ_CHUNK = 64 * 1024;

  private final Producer producer;
  private final Device device;
  private final Port port;
  private final DeviceEntry entry;
  private ByteOrder registerOrder;
  private NodeMap features;
  private OptionalLong timestampFrequency;

  Camera(Producer producer, Device device, DeviceEntry entry) {
    this.producer = producer;
    this.device = device;
    this.entry = entry;
    try {
      this.port = device.getPort();
    } catch (GenTLException e) {
      device.close();
      throw Calls.named("DevGetPort", e);
    } catch (RuntimeException e) {
      device.close();
      throw e;
    }
  }

  Producer producer() {
    return producer;
  }

  /** @return the device as its interface listed it when it was opened */
  public DeviceEntry info() {
    return entry;
  }

  /**
   * @return how many ticks of the device's timestamps make a second ({@code
   *     DEVICE_INFO_TIMESTAMP_FREQUENCY}; empty when the producer does not tell)
   */
  public OptionalLong timestampFrequency() {
    checkOpen();
    if (timestampFrequency == null) {
      int cmd = gentlJNI.DEVICE_INFO_TIMESTAMP_FREQUENCY_get();
      OptionalLong hz =
          Unknown.askLong(() -> Calls.call("DevGetInfo", () -> device.getInfoUint64(cmd)));
      timestampFrequency = hz.isPresent() && hz.getAsLong() > 0 ? hz : OptionalLong.empty();
    }
    return timestampFrequency;
  }

  /** @return the device ID */
  public String id() {
    return entry.id();
  }

  /** @return the IDs of the device's data streams (empty when the producer does not tell) */
  public List<String> streamIds() {
    checkOpen();
    try {
      List<String> ids = device.getDataStreamIDs();
      return ids == null ? List.of() : ids;
    } catch (GenTLException e) {
      return Unknown.or("DevGetDataStreamID", e, List.of());
    }
  }

  /**
   * Opens the device's first data stream.
   *
   * @return the stream
   * @throws IllegalStateException if the device has no data stream
   */
  public ImageStream openStream() {
    List<String> ids = streamIds();
    if (ids.isEmpty()) {
      throw new IllegalStateException("Device " + id() + " has no data stream");
    }
    return openStream(ids.get(0));
  }

  /**
   * Opens a data stream.
   *
   * @param streamId one of {@link #streamIds()}
   * @return the stream
   */
  public ImageStream openStream(String streamId) {
    checkOpen();
    DataStream stream;
    try {
      stream = device.openDataStream(streamId);
    } catch (GenTLException e) {
      throw Calls.named("DevOpenDataStream", e);
    }
    return adopt(new ImageStream(this, stream, streamId));
  }

  /**
   * Reads registers of the remote device.
   *
   * @param address the first register's address
   * @param length how many bytes to read
   * @return the bytes the producer read
   */
  public byte[] readRegisters(long address, int length) {
    checkOpen();
    byte[] result = new byte[length];
    int done = 0;
    while (done < length) {
      ByteBuffer chunk = ByteBuffer.allocateDirect(Math.min(READ_CHUNK, length - done));
      long at = address + done;
      int read = (int) (long) Calls.call("GCReadPort", () -> port.read(at, chunk));
      chunk.get(0, result, done, Math.min(read, chunk.capacity()));
      done += read;
      if (read < chunk.capacity()) {
        return Arrays.copyOf(result, done);
      }
    }
    return result;
  }

  /**
   * Writes registers of the remote device.
   *
   * @param address the first register's address
   * @param data the bytes to write
   */
  public void writeRegisters(long address, byte[] data) {
    checkOpen();
    ByteBuffer buffer = ByteBuffer.allocateDirect(data.length).put(data);
    Calls.call("GCWritePort", () -> port.write(address, buffer));
  }

  /**
   * Reads a 32-bit register in the device's byte order.
   *
   * @param address the register's address
   * @return its value
   */
  public int readInt(long address) {
    return ByteBuffer.wrap(readRegisters(address, 4)).order(registerByteOrder()).getInt();
  }

  /**
   * Writes a 32-bit register in the device's byte order.
   *
   * @param address the register's address
   * @param value the value
   */
  public void writeInt(long address, int value) {
    writeRegisters(address, ByteBuffer.allocate(4).order(registerByteOrder()).putInt(value).array());
  }

  /** @return the registers' byte order as the port reports it, little-endian when it does not */
  public ByteOrder registerByteOrder() {
    checkOpen();
    if (registerOrder == null) {
      boolean big = Unknown.ask(port::isBigEndian).orElse(false);
      registerOrder = big ? ByteOrder.BIG_ENDIAN : ByteOrder.LITTLE_ENDIAN;
    }
    return registerOrder;
  }

  /** @return the URLs of the device's description files (empty when the producer has none) */
  public List<String> descriptionUrls() {
    checkOpen();
    List<String> urls = new ArrayList<>();
    int count = Unknown.ask(port::getNumPortURLs).orElse(0);
    for (int i = 0; i < count; i++) {
      int index = i;
      Unknown.ask(() -> port.getUrl(index)).ifPresent(urls::add);
    }
    return urls;
  }

  /**
   * The device's GenICam description file (of its first URL): read from the device's registers
   * for {@code Local:} URLs or from disk for {@code File:} URLs (relative ones from the producer's
   * directory), unzipped when zipped.
   *
   * @return the XML text, empty when the device has no description URL
   * @throws UnsupportedOperationException for other URL kinds (e.g. {@code Web:})
   */
  public Optional<String> descriptionXml() {
    List<String> urls = descriptionUrls();
    if (urls.isEmpty()) {
      return Optional.empty();
    }
    return Optional.of(
        DescriptionFile.fetch(urls.get(0), this::readRegisters, producer.path().getParent()));
  }

  /**
   * The device's features by name, from its description file over its registers. The file is
   * read and parsed on the first call; later calls give the same node map.
   *
   * @return the node map
   * @throws IllegalStateException if the device has no description file
   * @throws org.grabkit.features.FeatureException if the file is malformed or inconsistent
   */
  public NodeMap features() {
    checkOpen();
    if (features == null) {
      String xml = descriptionXml().orElseThrow(
          () -> new IllegalStateException("Device " + id() + " has no description file"));
      features = NodeMap.parse(xml, new RegisterPort() {
        @Override
        public void read(long address, byte[] into) {
          byte[] got = readRegisters(address, into.length);
          if (got.length < into.length) {
            throw new IllegalStateException(describe() + ": read " + got.length + " of "
                + into.length + " bytes at 0x" + Long.toHexString(address));
          }
          System.arraycopy(got, 0, into, 0, into.length);
        }

        @Override
        public void write(long address, byte[] from) {
          writeRegisters(address, from);
        }
      });
    }
    return features;
  }

  /**
   * Sets the standard {@code TLParamsLocked} feature, as a consumer does around an acquisition, so
   * that the node map itself refuses to change the image format while frames flow and says why.
   * Cameras without a description file or without the feature are left alone; so is a camera that
   * refuses the write (opened read-only, say): the lock only improves the error a user gets.
   *
   * @return whether the feature was set
   */
  boolean lockTransportParameters(boolean lock) {
    try {
      NodeMap map = features();
      if (!map.contains("TLParamsLocked") || !map.node("TLParamsLocked").isWritable()) {
        return false;
      }
      map.setInteger("TLParamsLocked", lock ? 1 : 0);
      return true;
    } catch (RuntimeException e) {
      return false;
    }
  }

  /**
   * Attaches a frame's chunk data to {@link #features()}: chunk features ({@code ChunkTimestamp},
   * {@code ChunkExposureTime}, ...) read this frame's values until another frame is attached or
   * {@link NodeMap#detachChunks()}. They are read-only, and not available once the frame is
   * closed.
   *
   * <pre>{@code
   * try (Frame frame = acquisition.next(timeout)) {
   *   long timestamp = camera.attachChunks(frame).getInteger("ChunkTimestamp");
   * }
   * }</pre>
   *
   * @param frame a frame of this camera
   * @return the node map
   * @throws IllegalArgumentException if another camera took the frame
   */
  public NodeMap attachChunks(Frame frame) {
    if (frame.camera() != this) {
      throw new IllegalArgumentException(frame + " is not a frame of camera " + id()
          + ": its chunks would not match this camera's features");
    }
    NodeMap map = features();
    // Frame objects are reused for later deliveries: the attachment is to this one only.
    long lending = frame.lending();
    map.attachChunks(id -> frame.chunk(lending, id).orElse(null));
    return map;
  }

  /** Ends the acquisitions, closes the streams, then closes the device. Later calls do nothing. */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void closeSelf() {
    producer.forget(this);
    try {
      port.close();
    } finally {
      device.close();
    }
  }

  @Override
  String describe() {
    return "Camera " + id();
  }
}

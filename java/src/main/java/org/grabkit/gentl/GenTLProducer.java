package org.grabkit.gentl;

import java.nio.charset.StandardCharsets;
import java.nio.file.Path;

/**
 * The loaded GenTL producer, root of the module tree. Only one producer can be loaded at a time;
 * {@link #close()} closes and unloads it at once. A proxy that becomes unreachable without being
 * closed only drops its reference: the library is then unloaded when the last object made under
 * it goes.
 */
public final class GenTLProducer extends ModelObject {
  private GenTLProducer(long holder) {
    super(holder, Deleter.GENTL_PRODUCER);
  }

  /**
   * Loads a producer file and runs its {@code GCInitLib} (whose error code is ignored).
   *
   * @param path the producer file ({@code *.cti})
   * @return the producer
   * @throws LoadLibraryException if the file cannot be loaded, or a producer is loaded already
   */
  public static GenTLProducer load(String path) {
    return new GenTLProducer(gentlJNI.GenTLProducer_load(path));
  }

  /**
   * Loads a producer file for good: unlike {@link #load(String)}, any file name works (the path
   * reaches the loader as UTF-8), a relative path counts from the working directory, a load that
   * fails leaves nothing loaded and says why, and the tree made under the result stays closed once
   * this producer is closed, whatever is loaded later. Producer-specific error codes of calls in
   * this tree are errors ({@link ErrorException} with the producer's text and code).
   *
   * @param path the producer file ({@code *.cti})
   * @return the producer
   * @throws LoadLibraryException naming the file and the reason (the loader's own text, a missing
   *     {@code GCInitLib}, the code of a failing {@code GCInitLib}), or when a producer is loaded
   *     already
   */
  public static GenTLProducer open(Path path) {
    NativeLibrary.load();
    byte[] file =
        path.toAbsolutePath().normalize().toString().getBytes(StandardCharsets.UTF_8);
    return new GenTLProducer(open0(file));
  }

  private static native long open0(byte[] utf8Path);

  /**
   * The system information of this producer ({@code GCGetInfo}), asked of this producer's own
   * load even when several are loaded.
   *
   * @param cmd a {@code TL_INFO_*} command
   * @return the text
   */
  public String getInfoString(int cmd) {
    return getInfoString0(holder(), cmd);
  }

  private static native String getInfoString0(long holder, int cmd);

  /**
   * @param cmd a {@code TL_INFO_*} command of a 32-bit value
   * @return the value, from this producer's own load
   */
  public int getInfoInt32(int cmd) {
    return getInfoInt320(holder(), cmd);
  }

  private static native int getInfoInt320(long holder, int cmd);

  /**
   * Opens the system module (again at each call).
   *
   * @return the transport layer
   */
  public TransportLayer openTransportLayer() {
    return new TransportLayer(gentlJNI.GenTLProducer_openTransportLayer(holder(), this));
  }

  /** @return whether this producer was closed or the library is no longer initialised */
  public boolean isClosed() {
    return released() || gentlJNI.GenTLProducer_isClosed(holder(), this);
  }

  /**
   * @return true while loaded, false after this producer was closed while another one is loaded
   * @throws ClosedException "GenTL lib is closed, cannot access GenTLProducer" when none is loaded
   */
  public boolean checkValid() {
    return gentlJNI.GenTLProducer_checkValid(holder(), this);
  }

  /** Closes and unloads the producer unless it is closed already, then releases the proxy. */
  @Override
  public synchronized void close() {
    if (released()) {
      return;
    }
    try {
      gentlJNI.GenTLProducer_close(holder(), this);
    } finally {
      release();
    }
  }
}

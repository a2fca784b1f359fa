package org.grabkit.gentl;

/**
 * The loaded GenTL producer, root of the module tree. Only one producer can be loaded at a time;
 * {@link #close()} closes and unloads it at once. A proxy that becomes unreachable without being
 * closed only drops its reference: the library is then unloaded when the last object made under
 * it goes.
 */
public final class GenTLProducer extends ModelObject {
  private GenTLProducer(long holder) {
    super(holder, gentlJNI::delete_GenTLProducer);
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
  public void close() {
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

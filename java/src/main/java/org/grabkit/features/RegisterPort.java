package org.grabkit.features;

/**
 * The register space a node map reads and writes: a camera's remote port, or a byte array in
 * tests. Implementations report failures as unchecked exceptions.
 */
public interface RegisterPort {
  /**
   * Reads registers.
   *
   * @param address the first byte's address
   * @param into receives exactly {@code into.length} bytes
   */
  void read(long address, byte[] into);

  /**
   * Writes registers.
   *
   * @param address the first byte's address
   * @param from the bytes to write
   */
  void write(long address, byte[] from);
}

package org.grabkit.gentl;

import java.nio.ByteBuffer;

/**
 * The register port of an opened module: register reads and writes, the port's information and
 * the URLs of its description files. Only {@link #checkValid()} and {@link #getHandle()} consult
 * the module's closed state; everything else goes to the producer, whose answer decides. A port
 * keeps its module alive until it is closed.
 */
public final class Port extends ModelObject {
  Port(long holder) {
    super(holder, Deleter.PORT);
  }

  /**
   * Reads registers into a direct buffer's whole capacity.
   *
   * @param address the register address
   * @param buffer a direct buffer
   * @return the number of bytes the producer read
   */
  public long read(long address, ByteBuffer buffer) {
    return gentlJNI.Port_read(holder(), this, address, buffer);
  }

  /**
   * Writes a direct buffer's whole capacity to registers.
   *
   * @param address the register address
   * @param buffer a direct buffer
   * @return the number of bytes the producer wrote
   */
  public long write(long address, ByteBuffer buffer) {
    return gentlJNI.Port_write(holder(), this, address, buffer);
  }

  /**
   * @param index the URL index
   * @param buffer a direct buffer for the value
   * @param cmd a {@code URL_INFO_*} command with a byte-block value
   * @return the number of bytes written into the buffer
   */
  public long getURLInfoBuffer(int index, ByteBuffer buffer, int cmd) {
    return gentlJNI.Port_getURLInfoBuffer(holder(), this, index, buffer, cmd);
  }

  /**
   * @param index the URL index
   * @param buffer a direct buffer of at least 20 bytes
   * @return the number of bytes of the SHA-1 hash written into the buffer
   */
  public long getFileSha1Hash(int index, ByteBuffer buffer) {
    return gentlJNI.Port_getFileSha1Hash(holder(), this, index, buffer);
  }

  /**
   * @return the module's validity: true when open, false when the module is closed itself
   * @throws ClosedException when an ancestor of the module is closed
   */
  public boolean checkValid() {
    return gentlJNI.Port_checkValid(holder(), this);
  }

  /**
   * @return the port handle
   */
  public int getHandle() {
    return gentlJNI.Port_getHandle(holder(), this);
  }

  /**
   * @param cmd a {@code PORT_INFO_*} command with a text value
   * @return the text
   */
  public String getPortInfoString(int cmd) {
    return gentlJNI.Port_getPortInfoString(holder(), this, cmd);
  }

  /**
   * @return the port ID
   */
  public String getID() {
    return gentlJNI.Port_getID(holder(), this);
  }

  /**
   * @return the vendor
   */
  public String getVendor() {
    return gentlJNI.Port_getVendor(holder(), this);
  }

  /**
   * @return the model
   */
  public String getModel() {
    return gentlJNI.Port_getModel(holder(), this);
  }

  /**
   * @return the transport-layer type
   */
  public String getTLType() {
    return gentlJNI.Port_getTLType(holder(), this);
  }

  /**
   * @return the module kind, e.g. "Device"
   */
  public String getModule() {
    return gentlJNI.Port_getModule(holder(), this);
  }

  /**
   * @return the version
   */
  public String getVersion() {
    return gentlJNI.Port_getVersion(holder(), this);
  }

  /**
   * @return the port name
   */
  public String getName() {
    return gentlJNI.Port_getName(holder(), this);
  }

  /**
   * @param cmd a {@code PORT_INFO_*} command with a boolean value
   * @return the value
   */
  public boolean getPortInfoBool(int cmd) {
    return gentlJNI.Port_getPortInfoBool(holder(), this, cmd);
  }

  /**
   * @return whether registers are little-endian
   */
  public boolean isLittleEndian() {
    return gentlJNI.Port_isLittleEndian(holder(), this);
  }

  /**
   * @return whether registers are big-endian
   */
  public boolean isBigEndian() {
    return gentlJNI.Port_isBigEndian(holder(), this);
  }

  /**
   * @return whether the port can be read
   */
  public boolean hasReadAccess() {
    return gentlJNI.Port_hasReadAccess(holder(), this);
  }

  /**
   * @return whether the port can be written
   */
  public boolean hasWriteAccess() {
    return gentlJNI.Port_hasWriteAccess(holder(), this);
  }

  /**
   * @return whether the port is not available
   */
  public boolean isAccessNA() {
    return gentlJNI.Port_isAccessNA(holder(), this);
  }

  /**
   * @return whether the port is not implemented
   */
  public boolean isAccessNI() {
    return gentlJNI.Port_isAccessNI(holder(), this);
  }

  /**
   * @return how many description-file URLs the port has
   */
  public int getNumPortURLs() {
    return gentlJNI.Port_getNumPortURLs(holder(), this);
  }

  /**
   * @param index the URL index
   * @param cmd a {@code URL_INFO_*} command with a text value
   * @return the text
   */
  public String getURLInfoString(int index, int cmd) {
    return gentlJNI.Port_getURLInfoString(holder(), this, index, cmd);
  }

  /**
   * @param index the URL index
   * @return the URL, e.g. {@code Local:name.xml;10000;3F2A}
   */
  public String getUrl(int index) {
    return gentlJNI.Port_getUrl(holder(), this, index);
  }

  /**
   * @param index the URL index
   * @return the file name
   */
  public String getFilename(int index) {
    return gentlJNI.Port_getFilename(holder(), this, index);
  }

  /**
   * @param index the URL index
   * @param cmd a {@code URL_INFO_*} command with a 32-bit value
   * @return the value
   */
  public int getURLInfoInt32(int index, int cmd) {
    return gentlJNI.Port_getURLInfoInt32(holder(), this, index, cmd);
  }

  /**
   * @param index the URL index
   * @return the schema's major version
   */
  public int getSchemaVerMajor(int index) {
    return gentlJNI.Port_getSchemaVerMajor(holder(), this, index);
  }

  /**
   * @param index the URL index
   * @return the schema's minor version
   */
  public int getSchemaVerMinor(int index) {
    return gentlJNI.Port_getSchemaVerMinor(holder(), this, index);
  }

  /**
   * @param index the URL index
   * @return the file's major version
   */
  public int getFileVerMajor(int index) {
    return gentlJNI.Port_getFileVerMajor(holder(), this, index);
  }

  /**
   * @param index the URL index
   * @return the file's minor version
   */
  public int getFileVerMinor(int index) {
    return gentlJNI.Port_getFileVerMinor(holder(), this, index);
  }

  /**
   * @param index the URL index
   * @return the file's subminor version
   */
  public int getFileVerSubminor(int index) {
    return gentlJNI.Port_getFileVerSubminor(holder(), this, index);
  }

  /**
   * @param index the URL index
   * @return a {@code URL_SCHEME_*} value
   */
  public int getScheme(int index) {
    return gentlJNI.Port_getScheme(holder(), this, index);
  }

  /**
   * @param index the URL index
   * @param cmd a {@code URL_INFO_*} command with a 64-bit value
   * @return the value
   */
  public long getURLInfoUInt64(int index, int cmd) {
    return gentlJNI.Port_getURLInfoUInt64(holder(), this, index, cmd);
  }

  /**
   * @param index the URL index
   * @return the register address of a {@code Local:} file
   */
  public long getFileRegisterAddress(int index) {
    return gentlJNI.Port_getFileRegisterAddress(holder(), this, index);
  }

  /**
   * @param index the URL index
   * @return the file size in bytes
   */
  public long getFileSize(int index) {
    return gentlJNI.Port_getFileSize(holder(), this, index);
  }
}

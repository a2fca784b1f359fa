package org.grabkit.features;

import java.util.Arrays;

/** Registers in a byte array that count how often they are read and written. */
class FakePort implements RegisterPort {
  final byte[] bytes;
  int reads;
  int writes;

  FakePort(int size) {
    bytes = new byte[size];
  }

  @Override
  public void read(long address, byte[] into) {
    reads++;
    System.arraycopy(bytes, (int) address, into, 0, into.length);
  }

  @Override
  public void write(long address, byte[] from) {
    writes++;
    System.arraycopy(from, 0, bytes, (int) address, from.length);
  }

  /** Puts a little-endian value of {@code length} bytes at {@code address}. */
  FakePort le(int address, int length, long value) {
    for (int i = 0; i < length; i++) {
      bytes[address + i] = (byte) (value >>> (8 * i));
    }
    return this;
  }

  /** Puts a big-endian value of {@code length} bytes at {@code address}. */
  FakePort be(int address, int length, long value) {
    for (int i = 0; i < length; i++) {
      bytes[address + length - 1 - i] = (byte) (value >>> (8 * i));
    }
    return this;
  }

  long le(int address, int length) {
    long v = 0;
    for (int i = length - 1; i >= 0; i--) {
      v = (v << 8) | (bytes[address + i] & 0xFF);
    }
    return v;
  }

  byte[] slice(int address, int length) {
    return Arrays.copyOfRange(bytes, address, address + length);
  }

  /** A description file with the nodes given and a port named Device. */
  static String file(String nodes) {
    return "<RegisterDescription ModelName=\"Test\" VendorName=\"Grabkit\""
        + " xmlns=\"http://www.genicam.org/GenApi/Version_1_1\">\n"
        + nodes
        + "\n<Port Name=\"Device\"/>\n</RegisterDescription>\n";
  }

  /** An IntReg of the port Device. */
  static String intReg(String name, int address, int length, String more) {
    return "<IntReg Name=\"" + name + "\"><Address>0x" + Integer.toHexString(address) + "</Address>"
        + "<Length>" + length + "</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>"
        + more + "</IntReg>\n";
  }
}

package org.grabkit;

import java.nio.ByteBuffer;
import java.nio.file.Path;
import java.util.Optional;
import org.grabkit.features.NodeMap;
import org.grabkit.features.RegisterPort;
import org.grabkit.gentl.Port;

/**
 * The node map of a GenTL module's own port (the system, an interface, a stream), where the
 * producer offers a description file for it: the same reading as a camera's, over the module's
 * registers.
 */
final class ModuleFeatures {
  private ModuleFeatures() {}

  /**
   * @param port the module's port; it must stay open as long as the node map is used
   * @param baseDirectory where relative {@code File:} URLs start
   * @return the node map, empty when the module offers no description file
   */
  static Optional<NodeMap> of(Port port, Path baseDirectory) {
    int urls = Unknown.ask(port::getNumPortURLs).orElse(0);
    if (urls == 0) {
      return Optional.empty();
    }
    String url = Calls.call("GCGetPortURLInfo", () -> port.getUrl(0));
    RegisterPort registers = new RegisterPort() {
      @Override
      public void read(long address, byte[] into) {
        ByteBuffer direct = ByteBuffer.allocateDirect(into.length);
        long got = Calls.call("GCReadPort", () -> port.read(address, direct));
        if (got < into.length) {
          throw new IllegalStateException("The module's port read " + got + " of " + into.length
              + " bytes at 0x" + Long.toHexString(address));
        }
        direct.get(0, into);
      }

      @Override
      public void write(long address, byte[] from) {
        ByteBuffer direct = ByteBuffer.allocateDirect(from.length).put(0, from);
        Calls.call("GCWritePort", () -> port.write(address, direct));
      }
    };
    String xml = DescriptionFile.fetch(url, (address, length) -> {
      byte[] bytes = new byte[length];
      registers.read(address, bytes);
      return bytes;
    }, baseDirectory);
    return Optional.of(NodeMap.parse(xml, registers));
  }
}

package org.grabkit.cli;

import java.util.HexFormat;
import java.util.List;
import java.util.Set;
import org.grabkit.AccessMode;

/** {@code grabkit regs}: raw register access. */
final class RegsCommand extends Command {
  private static final int LINE = 16;
  private static final HexFormat HEX = HexFormat.of();

  RegsCommand() {
    super(
        "regs",
        "read or write a device's registers",
        Set.of("--device"),
        "usage: grabkit [--cti PATH] regs [--device NAME] read ADDR LEN",
        "       grabkit [--cti PATH] regs [--device NAME] write ADDR HEX",
        "",
        "read prints LEN bytes from ADDR as a hex dump; write writes the bytes HEX (in memory",
        "order, e.g. 80020000 is 640 in a little-endian 32-bit register). ADDR and LEN are",
        "decimal or 0x-hex. The simulated camera starts from its defaults at each open, so a",
        "write lasts only for this command.",
        "  --device NAME the device by ID, serial number, user-defined or display name",
        "                (default: the first one listed)");
  }

  @Override
  int run(Options options, Session session) {
    List<String> args = options.positional();
    if (args.size() != 3 || !(args.get(0).equals("read") || args.get(0).equals("write"))) {
      throw CliException.usage("regs needs 'read ADDR LEN' or 'write ADDR HEX'");
    }
    long address = Options.number("ADDR", args.get(1), 0);
    if (args.get(0).equals("read")) {
      int length = (int) Math.min(Options.number("LEN", args.get(2), 1), 1 << 20);
      byte[] data =
          session.withCamera(
              options.value("--device"),
              AccessMode.READ_ONLY,
              camera -> camera.readRegisters(address, length));
      dump(address, data, session);
    } else {
      byte[] data = parseHex(args.get(2));
      session.withCamera(
          options.value("--device"),
          AccessMode.CONTROL,
          camera -> {
            camera.writeRegisters(address, data);
            return null;
          });
      session.out.printf("Wrote %d bytes at 0x%08X%n", data.length, address);
    }
    return CliException.OK;
  }

  private static byte[] parseHex(String text) {
    String digits = text.startsWith("0x") || text.startsWith("0X") ? text.substring(2) : text;
    try {
      byte[] bytes = HEX.parseHex(digits);
      if (bytes.length == 0) {
        throw CliException.usage("HEX names no byte");
      }
      return bytes;
    } catch (IllegalArgumentException e) {
      throw CliException.usage("HEX must be an even number of hex digits, not '" + text + "'");
    }
  }

  /** Like {@code hexdump -C}: address, 16 bytes, their printable characters. */
  private static void dump(long address, byte[] data, Session session) {
    for (int at = 0; at < data.length; at += LINE) {
      int n = Math.min(LINE, data.length - at);
      StringBuilder hex = new StringBuilder();
      StringBuilder chars = new StringBuilder();
      for (int i = 0; i < n; i++) {
        int b = data[at + i] & 0xFF;
        hex.append(HEX.toHexDigits((byte) b)).append(i == 7 ? "  " : " ");
        chars.append(b >= 0x20 && b < 0x7F ? (char) b : '.');
      }
      session.out.printf("%08x  %-49s |%s|%n", address + at, hex, chars);
    }
  }
}

package org.grabkit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.List;
import java.util.zip.ZipEntry;
import java.util.zip.ZipOutputStream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The URL kinds of description files that cameras report, and zipped files. */
class DescriptionFileTest {
  private static final String XML = "<?xml version=\"1.0\"?><RegisterDescription/>";

  /** Every kind of URL gives the same text: from the port, from disk, zipped or not. */
  @Test
  void everyUrlKindGivesTheFile(@TempDir Path dir) throws IOException {
    byte[] file = XML.getBytes(StandardCharsets.UTF_8);
    byte[] padded = Arrays.copyOf(file, file.length + 3); // registers pad with NUL
    ByteArrayOutputStream zipped = new ByteArrayOutputStream();
    try (ZipOutputStream zip = new ZipOutputStream(zipped)) {
      zip.putNextEntry(new ZipEntry("notes.txt"));
      zip.write("not this".getBytes(StandardCharsets.UTF_8));
      zip.putNextEntry(new ZipEntry("cam.xml"));
      zip.write(file);
    }
    Files.write(dir.resolve("cam.zip"), zipped.toByteArray());
    Path sub = Files.createDirectories(dir.resolve("my dir"));
    Files.writeString(sub.resolve("cam.xml"), "\uFEFF" + XML, StandardCharsets.UTF_8);
    DescriptionFile.RegisterReader port = (address, length) -> {
      if (address == 0x10000L && length == padded.length) {
        return padded;
      }
      // Recognised by content too, whatever the name says.
      assertEquals(List.of(0L, 0x10L), List.of(address, (long) length));
      return zipped.toByteArray();
    };
    for (String url : List.of(
        "local:cam.xml;0x10000;" + Integer.toHexString(padded.length) + "?SchemaVersion=1.1.0",
        "Local:cam.bin;0;10",
        sub.resolve("cam.xml").toUri() + "?SchemaVersion=1.0.0",
        "File:my%20dir/cam.xml",
        "File:cam.zip")) {
      assertEquals(XML, DescriptionFile.fetch(url, port, dir), url);
    }
    assertEquals(new DescriptionFile.Local("cam.xml", 0xFFFF_0000_0000L, 0x317A),
        DescriptionFile.parseLocal("Local:cam.xml;FFFF00000000;317A"));
  }

  @Test
  void missingFilesOtherUrlKindsAndBrokenLocalUrlsAreRefused(@TempDir Path dir) {
    DescriptionFile.RegisterReader noPort = (address, length) -> {
      throw new AssertionError("read the port");
    };
    assertThrows(UncheckedIOException.class,
        () -> DescriptionFile.fetch("file:///no/such/file.xml", noPort, dir));
    assertThrows(UnsupportedOperationException.class,
        () -> DescriptionFile.fetch("Web:http://example.invalid/cam.xml", noPort, dir));
    for (String broken : List.of("Local:cam.xml;10000", "Local:cam.xml;zz;10")) {
      assertThrows(IllegalArgumentException.class, () -> DescriptionFile.parseLocal(broken));
    }
  }
}

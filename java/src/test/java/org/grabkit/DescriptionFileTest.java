package org.grabkit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.zip.ZipEntry;
import java.util.zip.ZipOutputStream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The URL kinds of description files that cameras report, and zipped files. */
class DescriptionFileTest {
  private static final String XML = "<?xml version=\"1.0\"?><RegisterDescription/>";
  private static final DescriptionFile.RegisterReader NO_PORT =
      (address, length) -> {
        throw new AssertionError("read the port");
      };

  @Test
  void localUrlsReadTheirRangeFromThePort() {
    byte[] file = XML.getBytes(StandardCharsets.UTF_8);
    byte[] padded = java.util.Arrays.copyOf(file, file.length + 3); // registers pad with NUL
    DescriptionFile.RegisterReader port =
        (address, length) -> {
          assertEquals(0x10000L, address);
          assertEquals(padded.length, length);
          return padded;
        };
    String url = "local:cam.xml;0x10000;" + Integer.toHexString(padded.length) + "?SchemaVersion=1.1.0";
    assertEquals(XML, DescriptionFile.fetch(url, port, Path.of("/")));
    assertEquals(
        new DescriptionFile.Local("cam.xml", 0xFFFF_0000_0000L, 0x317A),
        DescriptionFile.parseLocal("Local:cam.xml;FFFF00000000;317A"));
  }

  @Test
  void fileUrlsReadFromDiskAbsoluteOrBesideTheProducer(@TempDir Path dir) throws IOException {
    Path sub = Files.createDirectories(dir.resolve("my dir"));
    Files.writeString(sub.resolve("cam.xml"), "\uFEFF" + XML, StandardCharsets.UTF_8);
    String absolute = sub.resolve("cam.xml").toUri().toString() + "?SchemaVersion=1.0.0";
    assertEquals(XML, DescriptionFile.fetch(absolute, NO_PORT, Path.of("/")));
    assertEquals(XML, DescriptionFile.fetch("File:my%20dir/cam.xml", NO_PORT, dir));
    assertThrows(
        java.io.UncheckedIOException.class,
        () -> DescriptionFile.fetch("file:///no/such/file.xml", NO_PORT, dir));
  }

  @Test
  void zippedFilesAreUnzipped(@TempDir Path dir) throws IOException {
    ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    try (ZipOutputStream zip = new ZipOutputStream(bytes)) {
      zip.putNextEntry(new ZipEntry("notes.txt"));
      zip.write("not this".getBytes(StandardCharsets.UTF_8));
      zip.putNextEntry(new ZipEntry("cam.xml"));
      zip.write(XML.getBytes(StandardCharsets.UTF_8));
    }
    Files.write(dir.resolve("cam.zip"), bytes.toByteArray());
    assertEquals(XML, DescriptionFile.fetch("File:cam.zip", NO_PORT, dir));
    // Recognised by content too, whatever the name says.
    assertEquals(
        XML,
        DescriptionFile.fetch("Local:cam.bin;0;10", (a, n) -> bytes.toByteArray(), dir));
  }

  @Test
  void otherUrlKindsAndBrokenLocalUrlsAreRefused() {
    assertThrows(
        UnsupportedOperationException.class,
        () -> DescriptionFile.fetch("Web:http://example.invalid/cam.xml", NO_PORT, Path.of("/")));
    assertThrows(
        IllegalArgumentException.class, () -> DescriptionFile.parseLocal("Local:cam.xml;10000"));
    assertThrows(
        IllegalArgumentException.class, () -> DescriptionFile.parseLocal("Local:cam.xml;zz;10"));
  }
}

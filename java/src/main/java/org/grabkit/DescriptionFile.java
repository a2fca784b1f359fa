package org.grabkit;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.UncheckedIOException;
import java.net.URI;
import java.net.URLDecoder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Locale;
import java.util.zip.ZipEntry;
import java.util.zip.ZipInputStream;

/**
 * Fetches a GenICam description file by the URL a port reports: {@code Local:} files from the
 * port's own registers, {@code File:} files from disk, unzipped when zipped.
 */
final class DescriptionFile {
  /** Reads {@code length} bytes of registers at {@code address}. */
  @FunctionalInterface
  interface RegisterReader {
    byte[] read(long address, int length);
  }

  /** Where a {@code Local:} URL keeps its file. */
  record Local(String fileName, long address, int length) {}

  private DescriptionFile() {}

  /**
   * The file's text.
   *
   * @param url the URL as the port reports it
   * @param registers the port, for {@code Local:} URLs
   * @param baseDirectory where relative {@code File:} paths start (the producer's directory)
   */
  static String fetch(String url, RegisterReader registers, Path baseDirectory) {
    String scheme = url.substring(0, Math.max(0, url.indexOf(':'))).toLowerCase(Locale.ROOT);
    byte[] bytes;
    String fileName;
    switch (scheme) {
      case "local":
        Local local = parseLocal(url);
        fileName = local.fileName();
        bytes = registers.read(local.address(), local.length());
        break;
      case "file":
        Path path = filePath(url, baseDirectory);
        fileName = path.getFileName().toString();
        try {
          bytes = Files.readAllBytes(path);
        } catch (IOException e) {
          throw new UncheckedIOException("Cannot read the description file " + path, e);
        }
        break;
      default:
        throw new UnsupportedOperationException(
            "Description file URL of an unsupported kind (Local: and File: are read): " + url);
    }
    return text(isZip(fileName, bytes) ? unzip(bytes, url) : bytes);
  }

  /** {@code Local:name;address;length[?query]}, address and length in hex. */
  static Local parseLocal(String url) {
    String[] fields = withoutQuery(url.substring(url.indexOf(':') + 1)).split(";");
    if (fields.length != 3) {
      throw new IllegalArgumentException("Not a Local: description file URL: " + url);
    }
    try {
      long length = hex(fields[2]);
      if (length > Integer.MAX_VALUE - 8) {
        throw new IllegalArgumentException("Description file too large: " + url);
      }
      return new Local(fields[0], hex(fields[1]), (int) length);
    } catch (NumberFormatException e) {
      throw new IllegalArgumentException("Bad address or length in " + url, e);
    }
  }

  /** {@code file:///absolute/path}, {@code File:relative/path}, with or without a query. */
  static Path filePath(String url, Path baseDirectory) {
    String target = withoutQuery(url);
    if (target.regionMatches(true, 0, "file://", 0, 7)) {
      return Path.of(URI.create("file" + target.substring(4)));
    }
    String rest = URLDecoder.decode(target.substring(5), StandardCharsets.UTF_8);
    return baseDirectory.resolve(rest).normalize();
  }

  private static String withoutQuery(String url) {
    int query = url.indexOf('?');
    return query < 0 ? url : url.substring(0, query);
  }

  private static long hex(String field) {
    String digits = field.strip();
    if (digits.regionMatches(true, 0, "0x", 0, 2)) {
      digits = digits.substring(2);
    }
    return Long.parseUnsignedLong(digits, 16);
  }

  private static boolean isZip(String fileName, byte[] bytes) {
    boolean magic = bytes.length >= 4 && bytes[0] == 'P' && bytes[1] == 'K' && bytes[2] == 3;
    return magic || fileName.toLowerCase(Locale.ROOT).endsWith(".zip");
  }

  /** The archive's XML entry (its first entry if none is named {@code *.xml}). */
  private static byte[] unzip(byte[] archive, String url) {
    byte[] first = null;
    try (ZipInputStream zip = new ZipInputStream(new ByteArrayInputStream(archive))) {
      for (ZipEntry entry; (entry = zip.getNextEntry()) != null; ) {
        if (entry.isDirectory()) {
          continue;
        }
        byte[] content = zip.readAllBytes();
        if (entry.getName().toLowerCase(Locale.ROOT).endsWith(".xml")) {
          return content;
        }
        if (first == null) {
          first = content;
        }
      }
    } catch (IOException e) {
      throw new UncheckedIOException("Cannot unzip the description file of " + url, e);
    }
    if (first == null) {
      throw new UncheckedIOException(new IOException("Empty zipped description file: " + url));
    }
    return first;
  }

  /** UTF-8 (ASCII in practice), without a byte-order mark or the NUL padding of registers. */
  private static String text(byte[] bytes) {
    int start = bytes.length >= 3 && (bytes[0] & 0xFF) == 0xEF && (bytes[1] & 0xFF) == 0xBB ? 3 : 0;
    int end = bytes.length;
    while (end > start && bytes[end - 1] == 0) {
      end--;
    }
    return new String(bytes, start, end - start, StandardCharsets.UTF_8);
  }
}

package org.grabkit.cli;

import java.io.IOException;
import java.io.OutputStream;
import java.io.UncheckedIOException;
import java.nio.file.AccessDeniedException;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;

/**
 * A file the tool writes (--png, --out, settings save). It is checked before the work starts, so
 * that a long grab does not end in a write that was bound to fail, and every way it can fail is
 * one line with one exit code, {@link CliException#OUTPUT}, whatever the command.
 */
final class OutputFile {
  /** Writes the content of a file. */
  interface Content {
    void writeTo(OutputStream out) throws IOException;
  }

  private OutputFile() {}

  /** Refuses a file that cannot be written: a directory, or one in a missing or locked directory. */
  static void check(Path file) {
    Path dir = file.toAbsolutePath().getParent();
    if (Files.isDirectory(file)) {
      throw failure(file, "it is a directory");
    }
    if (dir == null || !Files.isDirectory(dir)) {
      throw failure(file, "no such directory " + dir);
    }
    if (Files.exists(file) ? !Files.isWritable(file) : !Files.isWritable(dir)) {
      throw failure(file, "permission denied");
    }
  }

  static void write(Path file, Content content) {
    try (OutputStream out = Files.newOutputStream(file)) {
      content.writeTo(out);
    } catch (IOException e) {
      throw failure(file, e);
    }
  }

  static CliException failure(Path file, Throwable e) {
    if (e instanceof UncheckedIOException u) {
      e = u.getCause();
    }
    String why;
    if (e instanceof NoSuchFileException) {
      why = "no such directory " + file.toAbsolutePath().getParent();
    } else if (e instanceof AccessDeniedException) {
      why = "permission denied";
    } else {
      why = e.getMessage();
    }
    return failure(file, why);
  }

  private static CliException failure(Path file, String why) {
    return new CliException(CliException.OUTPUT, "cannot write " + file + ": " + why);
  }
}

package org.grabkit;

import java.io.File;
import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashSet;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Set;
import java.util.stream.Stream;
import org.grabkit.gentl.GenTLException;
import org.grabkit.gentl.NativeLibrary;

/**
 * Where producer files ({@code *.cti}) are. The native library reads no configuration: programs
 * find producers here and pass a path to {@link Producer#open(Path)}.
 */
public final class Producers {
  /** The environment variable that lists the producers of 64-bit programs. */
  public static final String ENVIRONMENT_VARIABLE = "GENICAM_GENTL64_PATH";

  private Producers() {}

  /**
   * The producers that {@value #ENVIRONMENT_VARIABLE} lists.
   *
   * @return the producer files, empty when the variable is not set
   * @see #fromPathList(String)
   */
  public static List<Path> fromEnvironment() {
    return fromPathList(System.getenv(ENVIRONMENT_VARIABLE));
  }

  /**
   * The producers of a path list such as {@value #ENVIRONMENT_VARIABLE}'s value: entries separated
   * by {@code :}, each a producer file or a directory whose {@code *.cti} files (in name order, not
   * searched recursively) are producers. Entries that do not exist are skipped; a producer listed
   * twice appears once, at its first place.
   *
   * @param pathList the list; {@code null} or blank gives an empty list
   * @return the producer files, in list order
   * @throws UncheckedIOException if a listed directory cannot be read
   */
  public static List<Path> fromPathList(String pathList) {
    Set<Path> found = new LinkedHashSet<>();
    if (pathList == null) {
      return List.of();
    }
    for (String entry : pathList.split(File.pathSeparator)) {
      if (entry.isBlank()) {
        continue;
      }
      Path path = Path.of(entry.strip()).toAbsolutePath().normalize();
      if (Files.isDirectory(path)) {
        found.addAll(producersIn(path));
      } else if (Files.isRegularFile(path)) {
        found.add(path);
      }
    }
    return List.copyOf(found);
  }

  /**
   * Loads every producer that {@value #ENVIRONMENT_VARIABLE} lists, carrying on past the files
   * that fail.
   *
   * @return the loaded producers and the failures; nothing at all when the variable is not set
   * @see #loadAll(List)
   */
  public static LoadedProducers loadFromEnvironment() {
    return loadAll(System.getenv(ENVIRONMENT_VARIABLE));
  }

  /**
   * Loads every producer of a path list such as {@value #ENVIRONMENT_VARIABLE}'s value.
   *
   * @param pathList entries separated by {@code :}; {@code null} or blank loads nothing
   * @return the loaded producers and the failures
   * @see #loadAll(List)
   */
  public static LoadedProducers loadAll(String pathList) {
    return loadAll(pathList, Isolation.configured());
  }

  /**
   * {@link #loadAll(String)} with every producer loaded where {@code isolation} says.
   *
   * @param pathList entries separated by {@code :}; {@code null} or blank loads nothing
   * @param isolation where the producers' code runs
   * @return the loaded producers and the failures
   */
  public static LoadedProducers loadAll(String pathList, Isolation isolation) {
    List<Path> entries = new ArrayList<>();
    if (pathList != null) {
      for (String entry : pathList.split(File.pathSeparator)) {
        if (!entry.isBlank()) {
          entries.add(Path.of(entry.strip()));
        }
      }
    }
    return loadAll(entries, isolation);
  }

  /**
   * Loads every producer of a list, carrying on past the entries that fail: one bad file (not a
   * producer, empty, refusing {@code GCInitLib}) or a missing entry must not hide the cameras of
   * the others. Each entry is a producer file or a directory whose {@code *.cti} files (in name
   * order, not searched recursively) are producers. A file reached twice, also through another
   * directory or a link, loads once, at its first place.
   *
   * @param entries files and directories
   * @return the loaded producers and, for each entry or file that failed, its path and the reason
   *     (e.g. {@code file too short (ID: -10001)})
   */
  public static LoadedProducers loadAll(List<Path> entries) {
    return loadAll(entries, Isolation.configured());
  }

  /**
   * {@link #loadAll(List)} with every producer loaded where {@code isolation} says.
   *
   * @param entries files and directories
   * @param isolation where the producers' code runs
   * @return the loaded producers and the failures
   */
  public static LoadedProducers loadAll(List<Path> entries, Isolation isolation) {
    List<Producer> loaded = new ArrayList<>();
    List<LoadFailure> failures = new ArrayList<>();
    Set<Path> seen = new HashSet<>();
    for (Path entry : entries) {
      Path path = entry.toAbsolutePath().normalize();
      List<Path> files;
      if (Files.isDirectory(path)) {
        try {
          files = producersIn(path);
        } catch (UncheckedIOException e) {
          failures.add(new LoadFailure(path, e.getMessage()));
          continue;
        }
      } else if (Files.isRegularFile(path)) {
        files = List.of(path);
      } else {
        failures.add(new LoadFailure(path, "no such file or directory"));
        continue;
      }
      for (Path file : files) {
        try {
          if (!seen.add(file.toRealPath())) {
            continue;
          }
          loaded.add(Producer.open(file, isolation));
        } catch (IOException | UncheckedIOException | GenTLException e) {
          failures.add(new LoadFailure(file, reason(file, e.getMessage())));
        }
      }
    }
    return new LoadedProducers(loaded, failures);
  }

  /**
   * The simulated camera producer that the Grabkit jar carries (see its README for the cameras it
   * offers and the environment variables it reads).
   *
   * @return a loadable copy of {@code grabkit-sim.cti}
   */
  public static Path simulated() {
    return NativeLibrary.extract("grabkit-sim.cti");
  }

  /** The loader's text without the file name that the failure names already. */
  private static String reason(Path file, String message) {
    String prefix = "Failed to load CTI file " + file + ": ";
    return message != null && message.startsWith(prefix)
        ? message.substring(prefix.length())
        : String.valueOf(message);
  }

  private static List<Path> producersIn(Path directory) {
    try (Stream<Path> files = Files.list(directory)) {
      List<Path> result = new ArrayList<>();
      files
          .filter(p -> p.getFileName().toString().toLowerCase(Locale.ROOT).endsWith(".cti"))
          .filter(Files::isRegularFile)
          .sorted()
          .forEach(result::add);
      return result;
    } catch (IOException e) {
      throw new UncheckedIOException("Cannot list producers in " + directory, e);
    }
  }
}

package org.grabkit.gentl;

import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;

/**
 * Finds the native files that the jar carries ({@code libgrabkit.so} and the simulated camera
 * {@code grabkit-sim.cti}) and makes them loadable: a class-path resource is copied once per
 * process into a private temporary directory, which is removed when the JVM exits.
 *
 * <p>The system property {@code grabkit.library.path} names a {@code libgrabkit.so} to load instead
 * of the bundled one (for development builds).
 */
public final class NativeLibrary {
  private static final String RESOURCE_DIR = "native/linux-x86_64/";
  private static Path extractDir;
  private static boolean loaded;

  private NativeLibrary() {}

  /** Loads {@code libgrabkit.so} into the JVM once; later calls do nothing. */
  public static synchronized void load() {
    if (loaded) {
      return;
    }
    String override = System.getProperty("grabkit.library.path");
    Path library = override != null ? Path.of(override) : extract("libgrabkit.so");
    System.load(library.toAbsolutePath().toString());
    loaded = true;
  }

  /**
   * The path of a native file bundled in the jar, copied out of the jar on first use.
   *
   * @param name the file name, e.g. {@code grabkit-sim.cti}
   * @return a path that the dynamic loader can open
   * @throws UncheckedIOException if the jar lacks the file or it cannot be copied
   */
  public static synchronized Path extract(String name) {
    try (InputStream in = NativeLibrary.class.getResourceAsStream(RESOURCE_DIR + name)) {
      if (in == null) {
        throw new UncheckedIOException(
            new IOException("The Grabkit jar does not contain " + RESOURCE_DIR + name));
      }
      if (extractDir == null) {
        extractDir = Files.createTempDirectory("grabkit-");
        extractDir.toFile().deleteOnExit();
      }
      Path target = extractDir.resolve(name);
      if (!Files.exists(target)) {
        Files.copy(in, target, StandardCopyOption.REPLACE_EXISTING);
        target.toFile().deleteOnExit();
      }
      return target;
    } catch (IOException e) {
      throw new UncheckedIOException("Cannot extract " + name + " from the Grabkit jar", e);
    }
  }
}

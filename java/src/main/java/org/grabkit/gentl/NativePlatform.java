package org.grabkit.gentl;

import java.util.List;
import java.util.Locale;

/**
 * A platform whose native files the jar carries, in {@code native/<directory>/}: the library
 * under its system's name and the simulated camera {@code grabkit-sim.cti}.
 *
 * @param directory the directory in the jar, e.g. {@code linux-x86_64}
 * @param osPrefix what {@code os.name} starts with there, in lower case
 * @param archNames the values {@code os.arch} takes there
 * @param library the file name of the Grabkit library there
 */
record NativePlatform(String directory, String osPrefix, List<String> archNames, String library) {

  /** Every platform the jar carries; the build fills one directory for each. */
  static final List<NativePlatform> ALL =
      List.of(
          new NativePlatform("linux-x86_64", "linux", List.of("amd64", "x86_64"), "libgrabkit.so"),
          new NativePlatform("linux-aarch64", "linux", List.of("aarch64", "arm64"), "libgrabkit.so"),
          new NativePlatform("windows-x86_64", "windows", List.of("amd64", "x86_64"), "grabkit.dll"));

  /** The platform of this JVM. */
  static NativePlatform current() {
    return of(System.getProperty("os.name", ""), System.getProperty("os.arch", ""));
  }

  /**
   * The platform for these values of {@code os.name} and {@code os.arch}.
   *
   * @throws UnsupportedOperationException if the jar carries nothing for them; the message lists
   *     what it carries and how to use a library built by hand
   */
  static NativePlatform of(String osName, String osArch) {
    String os = osName.toLowerCase(Locale.ROOT);
    String arch = osArch.toLowerCase(Locale.ROOT);
    for (NativePlatform p : ALL) {
      if (os.startsWith(p.osPrefix) && p.archNames.contains(arch)) {
        return p;
      }
    }
    StringBuilder carried = new StringBuilder();
    for (NativePlatform p : ALL) {
      carried.append(carried.length() == 0 ? "" : ", ").append(p.directory);
    }
    throw new UnsupportedOperationException(
        "The Grabkit jar has native files for "
            + carried
            + ", not for "
            + osName
            + " on "
            + osArch
            + ". Build the library for this platform from Grabkit's sources and start Java with"
            + " -Dgrabkit.library.path=/path/to/the/built/library");
  }

  /** The jar's resource directory of this platform, relative to {@link NativeLibrary}. */
  String resourceDir() {
    return "native/" + directory + "/";
  }
}

package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Set;
import java.util.stream.Collectors;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The jar's platform table: what each JVM gets, and what the others are told. */
class NativePlatformTest {

  @ParameterizedTest(name = "{0} / {1} -> {2}")
  @CsvSource({
    // os.name as JVMs report it, os.arch, directory, library
    "Linux, amd64, linux-x86_64, libgrabkit.so",
    "Linux, x86_64, linux-x86_64, libgrabkit.so",
    "Linux, aarch64, linux-aarch64, libgrabkit.so",
    "Linux, arm64, linux-aarch64, libgrabkit.so",
    "Windows 10, amd64, windows-x86_64, grabkit.dll",
    "Windows 11, amd64, windows-x86_64, grabkit.dll",
    "Windows Server 2022, AMD64, windows-x86_64, grabkit.dll",
  })
  void eachSupportedPlatformFindsItsDirectory(
      String osName, String osArch, String directory, String library) {
    NativePlatform p = NativePlatform.of(osName, osArch);
    assertEquals(directory, p.directory());
    assertEquals(library, p.library());
  }

  @ParameterizedTest(name = "{0} / {1}")
  @CsvSource({
    "Mac OS X, aarch64",
    "Mac OS X, x86_64",
    "Windows 11, aarch64",
    "Linux, arm",
    "Linux, x86",
    "Linux, riscv64",
    "FreeBSD, amd64",
  })
  void otherPlatformsAreToldWhatTheJarHasAndHowToUseAHandBuiltLibrary(
      String osName, String osArch) {
    UnsupportedOperationException e =
        assertThrows(UnsupportedOperationException.class, () -> NativePlatform.of(osName, osArch));
    assertTrue(
        e.getMessage()
            .startsWith(
                "The Grabkit jar has native files for linux-x86_64, linux-aarch64, windows-x86_64,"
                    + " not for "
                    + osName
                    + " on "
                    + osArch),
        e.getMessage());
    assertTrue(e.getMessage().contains("-Dgrabkit.library.path="), e.getMessage());
  }

  @Test
  void theBuildPacksEveryPlatformOfTheTable() {
    Set<String> directories =
        NativePlatform.ALL.stream().map(NativePlatform::directory).collect(Collectors.toSet());
    assertEquals(Set.of("linux-x86_64", "linux-aarch64", "windows-x86_64"), directories);
    for (NativePlatform p : NativePlatform.ALL) {
      for (String file : new String[] {p.library(), "grabkit-sim.cti", "native-files.sha256"}) {
        assertNotNull(
            NativeLibrary.class.getResource(p.resourceDir() + file),
            p.resourceDir() + file + " is missing");
      }
    }
  }
}

package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.Map;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** The per-user cache of the native files: one checked copy, never a foreign or damaged one. */
class NativeCacheTest {
  private static final String SIM = "grabkit-sim.cti";

  @TempDir Path home;

  @AfterEach
  void forgetCache() {
    System.clearProperty("grabkit.cache.dir");
  }

  private Path extractWithCache(Path cache) {
    System.setProperty("grabkit.cache.dir", cache.toString());
    return NativeLibrary.extract(SIM);
  }

  private static byte[] jarCopy() throws IOException {
    try (var in = NativeLibrary.class.getResourceAsStream("native/linux-x86_64/" + SIM)) {
      return in.readAllBytes();
    }
  }

  @Test
  void aCopyIsMadeOnceUnderItsHashAndDamageIsRepaired() throws IOException {
    Path cache = home.resolve("cache");
    Path copy = extractWithCache(cache);
    assertEquals(cache.resolve(NativeLibrary.sha256(copy)).resolve(SIM), copy);
    assertEquals("rwx------", PosixFilePermissions.toString(Files.getPosixFilePermissions(cache)));
    Object inode = Files.readAttributes(copy, "unix:ino").get("ino");
    assertEquals(copy, extractWithCache(cache));
    assertEquals(inode, Files.readAttributes(copy, "unix:ino").get("ino"), "an intact copy stays");

    byte[] original = jarCopy();
    Path elsewhere = Files.write(home.resolve("other"), new byte[] {1, 2, 3});
    Map<String, IoAction> damage =
        Map.of(
            "one byte changed", () -> {
              byte[] changed = original.clone();
              changed[changed.length / 2] ^= 1;
              Files.write(copy, changed);
            },
            "cut short", () -> Files.write(copy, new byte[] {0x7f, 'E', 'L', 'F'}),
            "a link to another file", () -> {
              Files.delete(copy);
              Files.createSymbolicLink(copy, elsewhere);
            },
            "gone", () -> Files.delete(copy));
    for (Map.Entry<String, IoAction> d : damage.entrySet()) {
      d.getValue().run();
      assertEquals(copy, extractWithCache(cache), d.getKey());
      assertFalse(Files.isSymbolicLink(copy), d.getKey());
      assertArrayEquals(original, Files.readAllBytes(copy), d.getKey());
    }
    try (var left = Files.list(copy.getParent())) {
      assertEquals(1, left.count(), "no temporary file stays behind");
    }
  }

  @ParameterizedTest
  @ValueSource(strings = {"rwxrwxrwx", "rwxrwx---", "link"})
  void aCacheOthersCanWriteToIsNotUsed(String kind) throws IOException {
    Path cache = home.resolve("cache");
    if (kind.equals("link")) {
      Path real = Files.createDirectory(home.resolve("real"));
      Files.setPosixFilePermissions(real, PosixFilePermissions.fromString("rwx------"));
      Files.createSymbolicLink(cache, real);
    } else {
      Files.createDirectory(cache);
      Files.setPosixFilePermissions(cache, PosixFilePermissions.fromString(kind));
    }
    Path copy = extractWithCache(cache);
    assertFalse(copy.toAbsolutePath().startsWith(cache.toAbsolutePath()), copy.toString());
    assertFalse(copy.toRealPath().startsWith(cache.toRealPath()), copy.toString());
    assertTrue(Files.isRegularFile(copy));
    assertArrayEquals(jarCopy(), Files.readAllBytes(copy));
  }

  private interface IoAction {
    void run() throws IOException;
  }
}

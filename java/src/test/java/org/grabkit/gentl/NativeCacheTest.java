package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.Map;
import java.util.jar.JarEntry;
import java.util.jar.JarOutputStream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** The per-user cache of the native files: one checked copy, never a foreign or damaged one. */
class NativeCacheTest {
  private static final String SIM = "grabkit-sim.cti";

  @TempDir Path home;
  private URLClassLoader loader;

  @AfterEach
  void forgetCache() throws IOException {
    System.clearProperty("grabkit.cache.dir");
    if (loader != null) {
      loader.close();
    }
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

  /**
   * NativeLibrary as the tool's jar has it: loaded from a jar, whose entries it reads directly
   * (the CRC-32 and size of the entry are what a cached copy is checked against).
   */
  private IoFunction fromJar() throws Exception {
    Path classes =
        Path.of(NativeLibrary.class.getProtectionDomain().getCodeSource().getLocation().toURI());
    Path jar = home.resolve("grabkit.jar");
    try (var out = new JarOutputStream(Files.newOutputStream(jar));
        var files = Files.walk(classes.resolve("org/grabkit/gentl"))) {
      for (Path f : (Iterable<Path>) files::iterator) {
        String name = classes.relativize(f).toString();
        if (Files.isRegularFile(f)
            && (name.contains("/native/linux-x86_64/") || name.contains("/NativeLibrary")
                || name.contains("/NativePlatform"))) {
          out.putNextEntry(new JarEntry(name));
          Files.copy(f, out);
        }
      }
    }
    loader =
        new URLClassLoader(new URL[] {jar.toUri().toURL()}, ClassLoader.getPlatformClassLoader());
    Method extract =
        loader.loadClass(NativeLibrary.class.getName()).getMethod("extract", String.class);
    return name -> {
      try {
        return (Path) extract.invoke(null, name);
      } catch (ReflectiveOperationException e) {
        throw new IOException(e);
      }
    };
  }

  @ParameterizedTest
  @ValueSource(booleans = {false, true})
  void aCopyIsMadeOnceUnderItsHashAndDamageIsRepaired(boolean jar) throws Exception {
    IoFunction extract = jar ? fromJar() : NativeLibrary::extract;
    Path cache = home.resolve("cache");
    System.setProperty("grabkit.cache.dir", cache.toString());
    Path copy = extract.apply(SIM);
    assertEquals(cache.resolve(NativeLibrary.sha256(copy)).resolve(SIM), copy);
    assertEquals("rwx------", PosixFilePermissions.toString(Files.getPosixFilePermissions(cache)));
    Object inode = Files.readAttributes(copy, "unix:ino").get("ino");
    assertEquals(copy, extract.apply(SIM));
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
      assertEquals(copy, extract.apply(SIM), d.getKey());
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

  private interface IoFunction {
    Path apply(String name) throws IOException;
  }
}

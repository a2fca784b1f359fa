package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.Set;
import java.util.TreeSet;
import java.util.stream.Collectors;
import org.junit.jupiter.api.Test;

/**
 * The binding's contract: gentlJNI declares exactly the published native methods, and the library
 * exports a JNI symbol for each of them and for nothing else of that class.
 */
class ExportsTest {
  private static final String PREFIX = "Java_org_grabkit_gentl_gentlJNI_";

  private static Set<String> published() throws IOException {
    try (InputStream in = ExportsTest.class.getResourceAsStream("/gentlJNI-natives.txt");
        BufferedReader r = new BufferedReader(new InputStreamReader(in, StandardCharsets.UTF_8))) {
      return r.lines()
          .filter(l -> !l.isBlank() && !l.startsWith("#"))
          .collect(Collectors.toCollection(TreeSet::new));
    }
  }

  @Test
  void gentlJniDeclaresExactlyThePublishedNatives() throws IOException {
    Set<String> declared = new TreeSet<>();
    for (Method m : gentlJNI.class.getDeclaredMethods()) {
      if (Modifier.isNative(m.getModifiers())) {
        assertTrue(declared.add(m.getName()), "overloaded native " + m.getName());
      }
    }
    assertEquals(518, published().size());
    assertEquals(published(), declared);
  }

  @Test
  void theLibraryExportsASymbolForEachNative() throws Exception {
    Path library = Path.of(System.getProperty("grabkit.build.dir"), "native", "libgrabkit.so");
    Process nm = new ProcessBuilder("nm", "-D", "--defined-only", library.toString()).start();
    Set<String> exported = new TreeSet<>();
    try (BufferedReader r =
        new BufferedReader(new InputStreamReader(nm.getInputStream(), StandardCharsets.UTF_8))) {
      for (String line; (line = r.readLine()) != null; ) {
        int at = line.indexOf(PREFIX);
        if (at >= 0) {
          exported.add(line.substring(at + PREFIX.length()));
        }
      }
    }
    assertEquals(0, nm.waitFor());
    Set<String> expected =
        published().stream().map(n -> n.replace("_", "_1")).collect(Collectors.toCollection(TreeSet::new));
    assertEquals(expected, exported);
  }
}

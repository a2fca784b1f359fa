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
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;
import java.util.TreeSet;
import java.util.stream.Collectors;
import org.junit.jupiter.api.Test;

/**
 * The binding's contract: gentlJNI declares exactly the published native methods, the library
 * exports a JNI symbol for each of them and for nothing else of that class, and the constants
 * carry the values that producers were compiled with.
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

  @Test
  void everyConstantIsExportedWithItsValue() throws Exception {
    Map<String, Integer> values = new TreeMap<>();
    for (Method m : gentlJNI.class.getDeclaredMethods()) {
      if (m.getName().endsWith("_get") && m.getParameterCount() == 0) {
        values.put(m.getName().substring(0, m.getName().length() - 4), (Integer) m.invoke(null));
      }
    }
    assertEquals(215, values.size());
    values.forEach((name, value) -> {
      if (name.endsWith("_CUSTOM_ID")) {
        assertEquals(name.startsWith("GC_ERR_") ? -10000 : 1000, value, name);
      }
    });
    // One of each enumeration, where a shifted or mistyped entry would show.
    Object[] samples = {"GC_ERR_SUCCESS", 0, "GC_ERR_ERROR", -1001, "GC_ERR_BUSY", -1022,
      "URL_INFO_URL", 0, "ACQ_QUEUE_INPUT_TO_OUTPUT", 0, "EVENT_ERROR", 0, "EVENT_NEW_BUFFER", 1,
      "PIXELENDIANNESS_BIG", 2, "BUFFER_INFO_CONTAINS_CHUNKDATA", 30,
      "BUFFER_PART_INFO_DELIVERED_IMAGEHEIGHT", 11, "STREAM_INFO_BUF_ALIGNMENT", 13,
      "PORT_INFO_PORTNAME", 12, "EVENT_INFO_DATA_SIZE_MAX", 4, "URL_SCHEME_FILE", 2,
      "DEVICE_ACCESS_STATUS_OPEN_READ", 6, "PART_DATATYPE_CONFIDENCE_MAP", 9,
      "PAYLOAD_TYPE_MULTI_PART", 10, "TL_INFO_GENTL_VER_MINOR", 10, "ACQ_STOP_FLAGS_KILL", 1};
    for (int i = 0; i < samples.length; i += 2) {
      assertEquals(samples[i + 1], values.get(samples[i]), (String) samples[i]);
    }
  }
}

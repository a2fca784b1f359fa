package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.lang.reflect.Method;
import java.util.Map;
import java.util.TreeMap;
import org.junit.jupiter.api.Test;

class ConstantsTest {
  @Test
  void everyConstantIsExportedWithItsValue() throws Exception {
    Map<String, Integer> values = new TreeMap<>();
    for (Method m : gentlJNI.class.getDeclaredMethods()) {
      if (m.getName().endsWith("_get") && m.getParameterCount() == 0) {
        values.put(m.getName().substring(0, m.getName().length() - 4), (Integer) m.invoke(null));
      }
    }
    assertEquals(215, values.size());
    values.forEach(
        (name, value) -> {
          if (name.endsWith("_CUSTOM_ID")) {
            assertEquals(name.startsWith("GC_ERR_") ? -10000 : 1000, value, name);
          }
        });
    Map<String, Integer> samples =
        Map.ofEntries(
            Map.entry("GC_ERR_SUCCESS", 0),
            Map.entry("GC_ERR_ERROR", -1001),
            Map.entry("GC_ERR_BUSY", -1022),
            Map.entry("URL_INFO_URL", 0),
            Map.entry("ACQ_QUEUE_INPUT_TO_OUTPUT", 0),
            Map.entry("EVENT_ERROR", 0),
            Map.entry("EVENT_NEW_BUFFER", 1),
            Map.entry("PIXELENDIANNESS_BIG", 2),
            Map.entry("BUFFER_INFO_CONTAINS_CHUNKDATA", 30),
            Map.entry("BUFFER_PART_INFO_DELIVERED_IMAGEHEIGHT", 11),
            Map.entry("STREAM_INFO_BUF_ALIGNMENT", 13),
            Map.entry("PORT_INFO_PORTNAME", 12),
            Map.entry("EVENT_INFO_DATA_SIZE_MAX", 4),
            Map.entry("URL_SCHEME_FILE", 2),
            Map.entry("DEVICE_ACCESS_STATUS_OPEN_READ", 6),
            Map.entry("PART_DATATYPE_CONFIDENCE_MAP", 9),
            Map.entry("PAYLOAD_TYPE_MULTI_PART", 10),
            Map.entry("TL_INFO_GENTL_VER_MINOR", 10),
            Map.entry("ACQ_STOP_FLAGS_KILL", 1));
    samples.forEach((name, value) -> assertEquals(value, values.get(name), name));
  }
}

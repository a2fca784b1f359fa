package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/** The native lists through their Java classes. */
class ListsTest {
  private static void assertIndexError(Executable call) {
    IndexOutOfBoundsException e = assertThrows(IndexOutOfBoundsException.class, call);
    assertSame(IndexOutOfBoundsException.class, e.getClass());
    assertEquals("vector index out of range", e.getMessage());
  }

  private static void assertTooLong(Executable call) {
    RuntimeException e = assertThrows(RuntimeException.class, call);
    assertSame(RuntimeException.class, e.getClass());
    assertEquals("C++ std::exception: vector<T> too long", e.getMessage());
  }

  @Test
  void stringListsKeepTheirCapacityRules() {
    try (StringList list = new StringList(3)) {
      assertEquals(3, list.size());
      assertEquals(3, list.capacity());
      assertEquals("", list.get(2));
      list.set(1, "Dev1");
      list.add("Dev3");
      assertEquals(List.of("", "Dev1", "", "Dev3"), list.toList());
      list.reserve(10);
      assertEquals(10, list.capacity());
      list.reserve(2);
      assertEquals(10, list.capacity());
      list.clear();
      assertTrue(list.isEmpty());
      assertEquals(10, list.capacity());
    }
    try (StringList list = new StringList()) {
      assertEquals(0, list.capacity());
      for (int i = 0; i < 10; i++) {
        list.add("id" + i);
      }
      assertEquals(10, list.size());
      assertTrue(list.capacity() >= 10);
      assertEquals("id9", list.get(9));
      list.set(0, "Kamera \u00e9\u4e2d");
      assertEquals("Kamera \u00e9\u4e2d", list.get(0));
    }
  }

  @Test
  void badIndicesSizesAndStringsLeaveStringListsAlone() {
    try (StringList list = new StringList(2)) {
      list.set(0, "kept");
      for (int i : new int[] {-1, 2, Integer.MIN_VALUE}) {
        assertIndexError(() -> list.get(i));
        assertIndexError(() -> list.set(i, "x"));
      }
      // The string is tested before the index.
      for (Executable nullString :
          List.<Executable>of(() -> list.set(5, null), () -> list.add(null))) {
        assertEquals(
            "null string", assertThrows(NullPointerException.class, nullString).getMessage());
      }
      for (long size : new long[] {-1, Long.MIN_VALUE}) {
        assertTooLong(() -> list.reserve(size));
      }
      assertEquals(List.of("kept", ""), list.toList());
      assertEquals(2, list.capacity());
    }
    assertTooLong(() -> new StringList(-1));
  }

  @Test
  void sharedListsHoldEmptyElementsAndRefuseBadIndicesAndSizes() {
    try (DeviceInfoList devices = new DeviceInfoList(2);
        InterfaceInfoList interfaces = new InterfaceInfoList()) {
      assertEquals(2, devices.capacity());
      assertEquals(0, devices.get(1)); // empty: no holder is made
      interfaces.add(0);
      assertEquals(1, interfaces.size());
      assertFalse(interfaces.isEmpty());
      assertEquals(0, interfaces.get(0));
      interfaces.set(0, 0);
      for (int i : new int[] {-1, 2}) {
        assertIndexError(() -> devices.get(i));
        assertIndexError(() -> devices.set(i, 0));
      }
      assertIndexError(() -> interfaces.get(1));
      assertTooLong(() -> devices.reserve(-1));
      assertTooLong(() -> interfaces.reserve(-1));
      devices.clear();
      assertTrue(devices.isEmpty());
      assertEquals(2, devices.capacity());
    }
    assertTooLong(() -> new InterfaceInfoList(-1));
    // A list is freed once and refused afterwards.
    StringList list = new StringList(1);
    list.close();
    list.close();
    assertEquals(
        "StringList is closed", assertThrows(IllegalStateException.class, list::size).getMessage());
    DeviceInfoList devices = new DeviceInfoList();
    devices.close();
    assertThrows(IllegalStateException.class, () -> devices.add(0));
    gentlJNI.delete_StringList(0);
  }

}

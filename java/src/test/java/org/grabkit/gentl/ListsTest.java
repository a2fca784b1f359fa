package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/** The native lists through their Java classes; element lifetimes are the native ListsTest's. */
class ListsTest {
  @Test
  void capacityIsWhatWasAskedNeverShrinksAndElementsRoundTrip() {
    try (StringList list = new StringList(3);
        StringList grown = new StringList();
        DeviceInfoList devices = new DeviceInfoList(2);
        InterfaceInfoList interfaces = new InterfaceInfoList()) {
      assertEquals(List.of(3L, 3L, ""), List.of(list.size(), list.capacity(), list.get(2)));
      list.set(1, "Dev1");
      list.add("Dev3");
      assertEquals(List.of("", "Dev1", "", "Dev3"), list.toList());
      list.reserve(10);
      list.reserve(2);
      list.clear();
      assertTrue(list.isEmpty());
      assertEquals(10, list.capacity());
      assertEquals(0, grown.capacity());
      for (int i = 0; i < 10; i++) {
        grown.add("id" + i);
      }
      grown.set(0, "Kamera \u00e9\u4e2d");
      assertEquals(List.of("Kamera \u00e9\u4e2d", "id9"), List.of(grown.get(0), grown.get(9)));
      assertEquals(2, devices.capacity());
      assertEquals(0, devices.get(1)); // empty: no holder is made
      devices.clear();
      assertEquals(2, devices.capacity());
      interfaces.add(0);
      interfaces.set(0, 0);
      assertFalse(interfaces.isEmpty());
      assertEquals(0, interfaces.get(0));
    }
  }

  /** Every refusal leaves the list as it was; the string is tested before the index. */
  @Test
  void badIndicesSizesStringsAndClosedListsAreRefusedWithTheirClassAndText() {
    StringList closed = new StringList(1);
    closed.close();
    closed.close(); // freed once
    DeviceInfoList closedDevices = new DeviceInfoList();
    closedDevices.close();
    gentlJNI.delete_StringList(0);
    try (StringList list = new StringList(2);
        DeviceInfoList devices = new DeviceInfoList(2);
        InterfaceInfoList interfaces = new InterfaceInfoList(1)) {
      list.set(0, "kept");
      record Case(Class<?> type, String message, Executable call) {}
      String index = "vector index out of range";
      String tooLong = "C++ std::exception: vector<T> too long";
      List<Case> cases = new java.util.ArrayList<>();
      for (int i : new int[] {-1, 2, Integer.MIN_VALUE, Integer.MAX_VALUE}) {
        cases.add(new Case(IndexOutOfBoundsException.class, index, () -> list.get(i)));
        cases.add(new Case(IndexOutOfBoundsException.class, index, () -> list.set(i, "x")));
        cases.add(new Case(IndexOutOfBoundsException.class, index, () -> devices.get(i)));
        cases.add(new Case(IndexOutOfBoundsException.class, index, () -> devices.set(i, 0)));
      }
      cases.add(new Case(IndexOutOfBoundsException.class, index, () -> interfaces.get(1)));
      for (long size : new long[] {-1, Long.MIN_VALUE}) {
        cases.add(new Case(RuntimeException.class, tooLong, () -> list.reserve(size)));
        cases.add(new Case(RuntimeException.class, tooLong, () -> devices.reserve(size)));
        cases.add(new Case(RuntimeException.class, tooLong, () -> interfaces.reserve(size)));
        cases.add(new Case(RuntimeException.class, tooLong, () -> new StringList(size)));
        cases.add(new Case(RuntimeException.class, tooLong, () -> new InterfaceInfoList(size)));
      }
      cases.add(new Case(NullPointerException.class, "null string", () -> list.set(5, null)));
      cases.add(new Case(NullPointerException.class, "null string", () -> list.add(null)));
      cases.add(new Case(IllegalStateException.class, "StringList is closed", closed::size));
      cases.add(new Case(IllegalStateException.class, null, () -> closedDevices.add(0)));
      for (Case c : cases) {
        Throwable e = assertThrows(Throwable.class, c.call());
        assertSame(c.type(), e.getClass());
        if (c.message() != null) {
          assertEquals(c.message(), e.getMessage());
        }
      }
      assertEquals(List.of("kept", ""), list.toList());
      assertEquals(List.of(2L, 2L, 1L), List.of(list.capacity(), devices.size(), interfaces.size()));
    }
  }
}

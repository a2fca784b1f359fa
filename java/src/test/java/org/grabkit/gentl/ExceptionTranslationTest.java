package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.lang.reflect.Method;
import java.nio.ByteBuffer;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.Test;

class ExceptionTranslationTest {
  record Row(int code, Class<? extends GenTLException> type, String message) {}

  static final List<Row> PRODUCER_CODES =
      List.of(
          new Row(-1001, ErrorException.class, "Unspecified runtime exception"),
          new Row(-1002, NotInitializedException.class, "Module or resource not initialized"),
          new Row(-1003, NotImplementedException.class, "Requested operation not implemented"),
          new Row(-1004, ResourceInUseException.class, "Requested resource is already in use"),
          new Row(-1005, AccessDeniedException.class, "Requested operation is not allowed"),
          new Row(-1006, InvalidHandleException.class,
              "Given handle does not support the operation"),
          new Row(-1007, InvalidIdException.class, "ID could not be connected to a resource"),
          new Row(-1008, NoDataException.class, "Function has no data to work on"),
          new Row(-1009, InvalidParameterException.class, "Parameter not valid or out of range"),
          new Row(-1010, IoException.class,
              "Communication error, read or write to remote device failed"),
          new Row(-1011, TimeoutException.class, "Operation timed out before completion"),
          new Row(-1012, AbortException.class, "Operation aborted"),
          new Row(-1013, InvalidBufferException.class,
              "Insufficient amount of announced buffers to start acquisition"),
          new Row(-1014, NotAvailableException.class, "Resource or information is not available"),
          new Row(-1015, InvalidAddressException.class, "Address is out of range or invalid"),
          new Row(-1016, BufferTooSmallException.class, "Buffer used is to small for operation"),
          new Row(-1017, InvalidIndexException.class, "Provided index is out of range"),
          new Row(-1018, ParsingChunkDataException.class, "Error parsing chunk data buffer"),
          new Row(-1019, InvalidValueException.class,
              "Attempting to write an invalid register value"),
          new Row(-1020, ResourceExhaustedException.class, "The requested resource is exhausted"),
          new Row(-1021, OutOfMemoryException.class,
              "System and/or hardware has run out of memory"),
          new Row(-1022, BusyException.class,
              "Operation cannot be performed. Responsible module is busy"));

  @Test
  void everyProducerCodeReachesJavaAsItsClassWithItsText() {
    for (Row row : PRODUCER_CODES) {
      GenTLException e = assertThrows(GenTLException.class, () -> NativeSelfTest.checkError(row.code));
      assertSame(row.type, e.getClass());
      assertEquals(row.message + " (ID: " + row.code + ")", e.getMessage());
      assertEquals(row.code, e.code());
    }
    // Other codes are not errors.
    for (int code : new int[] {0, 1, -1000, -1023, -10000, -10001, -10002, Integer.MIN_VALUE,
        Integer.MAX_VALUE}) {
      assertEquals(code, NativeSelfTest.checkError(code));
    }
  }

  @Test
  void cppExceptionsBecomeStandardJavaExceptions() {
    RuntimeException std =
        assertThrows(RuntimeException.class, () -> NativeSelfTest.throwStdException("boom"));
    assertSame(RuntimeException.class, std.getClass());
    assertEquals("C++ std::exception: boom", std.getMessage());
    assertEquals(
        "C++ anonymous exception",
        assertThrows(UnknownError.class, NativeSelfTest::throwAnything).getMessage());
    // Unsigned results beyond long are refused.
    assertEquals(Long.MAX_VALUE, NativeSelfTest.unsignedResult(Long.MAX_VALUE));
    for (long big : new long[] {Long.MIN_VALUE, -1L}) {
      assertEquals(
          "C++ std::exception: Value " + Long.toUnsignedString(big)
              + " exceeds max (9223372036854775807)",
          assertThrows(RuntimeException.class, () -> NativeSelfTest.unsignedResult(big))
              .getMessage());
    }
  }

  @Test
  void argumentConversions() {
    assertEquals(
        "null string",
        assertThrows(NullPointerException.class, () -> NativeSelfTest.echo(null)).getMessage());
    assertEquals("Kamera \u00e9\u4e2d", NativeSelfTest.echo("Kamera \u00e9\u4e2d"));
    assertEquals(64, NativeSelfTest.directCapacity(ByteBuffer.allocateDirect(64).position(8)));
    for (ByteBuffer notDirect : Arrays.asList(ByteBuffer.allocate(64), null)) {
      RuntimeException e =
          assertThrows(RuntimeException.class, () -> NativeSelfTest.directCapacity(notDirect));
      assertEquals("ByteBuffer must be direct.", e.getMessage());
    }
  }

  @Test
  void upcastsAreTheIdentity() throws Exception {
    int count = 0;
    for (Method m : gentlJNI.class.getDeclaredMethods()) {
      if (m.getName().endsWith("_SWIGUpcast")) {
        count++;
        for (long address : new long[] {0L, 1L, -1L, 0x7fff_1234_5678L}) {
          assertEquals(address, m.invoke(null, address), m.getName());
        }
      }
    }
    assertEquals(24, count);
  }
}

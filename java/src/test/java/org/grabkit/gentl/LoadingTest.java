package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/** Loading and unloading through the low-level family; what the loader reports is LoaderTest's. */
class LoadingTest {
  @Test
  void badLoadsAndUnloadsThrowTheirClassAndLeaveNothingLoaded() {
    record Case(Class<? extends RuntimeException> type, String message, Executable call) {}
    Case[] cases = {
      new Case(NullPointerException.class, "null string", () -> gentlJNI.GCInitLib(null)),
      new Case(LoadLibraryException.class, "Failed to load CTI file (ID: -10001)",
          () -> gentlJNI.GCInitLib("/no/such/producer.cti")),
      new Case(NotInitializedException.class,
          "No GenTL producer is loaded, cannot call GCCloseLib (ID: -1002)", gentlJNI::GCCloseLib)
    };
    for (Case c : cases) {
      RuntimeException e = assertThrows(RuntimeException.class, c.call());
      assertSame(c.type(), e.getClass());
      assertEquals(c.message(), e.getMessage());
      if (e instanceof GenTLException g) {
        assertTrue(c.message().endsWith("(ID: " + g.code() + ")"), c.message());
      }
      assertFalse(gentlJNI.GCLibIsInited());
    }
  }

  @Test
  void producerCodesOfInitAndCloseAreReturnedNotThrown() {
    TestProducerControl.attach(TestProducerControl.TEST_CTI);
    TestProducerControl.setResult("GCInitLib", -1001);
    TestProducerControl.setResult("GCCloseLib", -1012);
    assertEquals(-1001, gentlJNI.GCInitLib(TestProducerControl.TEST_CTI));
    assertTrue(gentlJNI.GCLibIsInited());
    assertEquals(-1012, gentlJNI.GCCloseLib());
    assertFalse(gentlJNI.GCLibIsInited());
    assertEquals("GCInitLib\nGCCloseLib\n", TestProducerControl.callLog());
  }
}

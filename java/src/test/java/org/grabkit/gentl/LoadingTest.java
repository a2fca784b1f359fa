package org.grabkit.gentl;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

class LoadingTest {
  @BeforeEach
  void attach() {
    TestProducerControl.attach(TestProducerControl.TEST_CTI);
  }

  @AfterEach
  void unload() {
    gentlJNI.enableTracing(false);
    if (gentlJNI.GCLibIsInited()) {
      gentlJNI.GCCloseLib();
    }
  }

  @Test
  void badPathsThrowAndLeaveTheStateAlone() {
    NullPointerException npe = assertThrows(NullPointerException.class, () -> gentlJNI.GCInitLib(null));
    assertEquals("null string", npe.getMessage());
    assertFalse(gentlJNI.GCLibIsInited());

    LoadLibraryException e =
        assertThrows(LoadLibraryException.class, () -> gentlJNI.GCInitLib("/no/such/producer.cti"));
    assertEquals("Failed to load CTI file (ID: -10001)", e.getMessage());
    assertEquals(-10001, e.code());
    assertFalse(gentlJNI.GCLibIsInited());
    NotInitializedException none = assertThrows(NotInitializedException.class, gentlJNI::GCCloseLib);
    assertEquals(
        "No GenTL producer is loaded, cannot call GCCloseLib (ID: -1002)", none.getMessage());
  }

  @Test
  void producerCodesOfInitAndCloseAreReturnedNotThrown() {
    TestProducerControl.setResult("GCInitLib", -1001);
    TestProducerControl.setResult("GCCloseLib", -1012);
    assertEquals(-1001, gentlJNI.GCInitLib(TestProducerControl.TEST_CTI));
    assertTrue(gentlJNI.GCLibIsInited());
    assertEquals(-1012, gentlJNI.GCCloseLib());
    assertFalse(gentlJNI.GCLibIsInited());
    assertEquals("GCInitLib\nGCCloseLib\n", TestProducerControl.callLog());
  }


  @Test
  void missingFunctionsAreListedInResolutionOrderAfterTheTraceLine() {
    TestProducerControl.attach(TestProducerControl.PARTIAL_CTI);
    gentlJNI.enableTracing(true);
    String err = StdErr.capture(() -> gentlJNI.GCInitLib(TestProducerControl.PARTIAL_CTI));
    assertEquals(
        "GCInitLib()\n"
            + "GenTL producer does not implement GCReadPortStacked\n"
            + "GenTL producer does not implement DSGetBufferChunkData\n"
            + "GenTL producer does not implement DSGetNumBufferParts\n"
            + "GenTL producer does not implement DSGetBufferPartInfo\n",
        err);
    assertTrue(gentlJNI.GCLibIsInited());
    assertEquals("GCCloseLib()\n", StdErr.capture(gentlJNI::GCCloseLib));
  }
}

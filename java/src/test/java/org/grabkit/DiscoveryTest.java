package org.grabkit;

import static org.grabkit.gentl.TestProducerControl.ANY;
import static org.grabkit.gentl.TestProducerControl.answer;
import static org.grabkit.gentl.TestProducerControl.text;
import static org.grabkit.gentl.TestProducerControl.u32;
import static org.grabkit.gentl.TestProducerControl.u64;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.NoSuchElementException;
import java.util.stream.Stream;
import org.grabkit.gentl.ErrorException;
import org.grabkit.gentl.GenTLException;
import org.grabkit.gentl.NotImplementedException;
import org.grabkit.gentl.TestProducerControl;
import org.grabkit.gentl.gentlJNI;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * Every camera on the machine: loading a path list past its bad files, one list over several
 * producers, opening by any name, and failures that say which producer call failed and why.
 */
class DiscoveryTest {
  /** A path list as a machine may have it: good producers among files that are none. */
  static final class Machine {
    final Path dir;
    final Path sim;
    final Path simCopy;
    final Path notProducer;
    final Path empty;
    final Path missing;
    final String pathList;

    Machine(Path root) throws Exception {
      dir = Files.createDirectories(root.resolve("producers"));
      sim = Files.copy(Producers.simulated(), dir.resolve("a-sim.cti"));
      simCopy = Files.copy(Producers.simulated(), dir.resolve("b-sim-copy.cti"));
      empty = Files.createFile(dir.resolve("c-empty.cti"));
      notProducer =
          Files.copy(
              TestProducerControl.BUILD.resolve("producers/test/libgrabkit-testctl.so"),
              dir.resolve("d-not-a-producer.cti"));
      // The same producer again, through a link in another directory.
      Path other = Files.createDirectories(root.resolve("other"));
      Files.createSymbolicLink(other.resolve("link.cti"), sim);
      missing = root.resolve("missing");
      pathList = String.join(":", dir.toString(), missing.toString(), other.toString());
    }
  }

  /** Directories give their producers in name order, files themselves; an empty list none. */
  @Test
  void pathListsGiveProducerFiles(@TempDir Path tmp) throws Exception {
    Path vendor = Files.createDirectories(tmp.resolve("vendor"));
    Path b = Files.createFile(vendor.resolve("b.cti"));
    Path a = Files.createFile(vendor.resolve("A.CTI"));
    Files.createFile(vendor.resolve("readme.txt"));
    Files.createDirectories(vendor.resolve("nested.cti")); // a directory, not a producer
    Path single = Files.createFile(tmp.resolve("single.cti"));
    String list = String.join(":", single.toString(), "", tmp.resolve("missing").toString(),
        vendor.toString(), b.toString());
    assertEquals(List.of(single, a, b), Producers.fromPathList(list));
    assertEquals(List.of(), Producers.fromPathList(null));
    assertEquals(List.of(), Producers.fromPathList(" : "));
  }

  @Test
  void loadAllCarriesOnPastBadFilesAndListsEachFileAndCameraOnce(@TempDir Path root)
      throws Exception {
    Machine m = new Machine(root);
    try (LoadedProducers loaded = Producers.loadAll(m.pathList)) {
      assertEquals(
          List.of(m.sim, m.simCopy), loaded.producers().stream().map(Producer::path).toList());
      assertEquals(
          List.of(m.empty, m.notProducer, m.missing),
          loaded.failures().stream().map(LoadFailure::path).toList());
      assertEquals(
          List.of(
              "file too short (ID: -10001)",
              "it has no GCInitLib, so it is no GenTL producer (ID: -10001)",
              "no such file or directory"),
          loaded.failures().stream().map(LoadFailure::message).toList());
      // One camera seen through two producers is listed once and opens through a free route.
      Cameras cameras = loaded.cameras();
      assertEquals(
          List.of("SimCam0 in a-sim.cti", "SimCam3D in a-sim.cti"),
          cameras.list().stream().map(CameraEntry::toString).toList());
      CameraEntry cam0 = cameras.list().get(0);
      assertEquals(
          List.of("SimCam0 in a-sim.cti", "SimCam0 in b-sim-copy.cti"),
          cam0.routes().stream().map(CameraRoute::toString).toList());
      try (Camera first = cameras.open("GKS-0000");
          Camera second = Cameras.open(cam0, AccessMode.CONTROL)) {
        // The first producer holds the camera open, so the second route had to serve.
        loaded.producers().get(1).close();
        assertTrue(second.isClosed());
        assertFalse(first.isClosed());
      }
    }
  }

  @Test
  void theSameFileOpenedTwiceSharesItsSystemAndEachClosesOnlyItsOwnCameras() {
    Producer second;
    try (Producer first = Producer.openSimulated()) {
      second = Producer.openSimulated();
      assertEquals(first.devices(), second.devices());
      try (Camera a = first.openCamera("SimCam0"); Camera b = second.openCamera("SimCam3D")) {
        first.close();
        assertTrue(a.isClosed());
        assertFalse(b.isClosed());
        assertEquals(640, b.features().getInteger("Width"));
        assertEquals(2, second.devices().size());
      }
      second.close();
    }
    // The last close unloaded the file: a new open starts afresh.
    try (Producer again = Producer.openSimulated()) {
      assertEquals(AccessStatus.READ_WRITE, again.devices().get(0).accessStatus());
    }
  }

  @ParameterizedTest
  @CsvSource({"SimCam3D, SimCam3D", "GKS-0000, SimCam0", "sim3d, SimCam3D",
      "'Grabkit SimCam (SimCam0)', SimCam0"})
  void aCameraOpensByIdSerialUserNameOrDisplayName(String name, String id) {
    try (LoadedProducers loaded = Producers.loadAll(List.of(Producers.simulated()))) {
      assertEquals(id, loaded.cameras().find(name).device().id());
      assertEquals(id, loaded.producers().get(0).openCamera(name).id());
    }
  }

  /** Two scripted devices that share their serial number, user name and display name. */
  private static Producer twins() {
    TestProducerControl.attach(TestProducerControl.TEST_CTI);
    Sim.scriptTree("Dev0", "Dev1");
    answer("IFGetDeviceInfo", gentlJNI.DEVICE_INFO_SERIAL_NUMBER_get(), text("SN1"));
    answer("IFGetDeviceInfo", gentlJNI.DEVICE_INFO_USER_DEFINED_NAME_get(), text("Dev1"));
    answer("IFGetDeviceInfo", gentlJNI.DEVICE_INFO_DISPLAYNAME_get(), text("Twin"));
    return Producer.open(Path.of(TestProducerControl.TEST_CTI));
  }

  @Test
  void anIdWinsOverOtherNamesAndAnAmbiguousOrUnknownNameListsTheDevices() {
    try (Producer producer = twins()) {
      assertEquals("Dev1", producer.openCamera("Dev1").id());
      AmbiguousNameException twice =
          assertThrows(AmbiguousNameException.class, () -> producer.openCamera("SN1"));
      assertEquals(
          "Device name 'SN1' is ambiguous: it is the serial number of Dev0, Dev1",
          twice.getMessage());
      assertEquals(List.of("Dev0", "Dev1"), twice.matches());
      NoSuchElementException none =
          assertThrows(NoSuchElementException.class, () -> producer.openCamera("Twin0"));
      assertEquals("No device 'Twin0' (devices: Dev0, Dev1)", none.getMessage());
    }
  }

  @Test
  void noModuleIsAskedForItsIdAndMissingInformationIsUnknown() {
    try (Producer producer = twins()) {
      TestProducerControl.setAnswer(
          "TLUpdateInterfaceList", ANY, gentlJNI.GC_ERR_NOT_IMPLEMENTED_get(), null);
      TestProducerControl.setAnswer(
          "IFUpdateDeviceList", ANY, gentlJNI.GC_ERR_NOT_IMPLEMENTED_get(), null);
      DeviceEntry dev0 = producer.devices().get(0);
      assertEquals("IF0", dev0.interfaceId());
      assertEquals("", dev0.vendor());
      assertEquals(AccessStatus.UNKNOWN, dev0.accessStatus());
      assertFalse(TestProducerControl.callLog().contains("TLGetInterfaceInfo"));
      answer("DevOpenDataStream", ANY, u64(0x400));
      try (Camera camera = producer.openCamera("Dev0");
          ImageStream stream = camera.openStream("Stream0")) {
        assertEquals("Stream0", stream.info().id());
      }
      String log = TestProducerControl.argumentLog();
      // Asked for other information, never for the ID the open already gave.
      assertTrue(log.contains("IFGetInfo(0x200, " + gentlJNI.INTERFACE_INFO_DISPLAYNAME_get()), log);
      assertTrue(log.contains("DSGetInfo(0x400, " + gentlJNI.STREAM_INFO_TLTYPE_get()), log);
      assertFalse(log.contains("IFGetInfo(0x200, " + gentlJNI.INTERFACE_INFO_ID_get() + ","), log);
      assertFalse(log.contains("DSGetInfo(0x400, " + gentlJNI.STREAM_INFO_ID_get() + ","), log);
    }
  }

  /** A producer that describes its own system module reads its features over the module port. */
  @Test
  void aProducersOwnFeaturesReadThroughItsSystemPort() {
    String xml = "<RegisterDescription ModelName=\"System\" VendorName=\"Grabkit\""
        + " xmlns=\"http://www.genicam.org/GenApi/Version_1_1\">"
        + "<IntReg Name=\"GenTLVersion\"><Address>0x2000</Address><Length>4</Length>"
        + "<AccessMode>RO</AccessMode><pPort>TLPort</pPort></IntReg>"
        + "<Port Name=\"TLPort\"/></RegisterDescription>";
    byte[] file = xml.getBytes(java.nio.charset.StandardCharsets.UTF_8);
    try (Producer producer = twins()) {
      answer("GCGetNumPortURLs", ANY, u32(1));
      answer("GCGetPortURLInfo", gentlJNI.URL_INFO_URL_get(),
          text("Local:system.xml;1000;" + Integer.toHexString(file.length)));
      answer("GCReadPort", 0x1000, file);
      answer("GCReadPort", 0x2000, u32(0x0105));
      assertEquals(0x0105, producer.features().orElseThrow().getInteger("GenTLVersion"));
    }
    try (Producer simulated = Producer.openSimulated()) {
      assertTrue(simulated.features().isEmpty(), "its modules offer no description file");
    }
  }

  static Stream<Arguments> streamFailures() {
    return Stream.of(
        Arguments.of(-10042, "sensor not cooled", ErrorException.class,
            "DevOpenDataStream: sensor not cooled (ID: -10042)"),
        Arguments.of(gentlJNI.GC_ERR_NOT_IMPLEMENTED_get(), "not yet implemented in this producer",
            NotImplementedException.class,
            "DevOpenDataStream: not yet implemented in this producer (ID: -1003)"),
        // Without a text of the producer's, the code's own.
        Arguments.of(gentlJNI.GC_ERR_NOT_IMPLEMENTED_get(), "", NotImplementedException.class,
            "DevOpenDataStream: Requested operation not implemented (ID: -1003)"));
  }

  @ParameterizedTest
  @MethodSource("streamFailures")
  void aFailedCallNamesTheFunctionAndKeepsTheProducersTextClassAndCode(
      int code, String producerText, Class<? extends GenTLException> type, String start) {
    try (Producer producer = twins();
        Camera camera = producer.openCamera("Dev0")) {
      byte[] textBytes = text(producerText);
      answer("GCGetLastError", ANY, ByteBuffer.allocate(4 + textBytes.length)
          .order(ByteOrder.nativeOrder()).putInt(code).put(textBytes).array());
      TestProducerControl.setAnswer("DevOpenDataStream", ANY, code, null);
      GenTLException e = assertThrows(type, () -> camera.openStream("Stream0"));
      assertTrue(e.getMessage().startsWith(start), e.getMessage());
      assertEquals(code, e.code());
    }
  }
}

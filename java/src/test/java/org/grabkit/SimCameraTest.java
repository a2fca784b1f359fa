package org.grabkit;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.awt.image.BufferedImage;
import java.io.ByteArrayInputStream;
import java.io.UncheckedIOException;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.NoSuchElementException;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import javax.imageio.ImageIO;
import javax.xml.parsers.DocumentBuilderFactory;
import org.grabkit.gentl.LiveHolders;
import org.grabkit.gentl.TimeoutException;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;
import org.w3c.dom.Document;

/** The Java layer end to end against the simulated camera. */
class SimCameraTest {
  private static final Duration WAIT = Duration.ofSeconds(5);

  private long holdersBefore;
  private Producer producer;

  @BeforeEach
  void open() throws InterruptedException {
    holdersBefore = LiveHolders.settled();
    producer = Producer.openSimulated();
  }

  @AfterEach
  void closeAndCountHolders() throws InterruptedException {
    producer.close();
    assertEquals(holdersBefore, LiveHolders.settled(), "native holders left behind");
  }

  @Test
  void enumerationGivesRecordsOfTheTree() {
    SystemInfo system = producer.system();
    assertEquals("GrabkitSim", system.id());
    assertEquals("1.5", system.genTLVersion());
    assertEquals(producer.path(), system.path());
    List<InterfaceEntry> interfaces = producer.interfaces();
    assertEquals(1, interfaces.size());
    assertEquals("SimInterface0", interfaces.get(0).id());
    List<DeviceEntry> devices = producer.devices();
    assertEquals(List.of("SimCam0", "SimCam3D"), devices.stream().map(DeviceEntry::id).toList());
    DeviceEntry cam = devices.get(0);
    assertEquals("SimInterface0", cam.interfaceId());
    assertEquals("SimCam", cam.model());
    assertEquals(AccessStatus.READ_WRITE, cam.accessStatus());
    try (Camera camera = producer.openCamera()) {
      assertEquals("SimCam0", camera.id());
      assertEquals(AccessStatus.OPEN_READ_WRITE, producer.devices().get(0).accessStatus());
      assertEquals(List.of("Stream0"), camera.streamIds());
      try (ImageStream stream = camera.openStream()) {
        StreamEntry info = stream.info();
        assertEquals(640L * 480, info.payloadSize().orElseThrow());
        assertEquals(1, info.minimumBuffers().orElseThrow());
      }
    }
    NoSuchElementException unknown =
        assertThrows(NoSuchElementException.class, () -> producer.openCamera("SimCam9"));
    assertEquals("No device 'SimCam9' (devices: SimCam0, SimCam3D)", unknown.getMessage());
  }

  /**
   * Two producers at once: a second copy of the camera's file is a second, separate load, and the
   * first streams a thousand exact frames while the second closes.
   */
  @Test
  void twoProducersStreamAtOnceAndOneClosesWhileTheOtherStreams(@TempDir Path dir)
      throws Exception {
    Path copy = java.nio.file.Files.copy(Producers.simulated(), dir.resolve("second.cti"));
    try (Producer second = Producer.open(copy);
        Camera a = Sim.small(producer, "SimCam0", PixelFormat.MONO8);
        Camera b = Sim.small(second, "SimCam0", PixelFormat.MONO8)) {
      Acquisition acqA = a.openStream().start(4);
      Acquisition acqB = b.openStream().start(4);
      CompletableFuture<Long> streamA = // a thousand frames, each with its exact pattern
          CompletableFuture.supplyAsync(
              () -> {
                long last = 0;
                for (int n = 0; n < 1000; n++) {
                  try (Frame frame = acqA.next(WAIT)) {
                    assertEquals(List.of(64, 48, PixelFormat.MONO8, 64 * 48, false),
                        List.of(frame.width(), frame.height(), frame.pixelFormat(),
                            frame.data().remaining(), frame.isIncomplete()));
                    assertTrue(frame.frameId().orElseThrow() > last);
                    last = frame.frameId().getAsLong();
                    Sim.assertPattern(frame);
                  }
                }
                return acqA.framesDelivered();
              });
      acqB.forEach(1, WAIT, Sim::assertPattern);
      second.close(); // closes b and its acquisition while a streams on
      assertTrue(b.isClosed());
      assertEquals(1000L, streamA.get(30, TimeUnit.SECONDS));
      assertEquals(1000L * 64 * 48, acqA.bytesDelivered());
      acqA.close();
    }
  }

  @ParameterizedTest
  @ValueSource(strings = {"Mono8", "Mono16", "RGB8"})
  void framesBecomeImagesAndPngsEqualToTheBuffer(String name, @TempDir Path dir)
      throws Exception {
    PixelFormat format =
        name.equals("Mono8") ? PixelFormat.MONO8
            : name.equals("Mono16") ? PixelFormat.MONO16 : PixelFormat.RGB8;
    try (Camera camera = Sim.small(producer, "SimCam0", format);
        Acquisition acq = camera.openStream().start(2)) {
      acq.forEach(
          5,
          WAIT,
          frame -> {
            assertEquals(format, frame.pixelFormat());
            Sim.assertPattern(frame);
          });
      try (Frame frame = acq.next(WAIT)) {
        Path png = dir.resolve(name + ".png");
        frame.writePng(png);
        BufferedImage read = ImageIO.read(png.toFile());
        assertEquals(64, read.getWidth());
        assertEquals(48, read.getHeight());
        ByteBuffer data = frame.data();
        for (int y = 0; y < 48; y++) {
          for (int x = 0; x < 64; x++) {
            int i = y * 64 + x;
            int expected =
                format.equals(PixelFormat.MONO8)
                    ? data.get(i) & 0xFF
                    : format.equals(PixelFormat.MONO16)
                        ? data.getShort(2 * i) & 0xFFFF
                        : (data.get(3 * i) & 0xFF) << 16
                            | (data.get(3 * i + 1) & 0xFF) << 8
                            | data.get(3 * i + 2) & 0xFF;
            int actual =
                format.equals(PixelFormat.RGB8)
                    ? read.getRGB(x, y) & 0xFFFFFF
                    : read.getRaster().getSample(x, y, 0);
            assertEquals(expected, actual, name + " at " + x + "," + y);
          }
        }
      }
    }
  }

  @Test
  void multiPartFramesDescribeEachPart() {
    try (Camera camera = Sim.small(producer, "SimCam3D", PixelFormat.MONO16);
        Acquisition acq = camera.openStream().start(2);
        Frame frame = acq.next(WAIT)) {
      List<Frame.Part> parts = frame.parts();
      assertEquals(2, parts.size());
      assertEquals(new Frame.Part(0, 0, 64 * 48 * 2, 64, 48, PixelFormat.MONO16, 0), parts.get(0));
      assertEquals(new Frame.Part(1, 64 * 48 * 2, 64 * 48, 64, 48, PixelFormat.MONO8, 0), parts.get(1));
      assertEquals(parts.get(0), frame.image().orElseThrow());
      Sim.assertPattern(frame);
      BufferedImage intensity = frame.toImage(parts.get(1));
      long f = frame.frameId().orElseThrow();
      assertEquals((3 + 2 + f) & 0xFF, intensity.getRaster().getSample(3, 2, 0));
    }
  }

  /** Frames give their buffers back on close, and refuse use after it or after the acquisition. */
  @Test
  void closingAFrameGivesItsBufferBackAndRefusesLaterUse() {
    try (Camera camera = Sim.small(producer, "SimCam0", PixelFormat.MONO8)) {
      Acquisition acq = camera.openStream().start(2);
      Frame first = acq.next(WAIT);
      Frame second = acq.next(WAIT);
      IllegalStateException starved = assertThrows(IllegalStateException.class, () -> acq.next(WAIT));
      assertTrue(starved.getMessage().startsWith("All 2 buffers are held"), starved.getMessage());
      first.close();
      first.close(); // a second close does nothing
      try (Frame third = acq.next(WAIT)) {
        assertTrue(third.frameId().orElseThrow() > second.frameId().orElseThrow());
      }
      second.close();
      List<Frame> frames = new ArrayList<>();
      acq.frames(WAIT).limit(2).forEach(frames::add);
      assertEquals(2, frames.size());
      frames.forEach(Frame::close);
      assertEquals(5, acq.framesDelivered());
      IllegalStateException e = assertThrows(IllegalStateException.class, first::data);
      assertTrue(e.getMessage().endsWith("is closed: its buffer went back to the camera"), e.getMessage());

      Frame open = acq.next(WAIT);
      Frame.Part mono8 = open.image().orElseThrow();
      Frame.Part other =
          new Frame.Part(0, 0, mono8.size(), 64, 48, new PixelFormat(0x010A0058L), 0);
      String unsupported =
          assertThrows(UnsupportedOperationException.class, () -> open.toImage(other)).getMessage();
      assertTrue(
          unsupported.startsWith("Cannot make an image of pixel format BayerRG10p (0x010A0058);"),
          unsupported);
      acq.close();
      acq.close(); // twice is fine
      assertTrue(acq.isClosed());
      assertTrue(open.isClosed());
      e = assertThrows(IllegalStateException.class, open::width);
      assertTrue(e.getMessage().endsWith("belongs to a closed acquisition"), e.getMessage());
      open.close();
      assertThrows(IllegalStateException.class, () -> acq.next(WAIT));
    }
  }

  /** Registers in the device's byte order; the description file, plain and zipped, read only. */
  @Test
  void registersReadAndWriteInTheDevicesByteOrderAndTheDescriptionFileParses() throws Exception {
    try (Camera camera = producer.openCamera("SimCam0")) {
      assertArrayEquals("Grabkit\0".getBytes(StandardCharsets.US_ASCII), camera.readRegisters(0, 8));
      camera.writeInt(Sim.WIDTH, 320);
      assertEquals(320, camera.readInt(Sim.WIDTH));
      assertArrayEquals(new byte[] {0x40, 0x01, 0, 0}, camera.readRegisters(Sim.WIDTH, 4));
    }
    for (String id : List.of("SimCam0", "SimCam3D")) {
      try (Camera readOnly = producer.openCamera(id, AccessMode.READ_ONLY)) {
        assertEquals(640, readOnly.readInt(Sim.WIDTH)); // every open starts from the defaults
        assertThrows(
            org.grabkit.gentl.AccessDeniedException.class, () -> readOnly.writeInt(Sim.WIDTH, 8));
        String url = readOnly.descriptionUrls().get(0);
        assertTrue(url.contains(id.equals("SimCam0") ? ".xml;" : ".zip;"), url);
        String xml = readOnly.descriptionXml().orElseThrow();
        Document doc =
            DocumentBuilderFactory.newInstance()
                .newDocumentBuilder()
                .parse(new ByteArrayInputStream(xml.getBytes(StandardCharsets.UTF_8)));
        assertEquals("RegisterDescription", doc.getDocumentElement().getTagName());
        assertTrue(xml.contains("AcquisitionFrameRate"), id);
      }
    }
  }

  @Test
  void closingTheCameraEndsARunningAcquisitionAndWakesItsWaiter() throws Exception {
    Camera camera = Sim.small(producer, "SimCam0", PixelFormat.MONO8);
    camera.writeInt(Sim.FRAME_RATE_MHZ, 10); // one frame every 100 s
    Acquisition acq = camera.openStream().start(2);
    acq.next(WAIT).close(); // the first frame comes at once
    assertThrows(TimeoutException.class, () -> acq.next(Duration.ofMillis(50)));
    CompletableFuture<Frame> waiter = CompletableFuture.supplyAsync(() -> acq.next(WAIT.multipliedBy(4)));
    Thread.sleep(200); // let it wait inside the producer
    long start = System.nanoTime();
    camera.close();
    Throwable woken =
        assertThrows(Exception.class, () -> waiter.get(5, TimeUnit.SECONDS)).getCause();
    assertInstanceOf(IllegalStateException.class, woken);
    assertTrue(System.nanoTime() - start < 3_000_000_000L, "the waiter was not woken");
    assertTrue(acq.isClosed());
    assertThrows(IllegalStateException.class, camera::streamIds);
    camera.close();
  }

  @Test
  void aProducerFileThatDoesNotExistIsNamed() {
    producer.close(); // one producer at a time
    UncheckedIOException e =
        assertThrows(UncheckedIOException.class, () -> Producer.open(Path.of("/no/such.cti")));
    assertInstanceOf(NoSuchFileException.class, e.getCause());
    assertEquals("No such producer file: /no/such.cti", e.getMessage());
    assertThrows(IllegalStateException.class, producer::devices);
  }
}

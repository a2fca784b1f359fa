package org.grabkit;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.awt.image.BufferedImage;
import java.io.IOException;
import java.io.UncheckedIOException;
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
import org.grabkit.features.EnumEntryNode;
import org.grabkit.features.EnumerationNode;
import org.grabkit.features.FeatureException;
import org.grabkit.features.NodeMap;
import org.grabkit.gentl.LiveHolders;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The Java layer end to end against the simulated camera, its features by name included. */
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
      // The camera's clock runs at 1 GHz, so its time stamps are nanoseconds as they are.
      assertEquals(1_000_000_000L, a.timestampFrequency().orElseThrow());
      assertEquals(a.timestampFrequency(), acqA.timestampFrequency());
      CompletableFuture<Long> streamA = // a thousand frames, each with its exact pattern
          CompletableFuture.supplyAsync(
              () -> {
                long last = 0;
                long lastTicks = 0;
                for (int n = 0; n < 1000; n++) {
                  try (Frame frame = acqA.next(WAIT)) {
                    assertFalse(frame.isIncomplete());
                    assertTrue(frame.frameId().orElseThrow() > last);
                    last = frame.frameId().getAsLong();
                    Sim.assertPattern(frame);
                    long ticks = frame.timestamp().orElseThrow();
                    assertTrue(ticks > lastTicks);
                    assertEquals(ticks, frame.timestampNanosOr(-1));
                    assertEquals(Duration.ofNanos(ticks), frame.deviceTime().orElseThrow());
                    lastTicks = ticks;
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

  /**
   * Registers in the device's byte order; read-only access refuses writes. (The description files,
   * plain and zipped, are parsed wherever features are used.)
   */
  @Test
  void registersReadAndWriteInTheDevicesByteOrderAndReadOnlyRefusesWrites() {
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
        assertTrue(readOnly.descriptionXml().orElseThrow().contains("AcquisitionFrameRate"), id);
      }
    }
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

  /**
   * Features by name reach the registers; a settings file, a user set and TLParamsLocked behave as
   * the README shows, selected values included.
   */
  @Test
  void featuresReachTheRegistersAndSettingsFilesAndUserSetsRestoreThem(@TempDir Path dir) {
    try (Camera camera = producer.openCamera("SimCam0")) {
      NodeMap features = camera.features();
      assertSame(features, camera.features());
      assertEquals(480, features.getInteger("Height"));
      features.setInteger("Width", 320);
      features.invalidate();
      assertEquals(320, features.getInteger("Width"));
      features.setEnum("PixelFormat", "Mono16");
      features.setFloat("ExposureTime", 20000);
      features.setFloat("AcquisitionFrameRate", 12.5);
      assertEquals(List.of(320, (int) PixelFormat.MONO16.code(), 200000, 12500),
          List.of(camera.readInt(Sim.WIDTH), camera.readInt(Sim.PIXEL_FORMAT),
              camera.readInt(Sim.EXPOSURE), camera.readInt(Sim.FRAME_RATE_MHZ)));
      assertEquals(320L * 480 * 2, features.getInteger("PayloadSize"));
      assertEquals("Grabkit", features.getString("DeviceVendorName"));
      features.execute("AcquisitionStart", Duration.ofSeconds(1));
      features.execute("AcquisitionStop", Duration.ofSeconds(1));
      features.setInteger("TLParamsLocked", 1);
      FeatureException locked =
          assertThrows(FeatureException.class, () -> features.setInteger("Width", 100));
      assertEquals("Width is not writable: locked while TLParamsLocked = 1", locked.getMessage());
      features.setInteger("TLParamsLocked", 0);
      assertTrue(features.node("Width").isWritable());

      features.setEnum("GainSelector", "Red");
      features.setFloat("Gain", 3.5);
      features.setEnum("GainSelector", "All");
      Path file = dir.resolve("settings.txt");
      features.save(file);
      features.setEnum("UserSetSelector", "UserSet1");
      features.execute("UserSetSave");
      features.execute("DeviceReset");
      assertEquals(640, features.getInteger("Width"));
      features.setEnum("GainSelector", "Red");
      assertEquals(0.0, features.getFloat("Gain"));
      features.setEnum("UserSetSelector", "UserSet1"); // a reset selects Default again
      features.execute("UserSetLoad");
      assertEquals(3.5, features.getFloat("Gain"));

      features.execute("DeviceReset");
      assertEquals(List.of(), features.load(file));
      features.setEnum("GainSelector", "Red");
      assertEquals(3.5, features.getFloat("Gain"));
      assertEquals(List.of(320, (int) PixelFormat.MONO16.code(), 200000),
          List.of(camera.readInt(Sim.WIDTH), camera.readInt(Sim.PIXEL_FORMAT),
              camera.readInt(Sim.EXPOSURE)));
    }
  }

  /** A Mono8 pixel as the camera's README computes it. */
  interface Pixel {
    int at(int x, int y, long f);
  }

  @Test
  void settingsChangeThePixelsExactlyAsDocumented() {
    record Case(String settings, int width, int height, Pixel pixel) {}
    List<Case> cases =
        List.of(
            new Case("Width=40 Height=6 OffsetX=100 OffsetY=7", 40, 6,
                (x, y, f) -> (int) ((100 + x + 7 + y + f) & 0xFF)),
            new Case("BinningHorizontal=2 BinningVertical=2 ReverseX=true Width=30 Height=5", 30, 5,
                (x, y, f) -> (int) (((29 - x) * 2 + y * 2 + f) & 0xFF)),
            // Brightness is proportional to the exposure; 10 ms is the nominal level.
            new Case("ExposureTime=5000 Width=20 Height=4", 20, 4,
                (x, y, f) -> (int) ((x + y + f) & 0xFF) / 2),
            // 6 dB is a factor of round(1000 * 10^0.3) / 1000 = 1.995, then the black level.
            new Case("Gain=6 BlackLevel=20 Width=20 Height=4", 20, 4,
                (x, y, f) -> Math.min(255, (int) ((x + y + f) & 0xFF) * 1995 / 1000 + 20)));
    for (Case c : cases) {
      try (Camera camera = producer.openCamera("SimCam0")) {
        NodeMap features = camera.features();
        features.setFloat("AcquisitionFrameRate", 0);
        for (String setting : c.settings().split(" ")) {
          String[] nameValue = setting.split("=");
          features.set(nameValue[0], nameValue[1]);
        }
        try (Acquisition acquisition = camera.openStream().start(2);
            Frame frame = acquisition.next(Duration.ofSeconds(5))) {
          assertEquals(c.width(), frame.width(), c.settings());
          assertEquals(c.height(), frame.height(), c.settings());
          long f = frame.frameId().orElseThrow();
          for (int y = 0; y < c.height(); y++) {
            for (int x = 0; x < c.width(); x++) {
              int actual = frame.data().get(y * c.width() + x) & 0xFF;
              if (actual != c.pixel().at(x, y, f)) {
                fail(c.settings() + ": pixel (" + x + "," + y + ") is " + actual + ", expected "
                    + c.pixel().at(x, y, f));
              }
            }
          }
        }
      }
    }
  }

  @Test
  void everyPixelFormatTheCameraOffersArrivesAsThePatternAndBecomesAPng(@TempDir Path dir)
      throws IOException {
    try (Camera camera = producer.openCamera("SimCam0")) {
      NodeMap features = camera.features();
      features.setFloat("AcquisitionFrameRate", 0);
      features.setInteger("Width", 13);  // odd: packed rows share bytes, 4:2:2 ends on half a pair
      features.setInteger("Height", 5);
      EnumerationNode formats = (EnumerationNode) features.node("PixelFormat");
      assertEquals(33, formats.entries().size());
      for (EnumEntryNode entry : formats.entries()) {
        // The camera's C++ table and Java's name the same codes: two transcriptions that agree.
        PixelFormat format = PixelFormat.of(entry.symbol());
        assertEquals(List.of(entry.value(), entry.symbol(), format, true),
            List.of(format.code(), new PixelFormat(entry.value()).toString(),
                PixelFormat.of(String.format("0x%08X", entry.value())), format.isConvertible()),
            entry.symbol());
        features.setEnum("PixelFormat", entry.symbol());
        try (Acquisition acquisition = camera.openStream().start(1);
            Frame frame = acquisition.next(Duration.ofSeconds(5))) {
          assertEquals(format, frame.pixelFormat());
          assertEquals(
              PixelPattern.bytes(format, 13, 5, frame.frameId().orElseThrow()), frame.data(),
              entry.symbol());
          // The PNG holds exactly the converted image, which ConversionTest checks bit by bit.
          BufferedImage image = frame.toImage();
          Path png = dir.resolve(entry.symbol() + ".png");
          frame.writePng(png);
          assertArrayEquals(pixels(image), pixels(ImageIO.read(png.toFile())), entry.symbol());
        }
      }
    }
  }

  @Test
  void triggeredFramesChunksAndLocksWhileAcquiring() {
    try (Camera camera = producer.openCamera("SimCam0")) {
      NodeMap features = camera.features();
      features.setEnum("TriggerMode", "On");
      features.setBoolean("ChunkModeActive", true);
      for (String chunk : List.of("FrameID", "Timestamp")) {
        features.setEnum("ChunkSelector", chunk);
        features.setBoolean("ChunkEnable", true);
      }
      try (Acquisition acquisition = camera.openStream().start(3)) {
        FeatureException locked =
            assertThrows(FeatureException.class, () -> features.setInteger("Width", 100));
        assertEquals("Width is not writable: locked while TLParamsLocked = 1", locked.getMessage());
        // Exactly one frame per TriggerSoftware, each carrying its own frame ID and time stamp.
        for (int i = 0; i < 3; i++) {
          features.execute("TriggerSoftware");
          try (Frame frame = acquisition.next(Duration.ofSeconds(5))) {
            NodeMap chunks = camera.attachChunks(frame);
            assertEquals(frame.frameId().orElseThrow(), chunks.getInteger("ChunkFrameID"));
            assertEquals(frame.timestamp().orElseThrow(), chunks.getInteger("ChunkTimestamp"));
          }
          assertThrows(RuntimeException.class, () -> acquisition.next(Duration.ofMillis(100)));
        }
      }
    }
  }

  private static int[] pixels(BufferedImage image) {
    return image.getRaster().getPixels(0, 0, image.getWidth(), image.getHeight(), (int[]) null);
  }
}

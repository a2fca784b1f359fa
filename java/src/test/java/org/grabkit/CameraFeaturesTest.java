package org.grabkit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.nio.file.Path;
import java.time.Duration;
import java.util.List;
import org.grabkit.features.EnumEntryNode;
import org.grabkit.features.EnumerationNode;
import org.grabkit.features.FeatureException;
import org.grabkit.features.NodeMap;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The simulated camera's features by name, end to end. */
class CameraFeaturesTest {
  private Producer producer;

  @BeforeEach
  void open() {
    producer = Producer.openSimulated();
  }

  @AfterEach
  void close() {
    producer.close();
  }

  @Test
  void widthHeightAndPixelFormatByName() {
    try (Camera camera = producer.openCamera("SimCam0")) {
      NodeMap features = camera.features();
      assertSame(features, camera.features());
      assertEquals(640, features.getInteger("Width"));
      assertEquals(480, features.getInteger("Height"));
      features.setInteger("Width", 320);
      features.invalidate();
      assertEquals(320, features.getInteger("Width"));
      assertEquals(320, camera.readInt(Sim.WIDTH));
      features.setEnum("PixelFormat", "Mono16");
      assertEquals(PixelFormat.MONO16.code(), camera.readInt(Sim.PIXEL_FORMAT));
      assertEquals(320L * 480 * 2, features.getInteger("PayloadSize"));
      assertEquals("Grabkit", features.getString("DeviceVendorName"));
      features.setFloat("AcquisitionFrameRate", 12.5);
      assertEquals(12500, camera.readInt(Sim.FRAME_RATE_MHZ));
    }
  }

  @Test
  void theReadmeExampleRuns(@TempDir Path dir) {
    try (Camera camera = producer.openCamera("SimCam0")) {
      NodeMap features = camera.features();
      features.setInteger("Width", 320);
      features.setEnum("PixelFormat", "Mono16");
      features.setFloat("ExposureTime", 20000);
      assertEquals(320L * 480 * 2, features.getInteger("PayloadSize"));
      features.execute("AcquisitionStart", Duration.ofSeconds(1));
      features.execute("AcquisitionStop", Duration.ofSeconds(1));
      Path file = dir.resolve("camera.txt");
      features.save(file);
      features.setInteger("Width", 64);
      features.setEnum("PixelFormat", "Mono8");
      features.setFloat("ExposureTime", 100);
      assertEquals(List.of(), features.load(file));
      assertEquals(320, camera.readInt(Sim.WIDTH));
      assertEquals(PixelFormat.MONO16.code(), camera.readInt(Sim.PIXEL_FORMAT));
      assertEquals(200000, camera.readInt(Sim.EXPOSURE));
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
  void everyPixelFormatTheCameraOffersArrivesAsThePatternAndConverts() {
    try (Camera camera = producer.openCamera("SimCam0")) {
      NodeMap features = camera.features();
      features.setFloat("AcquisitionFrameRate", 0);
      features.setInteger("Width", 13);  // odd: packed rows share bytes, 4:2:2 ends on half a pair
      features.setInteger("Height", 5);
      EnumerationNode formats = (EnumerationNode) features.node("PixelFormat");
      assertEquals(33, formats.entries().size());
      for (EnumEntryNode entry : formats.entries()) {
        PixelFormat format = PixelFormat.of(entry.symbol());
        assertEquals(entry.value(), format.code(), entry.symbol());
        features.setEnum("PixelFormat", entry.symbol());
        try (Acquisition acquisition = camera.openStream().start(1);
            Frame frame = acquisition.next(Duration.ofSeconds(5))) {
          assertEquals(format, frame.pixelFormat());
          assertEquals(
              PixelPattern.bytes(format, 13, 5, frame.frameId().orElseThrow()), frame.data(),
              entry.symbol());
          assertEquals(13, frame.toImage().getWidth(), entry.symbol());
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

  @Test
  void userSetsAndSettingsFilesRestoreSelectedValues(@TempDir Path dir) {
    try (Camera camera = producer.openCamera("SimCam0")) {
      NodeMap features = camera.features();
      features.setEnum("GainSelector", "Red");
      features.setFloat("Gain", 3.5);
      features.setEnum("GainSelector", "All");
      features.setInteger("Width", 256);
      Path file = dir.resolve("settings.txt");
      features.save(file);
      features.setEnum("UserSetSelector", "UserSet1");
      features.execute("UserSetSave");

      features.execute("DeviceReset");
      assertEquals(640, features.getInteger("Width"));
      features.setEnum("GainSelector", "Red");
      assertEquals(0.0, features.getFloat("Gain"));
      features.setEnum("UserSetSelector", "UserSet1");  // a reset selects Default again
      features.execute("UserSetLoad");
      assertEquals(3.5, features.getFloat("Gain"));

      features.execute("DeviceReset");
      assertEquals(List.of(), features.load(file));
      features.setEnum("GainSelector", "Red");
      assertEquals(3.5, features.getFloat("Gain"));
      assertEquals(256, features.getInteger("Width"));
    }
  }

  @Test
  void lockedWhileTLParamsLocked() {
    try (Camera camera = producer.openCamera("SimCam0")) {
      NodeMap features = camera.features();
      features.setInteger("TLParamsLocked", 1);
      FeatureException locked =
          assertThrows(FeatureException.class, () -> features.setInteger("Width", 100));
      assertEquals("Width is not writable: locked while TLParamsLocked = 1", locked.getMessage());
      features.setInteger("TLParamsLocked", 0);
      features.setInteger("Width", 100);
      assertTrue(features.node("Width").isWritable());
      assertEquals(100, camera.readInt(Sim.WIDTH));
    }
  }
}

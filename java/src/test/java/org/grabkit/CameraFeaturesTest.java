package org.grabkit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Path;
import java.time.Duration;
import java.util.List;
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
      assertFalse(features.contains("ExposureTime"));
      assertEquals(320L * 480 * 2, features.getInteger("PayloadSize"));
      features.execute("AcquisitionStart", Duration.ofSeconds(1));
      features.execute("AcquisitionStop", Duration.ofSeconds(1));
      Path file = dir.resolve("camera.txt");
      features.save(file);
      features.setInteger("Width", 64);
      features.setEnum("PixelFormat", "Mono8");
      assertEquals(List.of(), features.load(file));
      assertEquals(320, camera.readInt(Sim.WIDTH));
      assertEquals(PixelFormat.MONO16.code(), camera.readInt(Sim.PIXEL_FORMAT));
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

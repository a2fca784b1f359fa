package org.grabkit.features;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.List;
import org.junit.jupiter.api.Test;

/** Chunk features read the chunk of the attached buffer, and only while it is attached. */
class ChunkTest {
  private static final String XML = FakePort.file("""
      <Port Name="ChunkPort"><ChunkID>0x11</ChunkID></Port>
      <IntReg Name="ChunkWidth"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>
        <pPort>ChunkPort</pPort></IntReg>
      <IntReg Name="ChunkFrameId"><Address>4</Address><Length>8</Length><AccessMode>RO</AccessMode>
        <pPort>ChunkPort</pPort><Endianess>BigEndian</Endianess></IntReg>
      <FloatReg Name="ChunkExposureTime"><Address>12</Address><Length>8</Length>
        <AccessMode>RO</AccessMode><pPort>ChunkPort</pPort></FloatReg>
      <FloatReg Name="ChunkGain"><Address>20</Address><Length>4</Length><AccessMode>RO</AccessMode>
        <pPort>ChunkPort</pPort></FloatReg>
      <IntReg Name="ChunkBeyond"><Address>20</Address><Length>8</Length><AccessMode>RO</AccessMode>
        <pPort>ChunkPort</pPort></IntReg>
      <Integer Name="ChunkHalfWidth"><pValue>HalfWidthKnife</pValue></Integer>
      <IntSwissKnife Name="HalfWidthKnife"><pVariable Name="W">ChunkWidth</pVariable>
        <Formula>W / 2</Formula></IntSwissKnife>
      """
      + FakePort.intReg("Width", 0x00, 4, "")
      + FakePort.intReg("LineStatus", 0x04, 4, "<pInvalidator>ChunkWidth</pInvalidator>"));

  private final FakePort port = new FakePort(0x10);
  private final NodeMap map = NodeMap.parse(XML, port);

  /** A 24-byte chunk 0x11 as a camera lays it out, behind {@code padding} bytes of other data. */
  private static ByteBuffer chunk(int padding, int width, long frameId, double exposure, float gain) {
    ByteBuffer b = ByteBuffer.allocate(padding + 24).order(ByteOrder.LITTLE_ENDIAN);
    b.position(padding);
    b.putInt(width).order(ByteOrder.BIG_ENDIAN).putLong(frameId).order(ByteOrder.LITTLE_ENDIAN)
        .putDouble(exposure).putFloat(gain);
    return b.position(padding);
  }

  private void attach(ByteBuffer chunk) {
    map.attachChunks(id -> id == 0x11 ? chunk : null);
  }

  private FeatureException failure(String feature) {
    return assertThrows(FeatureException.class, () -> map.get(feature));
  }

  @Test
  void featuresReadTheirChunkFromItsFirstByteWhileOthersUseThePort() {
    port.le(0, 4, 1920);
    attach(chunk(8, 640, 0x0102030405060708L, 2500.5, 6.25f));
    assertEquals(640, map.getInteger("ChunkWidth"));
    assertEquals(320, map.getInteger("ChunkHalfWidth"));
    assertEquals(0x0102030405060708L, map.getInteger("ChunkFrameId"));
    assertEquals(2500.5, map.getFloat("ChunkExposureTime"));
    assertEquals(6.25, map.getFloat("ChunkGain"));
    int reads = port.reads;
    assertEquals(1920, map.getInteger("Width"));
    assertEquals(reads + 1, port.reads);
  }

  @Test
  void everyAttachmentAndEveryChangeOfTheChunkReadsAfresh() {
    port.le(4, 4, 1);
    attach(chunk(0, 640, 1, 10, 1));
    assertEquals(640, map.getInteger("ChunkWidth"));
    assertEquals(1, map.getInteger("LineStatus"));
    port.le(4, 4, 2);
    attach(chunk(0, 800, 2, 20, 2));
    assertEquals(800, map.getInteger("ChunkWidth"));
    assertEquals(2, map.getFloat("ChunkGain"));
    assertEquals(2, map.getInteger("LineStatus"), "a feature invalidated by a chunk feature");
    ByteBuffer same = chunk(0, 1024, 3, 30, 3);
    attach(same);
    same.putInt(0, 1280);
    assertEquals(1280, map.getInteger("ChunkWidth"));
  }

  @Test
  void withoutTheChunkItsFeaturesAreNotAvailable() {
    record Case(String why, Runnable setup, String message) {}
    for (Case c : List.of(
        new Case("nothing attached", () -> {},
            "through ChunkPort, it reads chunk 0x11, and no buffer's chunks are attached"),
        new Case("no chunk 0x11", () -> map.attachChunks(id -> null),
            "through ChunkPort, the attached buffer has no chunk 0x11"),
        new Case("buffer gone", () -> map.attachChunks(id -> {
          throw new IllegalStateException("the frame is closed");
        }), "through ChunkPort, chunk 0x11 is out of reach: the frame is closed"),
        new Case("detached", () -> {
          attach(chunk(0, 1, 1, 1, 1));
          map.detachChunks();
        }, "through ChunkPort, it reads chunk 0x11, and no buffer's chunks are attached"))) {
      c.setup().run();
      FeatureException e = failure("ChunkWidth");
      assertEquals(FeatureException.Kind.NOT_AVAILABLE, e.kind(), c.why());
      assertEquals("ChunkWidth is not readable: " + c.message(), e.getMessage(), c.why());
      assertFalse(map.node("ChunkExposureTime").isAvailable(), c.why());
      assertEquals(0, map.getInteger("Width"), c.why());
    }
  }

  @Test
  void readsPastTheChunkNameTheFeatureAndWritesReachOnlyAWritableChunk() {
    attach(chunk(0, 640, 1, 10, 1));
    FeatureException beyond = failure("ChunkBeyond");
    assertEquals(FeatureException.Kind.NOT_READABLE, beyond.kind());
    assertEquals("ChunkBeyond", beyond.feature());
    assertEquals("ChunkBeyond needs bytes 20 to 27 of chunk 0x11, which has 24 bytes",
        beyond.getMessage());
    attach(ByteBuffer.allocate(16).limit(6));
    assertEquals("ChunkExposureTime needs bytes 12 to 19 of chunk 0x11, which has 6 bytes",
        failure("ChunkExposureTime").getMessage());
    ByteBuffer chunk = chunk(4, 640, 1, 10, 1);
    attach(chunk);
    map.setInteger("ChunkWidth", 700);
    assertEquals(700, chunk.order(ByteOrder.LITTLE_ENDIAN).getInt(4));
    assertEquals(0, port.writes);
    attach(chunk.asReadOnlyBuffer());
    FeatureException refused =
        assertThrows(FeatureException.class, () -> map.setInteger("ChunkWidth", 800));
    assertEquals(FeatureException.Kind.NOT_WRITABLE, refused.kind());
    assertEquals("ChunkWidth is not writable: through ChunkPort, chunk 0x11 is read-only",
        refused.getMessage());
    assertEquals(700, map.getInteger("ChunkWidth"));
  }

  @Test
  void chunkIdsWithHexLettersNeedNoPrefix() {
    NodeMap lettered = NodeMap.parse(FakePort.file("""
        <Port Name="ChunkPort"><ChunkID>A1</ChunkID></Port>
        <IntReg Name="ChunkLine"><Address>0</Address><Length>1</Length><AccessMode>RO</AccessMode>
          <pPort>ChunkPort</pPort></IntReg>
        """), port);
    lettered.attachChunks(id -> id == 0xA1 ? ByteBuffer.wrap(new byte[] {5}) : null);
    assertEquals(5, lettered.getInteger("ChunkLine"));
  }
}

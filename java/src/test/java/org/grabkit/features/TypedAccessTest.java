package org.grabkit.features;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.time.Duration;
import java.util.List;
import org.junit.jupiter.api.Test;

/** Features of every kind read and written by name, over registers. */
class TypedAccessTest {
  private static final String XML = FakePort.file("""
      <Category Name="Root"><pFeature>Image</pFeature><pFeature>Acquisition</pFeature></Category>
      <Category Name="Image"><pFeature>Width</pFeature><pFeature>PixelFormat</pFeature></Category>
      <Category Name="Acquisition"><pFeature>ExposureTime</pFeature><pFeature>ReverseX</pFeature>
        <pFeature>AcquisitionStart</pFeature><pFeature>DeviceUserID</pFeature></Category>
      <Integer Name="Width">
        <ToolTip>Image width.</ToolTip><DisplayName>Image Width</DisplayName><Visibility>Beginner</Visibility>
        <pValue>WidthReg</pValue><Min>16</Min><pMax>WidthMax</pMax><Inc>16</Inc><Unit>px</Unit>
      </Integer>
      <IntReg Name="WidthReg"><Address>0x100</Address><Length>4</Length><AccessMode>RW</AccessMode>
        <pPort>Device</pPort></IntReg>
      <Integer Name="WidthMax"><Value>1024</Value></Integer>
      <Enumeration Name="PixelFormat">
        <EnumEntry Name="Mono8"><Value>0x01080001</Value></EnumEntry>
        <EnumEntry Name="Mono16"><Value>0x01100007</Value></EnumEntry>
        <pValue>PixelFormatReg</pValue>
      </Enumeration>
      <IntReg Name="PixelFormatReg"><Address>0x104</Address><Length>4</Length><AccessMode>RW</AccessMode>
        <pPort>Device</pPort></IntReg>
      <Float Name="ExposureTime"><pValue>ExposureReg</pValue><Min>10</Min><Max>1e6</Max>
        <Unit>us</Unit><DisplayPrecision>1</DisplayPrecision></Float>
      <FloatReg Name="ExposureReg"><Address>0x108</Address><Length>8</Length><AccessMode>RW</AccessMode>
        <pPort>Device</pPort></FloatReg>
      <Boolean Name="ReverseX"><pValue>ReverseReg</pValue><OnValue>5</OnValue><OffValue>2</OffValue></Boolean>
      <IntReg Name="ReverseReg"><Address>0x110</Address><Length>1</Length><AccessMode>RW</AccessMode>
        <pPort>Device</pPort></IntReg>
      <Command Name="AcquisitionStart"><pValue>StartReg</pValue><CommandValue>1</CommandValue></Command>
      <IntReg Name="StartReg"><Address>0x114</Address><Length>4</Length><AccessMode>RW</AccessMode>
        <pPort>Device</pPort><Cachable>NoCache</Cachable></IntReg>
      <StringReg Name="DeviceUserID"><Address>0x120</Address><Length>8</Length><AccessMode>RW</AccessMode>
        <pPort>Device</pPort></StringReg>
      """);

  private final FakePort port = new FakePort(0x200).le(0x100, 4, 640).le(0x104, 4, 0x01080001);
  private final NodeMap map = NodeMap.parse(XML, port);

  @Test
  void everyKindReadsAndWritesItsRegisterInTheTree() {
    assertEquals(640, map.getInteger("Width"));
    map.setInteger("Width", 320);
    assertEquals(320, port.le(0x100, 4));
    IntegerNode width = (IntegerNode) map.node("Width");
    assertEquals(List.of(16L, 1024L, 16L), List.of(width.min(), width.max(), width.inc()));
    assertEquals("px", width.unit());
    assertEquals("Image Width", width.displayName());
    assertEquals("Image width.", width.toolTip());
    assertEquals("Mono8", map.getEnum("PixelFormat"));
    map.setEnum("PixelFormat", "Mono16");
    assertEquals(0x01100007, port.le(0x104, 4));
    EnumerationNode format = (EnumerationNode) map.node("PixelFormat");
    assertEquals(List.of("Mono8", "Mono16"), format.entries().stream().map(EnumEntryNode::symbol).toList());
    assertEquals(0x01100007, format.intValue());
    map.setFloat("ExposureTime", 1500.5);
    assertEquals(1500.5, map.getFloat("ExposureTime"));
    assertEquals(1, ((FloatNode) map.node("ExposureTime")).displayPrecision());
    map.setBoolean("ReverseX", true);
    assertEquals(5, port.bytes[0x110]);
    assertTrue(map.getBoolean("ReverseX"));
    map.setBoolean("ReverseX", false);
    assertEquals(2, port.bytes[0x110]);
    map.setString("DeviceUserID", "left");
    assertEquals("left", map.getString("DeviceUserID"));
    assertEquals(0, port.bytes[0x124]);
    // Generic access formats by type.
    map.set("Width", "0x100");
    map.set("PixelFormat", "Mono16");
    map.set("ExposureTime", "20.25");
    map.set("ReverseX", "true");
    assertEquals(List.of("256", "Mono16", "20.25", "true"),
        List.of(map.get("Width"), map.get("PixelFormat"), map.get("ExposureTime"), map.get("ReverseX")));
    CategoryNode root = map.root().orElseThrow();
    assertEquals(List.of("Image", "Acquisition"), root.features().stream().map(Node::name).toList());
    assertInstanceOf(CategoryNode.class, root.features().get(0));
    assertTrue(map.nodes().stream().anyMatch(n -> n.name().equals("WidthReg")));
    assertEquals(List.of("WidthReg", "WidthMax"),
        map.node("Width").dependencies().stream().map(Node::name).toList());
  }

  @Test
  void commandIsDoneWhenTheDeviceClearsItAndExecuteWaitsForThat() {
    map.execute("AcquisitionStart");
    assertEquals(1, port.le(0x114, 4));
    assertFalse(map.isDone("AcquisitionStart"));
    port.le(0x114, 4, 0);
    assertTrue(map.isDone("AcquisitionStart"));
    FeatureException late =
        assertThrows(FeatureException.class, () -> map.execute("AcquisitionStart", Duration.ZERO));
    assertEquals(FeatureException.Kind.TIMEOUT, late.kind());
    assertTrue(late.getMessage().startsWith("AcquisitionStart was not done"), late.getMessage());
    // The device clears the command register on the third read after a write.
    FakePort slow = new FakePort(0x200) {
      int left;

      @Override
      public void write(long address, byte[] from) {
        super.write(address, from);
        left = 3;
      }

      @Override
      public void read(long address, byte[] into) {
        if (address == 0x114 && --left == 0) {
          le(0x114, 4, 0);
        }
        super.read(address, into);
      }
    };
    NodeMap m = NodeMap.parse(XML, slow);
    m.execute("AcquisitionStart", Duration.ofMinutes(1));
    assertTrue(m.isDone("AcquisitionStart"));
  }

  @Test
  void indexedIntegersAndCopiesAndGroups() {
    NodeMap m = NodeMap.parse(FakePort.file("""
        <Group Comment="Selection">
          <Integer Name="Index"><Value>0</Value></Integer>
          <Integer Name="Level">
            <pIndex>Index</pIndex>
            <ValueIndexed Index="0">10</ValueIndexed>
            <pValueIndexed Index="1">LevelReg</pValueIndexed>
            <ValueDefault>99</ValueDefault>
            <pValueCopy>Shadow</pValueCopy>
          </Integer>
          <Integer Name="Shadow"><Value>0</Value></Integer>
        </Group>
        <IntReg Name="LevelReg"><Address>0</Address><Length>2</Length><AccessMode>RW</AccessMode>
          <pPort>Device</pPort></IntReg>
        """), port);
    assertEquals(10, m.getInteger("Level"));
    m.setInteger("Index", 1);
    m.setInteger("Level", 7);
    assertEquals(7, port.le(0, 2));
    assertEquals(7, m.getInteger("Shadow"));
    m.setInteger("Index", 5);
    assertEquals(99, m.getInteger("Level"));
  }
}

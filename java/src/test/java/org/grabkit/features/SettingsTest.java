package org.grabkit.features;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Saving settings to text and replaying them on another camera of the same model. */
class SettingsTest {
  private static final String XML = FakePort.file("""
      <Category Name="Root"><pFeature>Width</pFeature><pFeature>GainSelector</pFeature>
        <pFeature>Gain</pFeature><pFeature>SensorWidth</pFeature><pFeature>Reset</pFeature></Category>
      <Integer Name="Width"><pValue>WidthReg</pValue><Min>1</Min><Max>4096</Max></Integer>
      <Enumeration Name="GainSelector">
        <pSelected>Gain</pSelected>
        <EnumEntry Name="Red"><Value>0</Value></EnumEntry>
        <EnumEntry Name="Blue"><Value>1</Value></EnumEntry>
        <pValue>GainSelectorReg</pValue>
      </Enumeration>
      <Float Name="Gain"><pValue>GainReg</pValue><Min>0</Min><Max>24</Max></Float>
      <FloatReg Name="GainReg"><Address>0x10</Address><pIndex Offset="4">GainSelectorReg</pIndex>
        <Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></FloatReg>
      <Integer Name="SensorWidth"><Value>4096</Value><ImposedAccessMode>RO</ImposedAccessMode></Integer>
      <Command Name="Reset"><pValue>WidthReg</pValue><CommandValue>1</CommandValue></Command>
      """
      + FakePort.intReg("WidthReg", 0, 4, "")
      + FakePort.intReg("GainSelectorReg", 4, 4, ""));

  @TempDir Path dir;

  @Test
  void savedSettingsReplayOnAnotherCameraAndLoadReportsWhatItCouldNotSet() throws IOException {
    NodeMap first = NodeMap.parse(XML, new FakePort(0x20));
    first.setInteger("Width", 800);
    first.setEnum("GainSelector", "Blue");
    first.setFloat("Gain", 6.0);
    first.setEnum("GainSelector", "Red");
    first.setFloat("Gain", 1.5);
    Path file = dir.resolve("camera.txt");
    first.save(file);
    assertEquals(List.of(
        "Width = 800",
        "# GainSelector = Red:",
        "GainSelector = Red",
        "  Gain = 1.5",
        "# GainSelector = Blue:",
        "GainSelector = Blue",
        "  Gain = 6.0",
        "GainSelector = Red"), Files.readAllLines(file).subList(1, 9));

    NodeMap second = NodeMap.parse(XML, new FakePort(0x20));
    assertEquals(List.of(), second.load(file));
    assertEquals(800, second.getInteger("Width"));
    assertEquals(1.5, second.getFloat("Gain"));
    second.setEnum("GainSelector", "Blue");
    assertEquals(6.0, second.getFloat("Gain"));
    // Load reports what it could not set.
    Files.write(file, List.of("# by hand", "Width = 5000", "Widht = 5", "SensorWidth = 1", "Gain 3", "Width = 64"));
    assertEquals(List.of(
        "line 2: Width = 5000 is out of range: min 1, max 4096, inc 1",
        "line 3: no feature is named Widht; did you mean Width?",
        "line 4: SensorWidth is not writable: its imposed access mode is RO",
        "line 5: not Name = value: Gain 3"), second.load(file));
    assertEquals(64, second.getInteger("Width"));
  }

  @Test
  void streamableMarksOrElseTheTreeChooseWhatIsSaved() throws IOException {
    NodeMap map = NodeMap.parse(XML.replace("<Min>1</Min>", "<Streamable>Yes</Streamable><Min>1</Min>"),
        new FakePort(0x20));
    Path file = dir.resolve("marked.txt");
    map.save(file);
    assertEquals(List.of("Width = 0"), Files.readAllLines(file).subList(1, 2));
    assertEquals(2, Files.readAllLines(file).size());
    // Without a tree, the registers behind features are not saved.
    map = NodeMap.parse(XML.replace("Name=\"Root\"", "Name=\"Top\""), new FakePort(0x20));
    map.setInteger("Width", 8);
    map.save(file);
    List<String> lines = Files.readAllLines(file);
    assertEquals("Width = 8", lines.get(1));
    assertEquals(List.of(), lines.stream().filter(l -> l.contains("Reg ")).toList());
  }
}

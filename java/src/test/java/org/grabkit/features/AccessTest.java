package org.grabkit.features;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.util.List;
import org.junit.jupiter.api.Test;

/** Access modes, where they come from, and the reasons a write is refused. */
class AccessTest {
  private static final String XML = FakePort.file("""
      <Integer Name="Mode"><Value>0</Value></Integer>
      <Integer Name="Locked"><Value>0</Value></Integer>
      <Boolean Name="HasGain"><Value>1</Value></Boolean>
      <Integer Name="SensorWidth"><pValue>SensorWidthReg</pValue></Integer>
      <IntReg Name="SensorWidthReg"><Address>0</Address><Length>4</Length><AccessMode>RO</AccessMode>
        <pPort>Device</pPort></IntReg>
      <Integer Name="Gain"><pIsImplemented>HasGain</pIsImplemented><pIsAvailable>Mode</pIsAvailable>
        <pIsLocked>Locked</pIsLocked><Value>3</Value></Integer>
      <Integer Name="Secret"><ImposedAccessMode>WO</ImposedAccessMode><Value>1</Value></Integer>
      <Enumeration Name="TriggerSource">
        <EnumEntry Name="Software"><Value>0</Value></EnumEntry>
        <EnumEntry Name="Line0"><Value>1</Value><pIsAvailable>Mode</pIsAvailable></EnumEntry>
        <EnumEntry Name="Line1"><Value>2</Value></EnumEntry>
        <Value>0</Value>
      </Enumeration>
      <Port Name="ChunkPort"><ChunkID>12</ChunkID></Port>
      <IntReg Name="ChunkWidth"><Address>0</Address><Length>4</Length><AccessMode>RO</AccessMode>
        <pPort>ChunkPort</pPort></IntReg>
      """);

  private final NodeMap map = NodeMap.parse(XML, new FakePort(8));

  private String refusal(Runnable write) {
    return assertThrows(FeatureException.class, write::run).getMessage();
  }

  @Test
  void modesFollowConditionsAndChains() {
    record Case(String feature, FeatureAccess mode) {}
    for (Case c : List.of(
        new Case("SensorWidth", FeatureAccess.RO),
        new Case("Gain", FeatureAccess.NA),
        new Case("Secret", FeatureAccess.WO),
        new Case("Mode", FeatureAccess.RW),
        new Case("ChunkWidth", FeatureAccess.NA))) {
      assertEquals(c.mode(), map.node(c.feature()).accessMode(), c.feature());
    }
    map.setInteger("Mode", 1);
    assertEquals(FeatureAccess.RW, map.node("Gain").accessMode());
    map.setInteger("Locked", 1);
    assertEquals(FeatureAccess.RO, map.node("Gain").accessMode());
    map.setBoolean("HasGain", false);
    assertEquals(FeatureAccess.NI, map.node("Gain").accessMode());
  }

  @Test
  void refusalsSayWhyAndEntriesHaveTheirOwnAvailability() {
    EnumerationNode source = (EnumerationNode) map.node("TriggerSource");
    assertEquals(List.of("Software", "Line1"),
        source.availableEntries().stream().map(EnumEntryNode::symbol).toList());
    assertEquals("Line0 of TriggerSource is not available now; available entries: Software, Line1",
        refusal(() -> map.setEnum("TriggerSource", "Line0")));
    assertEquals("SensorWidth is not writable: through SensorWidthReg, its access mode is RO",
        refusal(() -> map.setInteger("SensorWidth", 1)));
    FeatureException unavailable = assertThrows(FeatureException.class, () -> map.setInteger("Gain", 1));
    assertEquals("Gain is not writable: it is not available (Mode = 0)", unavailable.getMessage());
    assertEquals(FeatureException.Kind.NOT_AVAILABLE, unavailable.kind());
    map.setInteger("Mode", 1);
    map.setInteger("Locked", 1);
    assertEquals("Gain is not writable: locked while Locked = 1",
        refusal(() -> map.setInteger("Gain", 1)));
    map.setEnum("TriggerSource", "Line0");
    assertEquals("Line0", map.getEnum("TriggerSource"));
    assertEquals("Secret is not readable: its imposed access mode is WO",
        refusal(() -> map.getInteger("Secret")));
  }
}

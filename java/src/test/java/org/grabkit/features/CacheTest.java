package org.grabkit.features;

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.Test;

/** Which reads reach the device: caching modes and the invalidation of dependent nodes. */
class CacheTest {
  private static final String XML = FakePort.file(
      FakePort.intReg("Through", 0x00, 4, "<Cachable>WriteThrough</Cachable>")
      + FakePort.intReg("Around", 0x04, 4, "<Cachable>WriteAround</Cachable>")
      + FakePort.intReg("Live", 0x08, 4, "<Cachable>NoCache</Cachable>")
      + FakePort.intReg("Polled", 0x0C, 4, "<PollingTime>100</PollingTime>")
      + FakePort.intReg("Payload", 0x10, 4, "<pInvalidator>Through</pInvalidator>")
      + FakePort.intReg("GainReg", 0x14, 4, "")
      + """
      <Integer Name="Gain"><pValue>GainReg</pValue></Integer>
      <Enumeration Name="GainSelector">
        <pSelected>Gain</pSelected>
        <EnumEntry Name="Red"><Value>0</Value></EnumEntry>
        <EnumEntry Name="Blue"><Value>1</Value></EnumEntry>
        <pValue>GainSelectorReg</pValue>
      </Enumeration>
      """
      + FakePort.intReg("GainSelectorReg", 0x18, 4, "")
      + FakePort.intReg("Indexed", 0x20, 4, "<pIndex Offset=\"4\">GainSelectorReg</pIndex>"));

  private final FakePort port = new FakePort(0x40);
  private final NodeMap map = NodeMap.parse(XML, port);

  private int readsOf(String feature, int times) {
    int before = port.reads;
    for (int i = 0; i < times; i++) {
      map.getInteger(feature);
    }
    return port.reads - before;
  }

  @Test
  void cachingModes() {
    record Case(String feature, int readsForThree, int readsAfterWrite) {}
    for (Case c : new Case[] {
        new Case("Through", 1, 0), new Case("Around", 1, 1), new Case("Live", 3, 1),
        new Case("Polled", 3, 1)}) {
      assertEquals(c.readsForThree(), readsOf(c.feature(), 3), c.feature());
      map.setInteger(c.feature(), 7);
      assertEquals(c.readsAfterWrite(), readsOf(c.feature(), 1), c.feature() + " after a write");
    }
  }

  @Test
  void writesAndSelectorsMakeTheirDependentsStaleAndInvalidateEverything() {
    assertEquals(1, readsOf("Payload", 2));
    map.setInteger("Around", 1);
    assertEquals(0, readsOf("Payload", 1));
    map.setInteger("Through", 1);
    assertEquals(1, readsOf("Payload", 2));
    port.le(0, 4, 2);
    assertEquals(1, map.getInteger("Through"));
    map.invalidate();
    assertEquals(2, map.getInteger("Through"));
    // A selector makes what it selects stale.
    port.le(0x14, 4, 5);
    assertEquals(1, readsOf("Gain", 2));
    map.setEnum("GainSelector", "Blue");
    port.le(0x14, 4, 6);
    assertEquals(6, map.getInteger("Gain"));
    port.le(0x20, 4, 10).le(0x24, 4, 11);
    assertEquals(11, map.getInteger("Indexed"));
    map.setEnum("GainSelector", "Red");
    assertEquals(10, map.getInteger("Indexed"));
  }
}

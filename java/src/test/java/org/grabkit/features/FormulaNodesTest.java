package org.grabkit.features;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import org.junit.jupiter.api.Test;

/** Converters and swiss knives: values computed from other nodes, both ways. */
class FormulaNodesTest {
  private static final String XML = FakePort.file("""
      <Float Name="ExposureTime"><pValue>ExposureConverter</pValue></Float>
      <Converter Name="ExposureConverter">
        <pVariable Name="LINE">LineTime</pVariable>
        <FormulaTo>FROM / LINE</FormulaTo>
        <FormulaFrom>TO * LINE</FormulaFrom>
        <pValue>ExposureLines</pValue>
        <Slope>Increasing</Slope>
      </Converter>
      <Float Name="LineTime"><Value>12.5</Value></Float>
      <Integer Name="ExposureLines"><pValue>ExposureReg</pValue><Min>1</Min><Max>1000</Max></Integer>
      <IntReg Name="ExposureReg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>
        <pPort>Device</pPort></IntReg>
      <Float Name="Attenuation"><pValue>AttenuationConverter</pValue></Float>
      <Converter Name="AttenuationConverter">
        <FormulaTo>100 - FROM</FormulaTo><FormulaFrom>100 - TO</FormulaFrom>
        <pValue>GainRaw</pValue><Slope>Decreasing</Slope>
      </Converter>
      <Integer Name="GainRaw"><Value>40</Value><Min>10</Min><Max>90</Max></Integer>
      <Integer Name="Binning"><pValue>BinningConverter</pValue></Integer>
      <IntConverter Name="BinningConverter">
        <FormulaTo>FROM - 1</FormulaTo><FormulaFrom>TO + 1</FormulaFrom><pValue>BinningReg</pValue>
      </IntConverter>
      <IntReg Name="BinningReg"><Address>4</Address><Length>1</Length><AccessMode>RW</AccessMode>
        <pPort>Device</pPort></IntReg>
      <Integer Name="Width"><Value>640</Value><Min>16</Min><Max>4096</Max></Integer>
      <IntSwissKnife Name="PayloadSize">
        <pVariable Name="W">Width</pVariable>
        <pVariable Name="WMAX">Width.Max</pVariable>
        <Constant Name="H">480</Constant>
        <Expression Name="AREA">W * H</Expression>
        <Formula>WMAX = 4096 ? AREA * 2 : 0</Formula>
      </IntSwissKnife>
      <SwissKnife Name="FrameTime">
        <pVariable Name="E">ExposureTime</pVariable>
        <Constant Name="READOUT">0.5</Constant>
        <Formula>(E + READOUT) / 1000</Formula>
      </SwissKnife>
      """);

  private final FakePort port = new FakePort(16).le(0, 4, 8);
  private final NodeMap map = NodeMap.parse(XML, port);

  @Test
  void convertersGoBothWaysWithinTheTargetsBoundsAndSwissKnivesCompute() {
    assertEquals(100.0, map.getFloat("ExposureTime"));
    map.setFloat("ExposureTime", 250);
    assertEquals(20, port.le(0, 4));
    FloatNode exposure = (FloatNode) map.node("ExposureTime");
    assertEquals(12.5, exposure.min());
    assertEquals(12500.0, exposure.max());
    FloatNode attenuation = (FloatNode) map.node("Attenuation");
    assertEquals(10.0, attenuation.min());
    assertEquals(90.0, attenuation.max());
    assertEquals(60.0, attenuation.value());
    FeatureException high = assertThrows(FeatureException.class, () -> map.setFloat("ExposureTime", 20000));
    assertEquals(FeatureException.Kind.OUT_OF_RANGE, high.kind());
    map.setInteger("Binning", 4);
    assertEquals(3, port.bytes[4]);
    assertEquals(4, map.getInteger("Binning"));
    // Swiss knives use variables, bounds, constants and expressions.
    assertEquals(640 * 480 * 2, map.getInteger("PayloadSize"));
    map.setInteger("Width", 320);
    assertEquals(320 * 480 * 2, map.getInteger("PayloadSize"));
    assertEquals(0.2505, map.getFloat("FrameTime"), 1e-12);
    assertEquals(FeatureAccess.RO, map.node("PayloadSize").accessMode());
  }

  @Test
  void boundsMayDependOnEachOther() {
    NodeMap m = NodeMap.parse(FakePort.file("""
        <Integer Name="Width"><Value>600</Value><Min>1</Min><pMax>WidthMax</pMax></Integer>
        <Integer Name="OffsetX"><Value>0</Value><Min>0</Min><pMax>OffsetXMax</pMax></Integer>
        <IntSwissKnife Name="WidthMax"><pVariable Name="X">OffsetX</pVariable><Formula>640 - X</Formula></IntSwissKnife>
        <IntSwissKnife Name="OffsetXMax"><pVariable Name="W">Width</pVariable><Formula>640 - W</Formula></IntSwissKnife>
        """), new FakePort(8));
    m.setInteger("OffsetX", 40);
    assertEquals(600, ((IntegerNode) m.node("Width")).max());
    assertThrows(FeatureException.class, () -> m.setInteger("OffsetX", 41));
  }
}

package org.grabkit.bench;

import org.grabkit.features.RegisterPort;

/**
 * A camera description of any size, built the way large real ones are: a few core features and
 * then many groups of an Integer over a register, an Enumeration, and formulas reading both.
 */
final class LargeDescription {
  static final long WIDTH_ADDRESS = 0x100;
  static final long COUNTER_ADDRESS = 0x104;
  // Groups take registers from here on, four bytes each, so a group never meets a core register.
  private static final long GROUP_BASE = 0x1000;

  private LargeDescription() {}

  /** @return a file of at least {@code bytes} UTF-8 bytes (all ASCII) */
  static String xml(int bytes) {
    StringBuilder b = new StringBuilder(bytes + 4096);
    b.append("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n")
        .append("<RegisterDescription ModelName=\"Bench\" VendorName=\"Grabkit\" SchemaMajorVersion=\"1\"")
        .append(" SchemaMinorVersion=\"1\" xmlns=\"http://www.genicam.org/GenApi/Version_1_1\">\n")
        .append("""
            <Category Name="Root"><pFeature>ImageFormatControl</pFeature></Category>
            <Category Name="ImageFormatControl"><pFeature>Width</pFeature>
              <pFeature>FrameCounter</pFeature></Category>
            <Integer Name="Width" NameSpace="Standard">
              <ToolTip>Width of the image in pixels</ToolTip>
              <pValue>WidthReg</pValue><Min>16</Min><pMax>WidthMax</pMax><Inc>4</Inc>
            </Integer>
            <IntReg Name="WidthReg"><Address>0x100</Address><Length>4</Length>
              <AccessMode>RW</AccessMode><pPort>Device</pPort><Cachable>WriteThrough</Cachable>
              <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
            <IntSwissKnife Name="WidthMax"><pVariable Name="S">SensorWidth</pVariable>
              <Formula>S - 0</Formula></IntSwissKnife>
            <Integer Name="SensorWidth"><Value>4096</Value></Integer>
            <IntReg Name="FrameCounter" NameSpace="Standard">
              <ToolTip>Frames the camera has taken; changes by itself</ToolTip>
              <Address>0x104</Address><Length>4</Length><AccessMode>RO</AccessMode>
              <pPort>Device</pPort><Cachable>NoCache</Cachable></IntReg>
            """);
    for (int i = 0; b.length() < bytes; i++) {
      group(b, i);
    }
    return b.append("<Port Name=\"Device\"/>\n</RegisterDescription>\n").toString();
  }

  private static void group(StringBuilder b, int i) {
    long value = GROUP_BASE + 8L * i;
    long mode = value + 4;
    b.append("<Integer Name=\"Value").append(i).append("\">")
        .append("<ToolTip>Setting ").append(i).append(" of the bench camera</ToolTip>")
        .append("<Description>A plain integer setting over a register, bounded by a formula.</Description>")
        .append("<Visibility>Expert</Visibility><pIsAvailable>Mode").append(i).append("Available</pIsAvailable>")
        .append("<pValue>Value").append(i).append("Reg</pValue><Min>0</Min>")
        .append("<pMax>Value").append(i).append("Max</pMax><Inc>1</Inc><Unit>us</Unit></Integer>\n")
        .append("<IntReg Name=\"Value").append(i).append("Reg\"><Address>0x").append(Long.toHexString(value))
        .append("</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>")
        .append("<Cachable>WriteThrough</Cachable><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess>")
        .append("</IntReg>\n")
        .append("<IntSwissKnife Name=\"Value").append(i).append("Max\"><pVariable Name=\"S\">SensorWidth")
        .append("</pVariable><Constant Name=\"K\">").append(i % 7 + 1).append("</Constant>")
        .append("<Formula>(S * K + 16) &amp; ~3</Formula></IntSwissKnife>\n")
        .append("<Enumeration Name=\"Mode").append(i).append("\"><ToolTip>Mode of setting ").append(i)
        .append("</ToolTip><pSelected>Value").append(i).append("</pSelected>")
        .append("<EnumEntry Name=\"Off\"><Value>0</Value></EnumEntry>")
        .append("<EnumEntry Name=\"Once\"><Value>1</Value></EnumEntry>")
        .append("<EnumEntry Name=\"Continuous\"><Value>2</Value></EnumEntry>")
        .append("<pValue>Mode").append(i).append("Reg</pValue></Enumeration>\n")
        .append("<IntReg Name=\"Mode").append(i).append("Reg\"><Address>0x").append(Long.toHexString(mode))
        .append("</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>\n")
        .append("<IntSwissKnife Name=\"Mode").append(i).append("Available\"><pVariable Name=\"M\">Mode")
        .append(i).append("Reg</pVariable><Formula>M &lt;&gt; 1</Formula></IntSwissKnife>\n")
        .append("<SwissKnife Name=\"Value").append(i).append("Ratio\"><pVariable Name=\"V\">Value").append(i)
        .append("</pVariable><pVariable Name=\"W\">Width</pVariable>")
        .append("<Formula>V / (W + 1.0) * 100</Formula><Unit>%</Unit></SwissKnife>\n");
  }

  /** Registers in memory, as fast as a port can be: what a read costs beyond it is the node map's. */
  static final class MemoryPort implements RegisterPort {
    private final byte[] bytes;

    MemoryPort(int size) {
      bytes = new byte[size];
    }

    @Override
    public void read(long address, byte[] into) {
      System.arraycopy(bytes, (int) address, into, 0, into.length);
    }

    @Override
    public void write(long address, byte[] from) {
      System.arraycopy(from, 0, bytes, (int) address, from.length);
    }
  }
}

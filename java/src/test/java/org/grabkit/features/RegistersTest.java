package org.grabkit.features;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;

import java.util.HexFormat;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.api.Test;

/** How register nodes turn bytes into values and back, and where their addresses come from. */
class RegistersTest {
  @ParameterizedTest(name = "{0} {1} {2}: {3} = {4}")
  @CsvSource({
    "1, Unsigned, LittleEndian, ff,               255",
    "1, Signed,   LittleEndian, ff,               -1",
    "2, Unsigned, BigEndian,    1234,             4660",
    "2, Signed,   LittleEndian, 0080,             -32768",
    "4, Unsigned, LittleEndian, 78563412,         305419896",
    "4, Signed,   BigEndian,    fffffffe,         -2",
    "8, Unsigned, LittleEndian, 0100000000000000, 1",
    "8, Signed,   BigEndian,    8000000000000000, -9223372036854775808",
  })
  void intRegReadsAndWritesItsBytes(int length, String sign, String endian, String hex, long value) {
    FakePort port = new FakePort(16);
    byte[] bytes = HexFormat.of().parseHex(hex);
    System.arraycopy(bytes, 0, port.bytes, 4, length);
    NodeMap map = NodeMap.parse(FakePort.file(FakePort.intReg("R", 4, length,
        "<Sign>" + sign + "</Sign><Endianess>" + endian + "</Endianess>")), port);
    assertEquals(value, map.getInteger("R"));
    port.le(4, 8, 0);
    map.setInteger("R", value);
    assertArrayEquals(bytes, port.slice(4, length));
  }

  @ParameterizedTest(name = "{0} {1}..{2}")
  @CsvSource({
    // endianness, LSB, MSB, sign, field value, register before and after writing it
    "LittleEndian, 4,  7,  Unsigned, 9,   00000000, 00000090",
    "LittleEndian, 0,  0,  Unsigned, 1,   00000000, 00000001",
    "LittleEndian, 28, 31, Signed,   -1,  00000000, f0000000",
    "LittleEndian, 8,  11, Unsigned, 0,   ffffffff, fffff0ff",
    "BigEndian,    31, 31, Unsigned, 1,   00000000, 00000001",
    "BigEndian,    7,  0,  Unsigned, 171, 00000000, ab000000",
    "BigEndian,    27, 24, Signed,   -8,  00000000, 00000080",
  })
  void maskedIntRegNumbersBitsByByteOrderAndKeepsTheOthers(
      String endian, int lsb, int msb, String sign, long field, String before, String after) {
    FakePort port = new FakePort(8).le(0, 4, Long.parseLong(before, 16));
    NodeMap map = NodeMap.parse(FakePort.file("""
        <MaskedIntReg Name="F"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>
          <pPort>Device</pPort><LSB>%d</LSB><MSB>%d</MSB><Sign>%s</Sign><Endianess>%s</Endianess>
        </MaskedIntReg>""".formatted(lsb, msb, sign, endian)), port);
    map.setInteger("F", field);
    byte[] expected = HexFormat.of().parseHex(after);
    if (endian.equals("LittleEndian")) {
      // Written above as a number, most significant byte first.
      for (int i = 0; i < 2; i++) {
        byte t = expected[i];
        expected[i] = expected[3 - i];
        expected[3 - i] = t;
      }
    }
    assertArrayEquals(expected, port.slice(0, 4));
    assertEquals(field, map.getInteger("F"));
  }

  @Test
  void structEntriesShareOneRegister() {
    FakePort port = new FakePort(8).le(4, 2, 0x1234);
    NodeMap map = NodeMap.parse(FakePort.file("""
        <StructReg Comment="Flags">
          <Address>4</Address><Length>2</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
          <StructEntry Name="Low"><LSB>0</LSB><MSB>7</MSB></StructEntry>
          <StructEntry Name="High"><LSB>8</LSB><MSB>15</MSB></StructEntry>
          <StructEntry Name="Top"><Bit>15</Bit><AccessMode>RO</AccessMode></StructEntry>
        </StructReg>"""), port);
    assertEquals(0x34, map.getInteger("Low"));
    assertEquals(0x12, map.getInteger("High"));
    map.setInteger("High", 0x80);
    assertEquals(0x8034, port.le(4, 2));
    assertEquals(1, map.getInteger("Top"));
    assertEquals(FeatureAccess.RO, map.node("Top").accessMode());
  }

  @ParameterizedTest
  @CsvSource({"4, LittleEndian", "8, LittleEndian", "4, BigEndian", "8, BigEndian"})
  void floatRegsOfBothSizes(int length, String endian) {
    FakePort port = new FakePort(16);
    NodeMap map = NodeMap.parse(FakePort.file("""
        <FloatReg Name="G"><Address>8</Address><Length>%d</Length><AccessMode>RW</AccessMode>
          <pPort>Device</pPort><Endianess>%s</Endianess></FloatReg>""".formatted(length, endian)), port);
    map.setFloat("G", -2.5);
    assertEquals(-2.5, map.getFloat("G"));
    int signByte = endian.equals("BigEndian") ? 8 : 8 + length - 1;
    assertEquals((byte) 0xC0, port.bytes[signByte]);
  }

  @Test
  void addressesAddUpFromEveryTerm() {
    FakePort port = new FakePort(0x400).le(0x10, 4, 0x200);
    NodeMap map = NodeMap.parse(FakePort.file("""
        <Integer Name="Selector"><Value>3</Value></Integer>
        <IntReg Name="Base"><Address>0x10</Address><Length>4</Length><AccessMode>RO</AccessMode>
          <pPort>Device</pPort></IntReg>
        <Integer Name="Stride"><Value>8</Value></Integer>
        <IntReg Name="R"><Address>0x4</Address><pAddress>Base</pAddress>
          <IntSwissKnife Name="Extra"><pVariable Name="S">Selector</pVariable><Formula>S * 2</Formula></IntSwissKnife>
          <pIndex pOffset="Stride">Selector</pIndex>
          <Length>2</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
        """), port);
    // 0x4 + 0x200 + 3 * 2 + 3 * 8
    map.setInteger("R", 0xBEEF);
    assertEquals(0xBEEF, port.le(0x4 + 0x200 + 6 + 24, 2));
    map.setInteger("Selector", 1);
    assertEquals(0, map.getInteger("R"));
  }

  @Test
  void stringRegsStopAtNulAndPadWithIt() {
    FakePort port = new FakePort(16);
    System.arraycopy("abc\0xyz".getBytes(), 0, port.bytes, 0, 7);
    NodeMap map = NodeMap.parse(FakePort.file("""
        <StringReg Name="S"><Address>0</Address><Length>8</Length><AccessMode>RW</AccessMode>
          <pPort>Device</pPort></StringReg>
        <Register Name="Raw"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>
          <pPort>Device</pPort></Register>"""), port);
    assertEquals("abc", map.getString("S"));
    map.setString("S", "hi");
    assertArrayEquals(new byte[] {'h', 'i', 0, 0, 0, 0, 0, 0}, port.slice(0, 8));
    RegisterNode raw = (RegisterNode) map.node("Raw");
    raw.setBytes(new byte[] {1, 2, 3, 4});
    map.invalidate();
    assertEquals("01020304", map.get("Raw"));
  }
}

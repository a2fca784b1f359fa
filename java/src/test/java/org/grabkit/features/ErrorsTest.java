package org.grabkit.features;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/** What users are told when a name, a type, a value or the file itself is wrong. */
class ErrorsTest {
  private static final String XML = FakePort.file("""
      <Integer Name="Width"><Value>64</Value><Min>16</Min><Max>1024</Max><Inc>16</Inc></Integer>
      <Integer Name="Height"><Value>64</Value></Integer>
      <Integer Name="OffsetX"><Value>0</Value></Integer>
      <Enumeration Name="PixelFormat">
        <EnumEntry Name="Mono8"><Value>1</Value></EnumEntry>
        <EnumEntry Name="Mono16"><Value>2</Value></EnumEntry>
        <Value>1</Value>
      </Enumeration>
      """);

  private final NodeMap map = NodeMap.parse(XML, new FakePort(8));

  private static FeatureException refused(FeatureException.Kind kind, Executable call) {
    FeatureException e = assertThrows(FeatureException.class, call);
    assertEquals(kind, e.kind(), e.getMessage());
    return e;
  }

  @Test
  void usageErrorsNameTheFeature() {
    record Case(FeatureException.Kind kind, Executable call, String message) {}
    for (Case c : List.of(
        new Case(FeatureException.Kind.UNKNOWN_FEATURE, () -> map.getInteger("Widht"),
            "no feature is named Widht; did you mean Width?"),
        new Case(FeatureException.Kind.WRONG_TYPE, () -> map.getInteger("PixelFormat"),
            "PixelFormat is an Enumeration, not an Integer"),
        new Case(FeatureException.Kind.OUT_OF_RANGE, () -> map.setInteger("Width", 2000),
            "Width = 2000 is out of range: min 16, max 1024, inc 16"),
        new Case(FeatureException.Kind.OUT_OF_RANGE, () -> map.setInteger("Width", 40),
            "Width = 40 is out of range: min 16, max 1024, inc 16"),
        new Case(FeatureException.Kind.NOT_AN_ENTRY, () -> map.setEnum("PixelFormat", "RGB8"),
            "RGB8 is not an entry of PixelFormat; available entries: Mono8, Mono16"),
        new Case(FeatureException.Kind.BAD_VALUE, () -> map.set("Width", "wide"),
            "Width: 'wide' is not an integer"))) {
      assertEquals(c.message(), refused(c.kind(), c.call()).getMessage());
    }
  }

  @Test
  void brokenFilesNameTheNodeAndElementAtFault() {
    record Case(String nodes, String message) {}
    for (Case c : List.of(
        new Case("<Integer Name=\"A\"><pValue>B</pValue></Integer>",
            "Integer A, element pValue: names B, which is not in the file"),
        new Case("<Integer Name=\"A\"><pValue>B</pValue></Integer><Integer Name=\"B\"><pValue>A</pValue></Integer>",
            "description file: cycle of references A -> B -> A"),
        new Case("<Integer Name=\"A\"><Value>1</Value></Integer><Float Name=\"A\"><Value>1</Value></Float>",
            "description file: the name A is used twice (Integer and Float)"),
        new Case("<Integer Name=\"A\"><pValue>B</pValue></Integer><Gadget Name=\"B\"/>",
            "Integer A, element pValue: B is a Gadget, a node type this reader does not know"),
        new Case("<Integer Name=\"A\"><Value>ten</Value></Integer>",
            "Integer A, element Value: 'ten' is not an integer"),
        new Case("<IntSwissKnife Name=\"A\"><Formula>X + 1</Formula></IntSwissKnife>",
            "IntSwissKnife A, element Formula: the formula uses X, which no pVariable, Constant or Expression of A defines"),
        new Case("<IntSwissKnife Name=\"A\"><Expression Name=\"P\">Q</Expression>"
            + "<Expression Name=\"Q\">P</Expression><Formula>P</Formula></IntSwissKnife>",
            "IntSwissKnife A, element Expression: cycle of expressions P -> Q -> P"))) {
      FeatureException e = refused(FeatureException.Kind.INVALID_FILE,
          () -> NodeMap.parse(FakePort.file(c.nodes()), new FakePort(8)));
      assertEquals(c.message(), e.getMessage());
    }
  }

  @Test
  void xmlErrorsGiveLineAndColumnAndUnusedUnknownTypesAreIgnored() {
    String broken = "<RegisterDescription>\n  <Integer Name=\"A\">\n</RegisterDescription>";
    FeatureException e = refused(FeatureException.Kind.INVALID_FILE, () -> NodeMap.parse(broken, new FakePort(8)));
    assertTrue(e.getMessage().startsWith("description file, line 3, column 3: "), e.getMessage());
    // Unused unknown types are no error.
    NodeMap m = NodeMap.parse(FakePort.file("<Gadget Name=\"G\"/><Group Comment=\"x\">"
        + "<Integer Name=\"A\"><Value>1</Value></Integer></Group>"), new FakePort(8));
    assertEquals(1, m.getInteger("A"));
  }
}

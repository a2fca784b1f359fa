package org.grabkit.features;

import java.util.OptionalDouble;

/** One entry of an {@link EnumerationNode}: a symbol and the integer behind it. */
public final class EnumEntryNode extends Node {
  private final String symbol;
  private final long value;
  private final OptionalDouble numeric;
  private final boolean selfClearing;

  EnumEntryNode(NodeMap map, Def def) {
    super(map, def);
    String s = def.text("Symbolic");
    symbol = s != null ? s : def.name;
    String v = def.text("Value");
    if (v == null) {
      throw def.bad("Value", "the entry has no value");
    }
    value = def.parseInteger("Value", v);
    String n = def.text("NumericValue");
    numeric = n == null ? OptionalDouble.empty() : OptionalDouble.of(def.parseFloat("NumericValue", n));
    selfClearing = "Yes".equals(def.text("IsSelfClearing"));
  }

  /** @return the symbol users set, e.g. {@code Mono8} */
  public String symbol() {
    return symbol;
  }

  /** @return the integer the device uses for this entry */
  public long value() {
    return value;
  }

  /** @return the number the entry stands for, where the file gives one */
  public OptionalDouble numericValue() {
    return numeric;
  }

  /** @return whether the device resets the enumeration after this entry was set */
  public boolean isSelfClearing() {
    return selfClearing;
  }

  @Override
  FeatureAccess ownAccess() {
    return FeatureAccess.RO;
  }

  @Override
  String kind() {
    return "EnumEntry";
  }
}

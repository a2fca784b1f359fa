package org.grabkit.features;

/** What a feature allows right now. */
public enum FeatureAccess {
  /** Not implemented: the device does not have it. */
  NI,
  /** Not available now, e.g. in the current mode of the device. */
  NA,
  /** Read-only. */
  RO,
  /** Write-only. */
  WO,
  /** Readable and writable. */
  RW;

  /** @return whether the feature can be read */
  public boolean readable() {
    return this == RO || this == RW;
  }

  /** @return whether the feature can be written */
  public boolean writable() {
    return this == WO || this == RW;
  }

  /** The mode that allows only what both allow. */
  static FeatureAccess both(FeatureAccess a, FeatureAccess b) {
    if (a == NI || b == NI) {
      return NI;
    }
    if (a == NA || b == NA) {
      return NA;
    }
    return of(a.readable() && b.readable(), a.writable() && b.writable());
  }

  static FeatureAccess of(boolean read, boolean write) {
    return read ? (write ? RW : RO) : (write ? WO : NA);
  }
}

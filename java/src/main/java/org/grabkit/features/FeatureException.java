package org.grabkit.features;

/**
 * A feature could not be read, written or found, or the description file is unusable. The
 * message names the feature and says why; {@link #kind()} tells the cases apart for programs.
 */
public class FeatureException extends RuntimeException {
  private static final long serialVersionUID = 1L;

  /** Why an operation failed. */
  public enum Kind {
    /** No feature has the name. */
    UNKNOWN_FEATURE,
    /** The feature is of another type than the call expects. */
    WRONG_TYPE,
    /** The value is outside the feature's bounds or off its increment. */
    OUT_OF_RANGE,
    /** The text is not a value of the feature's type. */
    BAD_VALUE,
    /** The feature is not implemented, or not available in the device's current state. */
    NOT_AVAILABLE,
    /** The feature cannot be written now. */
    NOT_WRITABLE,
    /** The feature cannot be read now. */
    NOT_READABLE,
    /** The symbol is not an available entry of the enumeration. */
    NOT_AN_ENTRY,
    /** The device refused or failed a register access; the cause tells why. */
    DEVICE_ERROR,
    /** A command did not finish in time. */
    TIMEOUT,
    /** The description file is malformed or inconsistent. */
    INVALID_FILE
  }

  /** Why it failed. */
  private final Kind kind;
  /** The feature at fault, null when none. */
  private final String feature;

  /**
   * @param kind why it failed
   * @param feature the feature at fault (null when none)
   * @param message the whole message, naming the feature
   */
  public FeatureException(Kind kind, String feature, String message) {
    super(message);
    this.kind = kind;
    this.feature = feature;
  }

  FeatureException(Kind kind, String feature, String message, Throwable cause) {
    super(message, cause);
    this.kind = kind;
    this.feature = feature;
  }

  /** @return why it failed */
  public Kind kind() {
    return kind;
  }

  /** @return the feature at fault, null when the failure concerns no single feature */
  public String feature() {
    return feature;
  }
}

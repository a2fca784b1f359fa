package org.grabkit;

/** Whether a device can be opened, as its interface reports it. */
public enum AccessStatus {
  /** The producer does not tell. */
  UNKNOWN,
  /** Free; can be opened for control. */
  READ_WRITE,
  /** Can be opened for reading only. */
  READ_ONLY,
  /** Cannot be opened, e.g. on another network. */
  NO_ACCESS,
  /** Opened by another program. */
  BUSY,
  /** Opened by this program for control. */
  OPEN_READ_WRITE,
  /** Opened by this program for reading. */
  OPEN_READ;

  /**
   * The status of a {@code DEVICE_ACCESS_STATUS_*} value.
   *
   * @param code the producer's value
   * @return the status, {@link #UNKNOWN} for values outside the list
   */
  public static AccessStatus of(int code) {
    // The producer's values are the constants' order.
    return code > 0 && code < values().length ? values()[code] : UNKNOWN;
  }
}

package org.grabkit.gentl;

/** The producer answered -1011 (GC_ERR_TIMEOUT): "Operation timed out before completion". */
public class TimeoutException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1011)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public TimeoutException(String message) {
    super(message);
  }
}

package org.grabkit.gentl;

/** The producer answered -1006 (GC_ERR_INVALID_HANDLE): "Given handle does not support the operation". */
public class InvalidHandleException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1006)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public InvalidHandleException(String message) {
    super(message);
  }
}

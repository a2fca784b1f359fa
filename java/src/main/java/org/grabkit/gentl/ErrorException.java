package org.grabkit.gentl;

/** The producer answered -1001 (GC_ERR_ERROR): "Unspecified runtime exception". */
public class ErrorException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1001)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public ErrorException(String message) {
    super(message);
  }
}

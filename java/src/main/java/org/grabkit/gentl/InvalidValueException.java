package org.grabkit.gentl;

/** The producer answered -1019 (GC_ERR_INVALID_VALUE): "Attempting to write an invalid register value". */
public class InvalidValueException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1019)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public InvalidValueException(String message) {
    super(message);
  }
}

package org.grabkit.gentl;

/** The producer answered -1009 (GC_ERR_INVALID_PARAMETER): "Parameter not valid or out of range". */
public class InvalidParameterException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1009)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public InvalidParameterException(String message) {
    super(message);
  }
}

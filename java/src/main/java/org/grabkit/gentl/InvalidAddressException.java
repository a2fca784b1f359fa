package org.grabkit.gentl;

/** The producer answered -1015 (GC_ERR_INVALID_ADDRESS): "Address is out of range or invalid". */
public class InvalidAddressException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1015)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public InvalidAddressException(String message) {
    super(message);
  }
}

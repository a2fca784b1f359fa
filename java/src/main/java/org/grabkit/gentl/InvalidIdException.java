package org.grabkit.gentl;

/** The producer answered -1007 (GC_ERR_INVALID_ID): "ID could not be connected to a resource". */
public class InvalidIdException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1007)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public InvalidIdException(String message) {
    super(message);
  }
}

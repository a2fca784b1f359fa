package org.grabkit.gentl;

/** The producer answered -1017 (GC_ERR_INVALID_INDEX): "Provided index is out of range". */
public class InvalidIndexException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1017)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public InvalidIndexException(String message) {
    super(message);
  }
}

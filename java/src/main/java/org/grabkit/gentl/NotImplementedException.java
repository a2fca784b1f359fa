package org.grabkit.gentl;

/** The producer answered -1003 (GC_ERR_NOT_IMPLEMENTED): "Requested operation not implemented". */
public class NotImplementedException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1003)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public NotImplementedException(String message) {
    super(message);
  }
}

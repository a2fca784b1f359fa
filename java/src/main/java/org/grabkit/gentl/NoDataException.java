package org.grabkit.gentl;

/** The producer answered -1008 (GC_ERR_NO_DATA): "Function has no data to work on". */
public class NoDataException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1008)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public NoDataException(String message) {
    super(message);
  }
}

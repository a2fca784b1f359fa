package org.grabkit.gentl;

/** The producer answered -1010 (GC_ERR_IO): "Communication error, read or write to remote device failed". */
public class IoException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1010)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public IoException(String message) {
    super(message);
  }
}

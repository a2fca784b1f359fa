package org.grabkit.gentl;

/** The producer answered -1022 (GC_ERR_BUSY): "Operation cannot be performed. Responsible module is busy". */
public class BusyException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1022)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public BusyException(String message) {
    super(message);
  }
}

package org.grabkit.gentl;

/** The producer answered -1012 (GC_ERR_ABORT): "Operation aborted". */
public class AbortException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1012)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public AbortException(String message) {
    super(message);
  }
}

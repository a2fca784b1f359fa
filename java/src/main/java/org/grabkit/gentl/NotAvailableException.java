package org.grabkit.gentl;

/** The producer answered -1014 (GC_ERR_NOT_AVAILABLE): "Resource or information is not available". */
public class NotAvailableException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1014)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public NotAvailableException(String message) {
    super(message);
  }
}

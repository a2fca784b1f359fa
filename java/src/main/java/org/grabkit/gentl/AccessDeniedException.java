package org.grabkit.gentl;

/** The producer answered -1005 (GC_ERR_ACCESS_DENIED): "Requested operation is not allowed". */
public class AccessDeniedException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1005)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public AccessDeniedException(String message) {
    super(message);
  }
}

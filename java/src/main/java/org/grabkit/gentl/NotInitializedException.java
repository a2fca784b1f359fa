package org.grabkit.gentl;

/** The producer answered -1002 (GC_ERR_NOT_INITIALIZED): "Module or resource not initialized". */
public class NotInitializedException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1002)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public NotInitializedException(String message) {
    super(message);
  }
}

package org.grabkit.gentl;

/** The producer answered -1021 (GC_ERR_OUT_OF_MEMORY): "System and/or hardware has run out of memory". */
public class OutOfMemoryException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1021)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public OutOfMemoryException(String message) {
    super(message);
  }
}

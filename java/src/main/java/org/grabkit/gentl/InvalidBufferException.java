package org.grabkit.gentl;

/** The producer answered -1013 (GC_ERR_INVALID_BUFFER): "Insufficient amount of announced buffers to start acquisition". */
public class InvalidBufferException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1013)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public InvalidBufferException(String message) {
    super(message);
  }
}

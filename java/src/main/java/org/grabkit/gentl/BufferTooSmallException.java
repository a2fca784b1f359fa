package org.grabkit.gentl;

/** The producer answered -1016 (GC_ERR_BUFFER_TOO_SMALL): "Buffer used is to small for operation". */
public class BufferTooSmallException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1016)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public BufferTooSmallException(String message) {
    super(message);
  }
}

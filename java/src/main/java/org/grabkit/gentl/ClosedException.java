package org.grabkit.gentl;

/** An operation was refused because its module, or the producer, is closed (code -10002). */
public class ClosedException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -10002)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public ClosedException(String message) {
    super(message);
  }
}

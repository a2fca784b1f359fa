package org.grabkit.gentl;

/** A producer file could not be loaded or released, or a second producer was refused (code -10001). */
public class LoadLibraryException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -10001)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public LoadLibraryException(String message) {
    super(message);
  }
}

package org.grabkit.gentl;

/**
 * Base of the 24 exceptions that the native library throws for GenTL error codes and for its own
 * errors. The message always ends in {@code " (ID: <code>)"}; {@link #code()} reads the code back.
 *
 * <p>Unchecked, like the failures of the JDK's own I/O on closed resources: a Java program can catch
 * the whole family here or one class where it has a remedy (e.g. {@link TimeoutException}).
 */
public abstract class GenTLException extends RuntimeException {
  private static final long serialVersionUID = 1L;

  /**
   * @param message the full text, ending in {@code " (ID: <code>)"}
   */
  protected GenTLException(String message) {
    super(message);
  }

  /**
   * The GenTL error code (-1001 to -1022) or the library's own code (-10001, -10002), read from
   * the message.
   *
   * @return the code, or 0 if the message carries none
   */
  public int code() {
    String text = getMessage();
    int start = text == null ? -1 : text.lastIndexOf(" (ID: ");
    if (start < 0 || !text.endsWith(")")) {
      return 0;
    }
    try {
      return Integer.parseInt(text.substring(start + 6, text.length() - 1));
    } catch (NumberFormatException e) {
      return 0;
    }
  }
}

package org.grabkit.gentl;

/** The producer answered -1020 (GC_ERR_RESOURCE_EXHAUSTED): "The requested resource is exhausted". */
public class ResourceExhaustedException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1020)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public ResourceExhaustedException(String message) {
    super(message);
  }
}

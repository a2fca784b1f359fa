package org.grabkit.gentl;

/** The producer answered -1004 (GC_ERR_RESOURCE_IN_USE): "Requested resource is already in use". */
public class ResourceInUseException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1004)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public ResourceInUseException(String message) {
    super(message);
  }
}

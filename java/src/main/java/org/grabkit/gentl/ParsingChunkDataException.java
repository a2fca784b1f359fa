package org.grabkit.gentl;

/** The producer answered -1018 (GC_ERR_PARSING_CHUNK_DATA): "Error parsing chunk data buffer". */
public class ParsingChunkDataException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /**
   * Made by the native library with the full text, e.g. "... (ID: -1018)".
   *
   * @param message the message followed by " (ID: ", the code and ")"
   */
  public ParsingChunkDataException(String message) {
    super(message);
  }
}

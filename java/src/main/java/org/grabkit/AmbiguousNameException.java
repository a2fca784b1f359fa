package org.grabkit;

import java.util.List;

/** A device name that fits more than one device at the same level of matching. */
public final class AmbiguousNameException extends IllegalArgumentException {
  private static final long serialVersionUID = 1L;

  /** The devices the name fits, as text. */
  private final List<String> matches;

  AmbiguousNameException(String name, String kind, List<String> matches) {
    super(
        "Device name '"
            + name
            + "' is ambiguous: it is the "
            + kind
            + " of "
            + String.join(", ", matches));
    this.matches = List.copyOf(matches);
  }

  /** @return the devices the name fits, each as its ID and where it was found */
  public List<String> matches() {
    return matches;
  }
}

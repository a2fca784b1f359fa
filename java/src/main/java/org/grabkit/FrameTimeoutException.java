package org.grabkit;

import org.grabkit.gentl.TimeoutException;

/**
 * No frame came in time. It is a producer time-out as well, so code that catches {@link
 * TimeoutException} of the low-level family still catches it; programs of this package need only
 * this class.
 */
public class FrameTimeoutException extends TimeoutException {
  private static final long serialVersionUID = 1L;

  FrameTimeoutException(String message) {
    super(message + " (ID: -1011)");
  }
}

package org.grabkit;

import org.grabkit.gentl.GenTLException;

/**
 * The helper process of an isolated producer ({@link Isolation#PROCESS}) died: the producer
 * crashed, aborted, exited or hung past the watchdog. The message names the producer file, the
 * signal or exit status and the helper's last standard-error lines. Every later call on that
 * producer's objects fails the same way; close the {@link Producer} and open it again for a new
 * helper. Other producers are not affected.
 */
public final class ProducerCrashedException extends GenTLException {
  private static final long serialVersionUID = 1L;

  /** The code that the isolating producer answers once its helper is gone. */
  public static final int CODE = -10100;

  /**
   * @param message the full text, ending in {@code " (ID: -10100)"}
   */
  public ProducerCrashedException(String message) {
    super(message);
  }

  static boolean isCrash(GenTLException e) {
    return e.code() == CODE;
  }
}

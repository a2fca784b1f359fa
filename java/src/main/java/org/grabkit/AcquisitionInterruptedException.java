package org.grabkit;

/**
 * The thread waiting in {@link Acquisition#next} was interrupted. Unchecked, so that frame loops
 * in lambdas and streams need no handler; the cause is an {@link InterruptedException}, and the
 * thread's interrupt flag is still set when this arrives, so enclosing code sees the interrupt as
 * well. No buffer is lost: one that came meanwhile is delivered by the next call.
 */
public class AcquisitionInterruptedException extends RuntimeException {
  private static final long serialVersionUID = 1L;

  AcquisitionInterruptedException(String message) {
    super(message, new InterruptedException(message));
  }
}

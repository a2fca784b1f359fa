package org.grabkit.cli;

/** A failure the tool reports as one line, with the exit code it ends with. */
final class CliException extends RuntimeException {
  private static final long serialVersionUID = 1L;

  /** Success. */
  static final int OK = 0;
  /** The camera or producer failed. */
  static final int FAILURE = 1;
  /** The command line is wrong. */
  static final int USAGE = 2;
  /** No such producer file or device. */
  static final int NOT_FOUND = 3;
  /** A frame did not come in time. */
  static final int TIMEOUT = 4;
  /** An output file cannot be written. */
  static final int OUTPUT = 5;
  /** Interrupted (Ctrl-C, SIGINT), as shells report a process that SIGINT ended. */
  static final int INTERRUPTED = 130;

  private final int exitCode;

  CliException(int exitCode, String message) {
    super(message);
    this.exitCode = exitCode;
  }

  static CliException usage(String message) {
    return new CliException(USAGE, message);
  }

  int exitCode() {
    return exitCode;
  }
}

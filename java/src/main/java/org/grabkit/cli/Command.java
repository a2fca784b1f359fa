package org.grabkit.cli;

import java.util.Set;

/** A command of the tool. */
interface Command {
  /** @return the word that selects it */
  String name();

  /** @return one line for the tool's overview */
  String summary();

  /** @return the command's help text */
  String help();

  /** @return its options that take a value */
  Set<String> valued();

  /** @return the exit code */
  int run(Options options, Session session);
}

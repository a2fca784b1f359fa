package org.grabkit.cli;

import java.util.Set;

/** A command of the tool: its word, its help and its options. */
abstract class Command {
  private final String name;
  private final String summary;
  private final Set<String> valued;
  private final String help;

  /**
   * @param name the word that selects it
   * @param summary one line for the tool's overview
   * @param valued its options that take a value
   * @param help the lines of its help text
   */
  Command(String name, String summary, Set<String> valued, String... help) {
    this.name = name;
    this.summary = summary;
    this.valued = valued;
    this.help = String.join("\n", help);
  }

  final String name() {
    return name;
  }

  final String summary() {
    return summary;
  }

  final String help() {
    return help;
  }

  final Set<String> valued() {
    return valued;
  }

  /** @return its options that take no value */
  Set<String> flags() {
    return Set.of();
  }

  /** @return the exit code */
  abstract int run(Options options, Session session);
}

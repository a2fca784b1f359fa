package org.grabkit;

import java.util.Locale;

/**
 * Where a producer's native code runs.
 *
 * <p>{@link #IN_PROCESS} loads the producer into the JVM: the fastest calls, but a producer that
 * crashes (a bad pointer, an {@code abort()}, a thread of its own that faults after unloading)
 * takes the whole JVM with it. {@link #PROCESS} loads it into a small helper process that Grabkit
 * starts and ends itself: a crash, abort or hang of the producer then ends only the helper, and
 * every call gets a {@link ProducerCrashedException}. Frames stay zero-copy (the buffers are shared
 * memory); each control call costs a round trip to the helper.
 *
 * <p>The default is {@code IN_PROCESS}; the system property {@code grabkit.isolation} or else the
 * environment variable {@code GRABKIT_ISOLATION} set to {@code process} makes it {@code PROCESS}
 * for {@link Producer#open(java.nio.file.Path)} and everything that loads producers without naming
 * an isolation.
 */
public enum Isolation {
  /** The producer runs inside the JVM. */
  IN_PROCESS,
  /** The producer runs in a helper process of its own. */
  PROCESS;

  /** The system property that sets the default. */
  public static final String PROPERTY = "grabkit.isolation";
  /** The environment variable that sets the default where the system property is not set. */
  public static final String ENVIRONMENT_VARIABLE = "GRABKIT_ISOLATION";

  /**
   * The default: {@link #PROPERTY}, else {@link #ENVIRONMENT_VARIABLE}, else {@code IN_PROCESS}.
   *
   * @return the isolation that opens without one use
   * @throws IllegalArgumentException if the setting is neither {@code process} nor {@code
   *     in-process}
   */
  public static Isolation configured() {
    String value = System.getProperty(PROPERTY);
    String source = PROPERTY;
    if (value == null) {
      value = System.getenv(ENVIRONMENT_VARIABLE);
      source = ENVIRONMENT_VARIABLE;
    }
    if (value == null || value.isBlank()) {
      return IN_PROCESS;
    }
    switch (value.strip().toLowerCase(Locale.ROOT)) {
      case "process":
        return PROCESS;
      case "in-process":
      case "in_process":
        return IN_PROCESS;
      default:
        throw new IllegalArgumentException(
            source + " is '" + value + "': use 'process' or 'in-process'");
    }
  }
}

package org.grabkit;

import java.util.ArrayList;
import java.util.List;

/**
 * The producers that {@link Producers#loadAll(List)} could load and the files it could not.
 * {@link #close()} closes every loaded producer.
 *
 * @param producers the loaded producers, in list order
 * @param failures the files and entries that failed, in list order
 */
public record LoadedProducers(List<Producer> producers, List<LoadFailure> failures)
    implements AutoCloseable {
  /**
   * Keeps unmodifiable copies of both lists.
   *
   * @param producers the loaded producers
   * @param failures the failures
   */
  public LoadedProducers {
    producers = List.copyOf(producers);
    failures = List.copyOf(failures);
  }

  /** @return one device list over all loaded producers, as they list their devices now */
  public Cameras cameras() {
    return Cameras.of(producers);
  }

  /** Closes every loaded producer, and with them their cameras. */
  @Override
  public void close() {
    Resources.closeAll(new ArrayList<>(producers));
  }
}

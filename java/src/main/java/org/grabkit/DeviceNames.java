package org.grabkit;

import java.util.List;
import java.util.NoSuchElementException;
import java.util.function.Function;
import java.util.stream.Collectors;

/**
 * Finds a device by any of its names. The levels go from the name a producer guarantees to be
 * unique to the ones people choose, so an ID always wins over a user name that happens to equal
 * it; within one level, two fits are an error rather than a guess.
 */
final class DeviceNames {
  private enum Level {
    ID("device ID", DeviceEntry::id),
    SERIAL("serial number", DeviceEntry::serialNumber),
    USER("user-defined name", DeviceEntry::userDefinedName),
    DISPLAY("display name", DeviceEntry::displayName);

    final String kind;
    final Function<DeviceEntry, String> name;

    Level(String kind, Function<DeviceEntry, String> name) {
      this.kind = kind;
      this.name = name;
    }
  }

  private DeviceNames() {}

  /**
   * The one item that {@code name} fits.
   *
   * @param routes an item's devices: several when one camera is reached several ways
   * @param label an item as text, for messages
   * @throws NoSuchElementException listing every item when none fits
   * @throws AmbiguousNameException listing the fits when several fit at the first level that has
   *     any
   */
  static <T> T find(
      String name,
      List<T> items,
      Function<T, List<DeviceEntry>> routes,
      Function<T, String> label) {
    for (Level level : Level.values()) {
      List<T> fits =
          items.stream()
              .filter(
                  item ->
                      !name.isEmpty()
                          && routes.apply(item).stream()
                              .anyMatch(d -> name.equals(level.name.apply(d))))
              .collect(Collectors.toList());
      if (fits.size() == 1) {
        return fits.get(0);
      }
      if (fits.size() > 1) {
        throw new AmbiguousNameException(
            name, level.kind, fits.stream().map(label).collect(Collectors.toList()));
      }
    }
    throw new NoSuchElementException(
        "No device '"
            + name
            + "' (devices: "
            + items.stream().map(label).collect(Collectors.joining(", "))
            + ")");
  }
}

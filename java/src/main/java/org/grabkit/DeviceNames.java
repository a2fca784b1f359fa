package org.grabkit;

import java.util.ArrayList;
import java.util.List;
import java.util.NoSuchElementException;

/**
 * Finds a device by any of its names. The levels go from the name a producer guarantees to be
 * unique to the ones people choose, so an ID always wins over a user name that happens to equal
 * it; within one level, two fits are an error rather than a guess.
 */
final class DeviceNames {
  // Plain loops and a switch: opening a camera by name is on the path of every command of the
  // tool, where each lambda would cost a cold start the linkage of its call site.
  private enum Level {
    ID("device ID"),
    SERIAL("serial number"),
    USER("user-defined name"),
    DISPLAY("display name");

    final String kind;

    Level(String kind) {
      this.kind = kind;
    }

    String of(DeviceEntry d) {
      switch (this) {
        case ID:
          return d.id();
        case SERIAL:
          return d.serialNumber();
        case USER:
          return d.userDefinedName();
        default:
          return d.displayName();
      }
    }
  }

  private DeviceNames() {}

  /**
   * The one item that {@code name} fits.
   *
   * @param routes each item's devices, in the order of the items: several when one camera is
   *     reached several ways
   * @param labels each item as text, for messages
   * @throws NoSuchElementException listing every item when none fits
   * @throws AmbiguousNameException listing the fits when several fit at the first level that has
   *     any
   */
  static <T> T find(
      String name, List<T> items, List<List<DeviceEntry>> routes, List<String> labels) {
    for (Level level : Level.values()) {
      List<Integer> fits = new ArrayList<>();
      for (int i = 0; i < items.size() && !name.isEmpty(); i++) {
        for (DeviceEntry d : routes.get(i)) {
          if (name.equals(level.of(d))) {
            fits.add(i);
            break;
          }
        }
      }
      if (fits.size() == 1) {
        return items.get(fits.get(0));
      }
      if (fits.size() > 1) {
        List<String> fitting = new ArrayList<>();
        for (int i : fits) {
          fitting.add(labels.get(i));
        }
        throw new AmbiguousNameException(name, level.kind, fitting);
      }
    }
    throw new NoSuchElementException(
        "No device '" + name + "' (devices: " + String.join(", ", labels) + ")");
  }
}

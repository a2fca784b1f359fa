package org.grabkit;

import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.NoSuchElementException;
import org.grabkit.gentl.GenTLException;

/**
 * The cameras of several open producers as one list: the machine's cameras when the producers are
 * those of {@link Producers#loadFromEnvironment()}. The list is taken once, when it is made; the
 * producers stay the caller's to close.
 */
public final class Cameras {
  private final List<CameraEntry> entries;
  private final List<LoadFailure> failures;

  private Cameras(List<CameraEntry> entries, List<LoadFailure> failures) {
    this.entries = List.copyOf(entries);
    this.failures = List.copyOf(failures);
  }

  /**
   * Asks each producer for its devices. A producer whose listing fails is left out and named in
   * {@link #failures()}, so one broken producer hides no other producer's cameras.
   *
   * @param producers open producers, in the order their routes are tried
   * @return the list
   */
  public static Cameras of(List<Producer> producers) {
    Map<Object, List<CameraRoute>> byCamera = new LinkedHashMap<>();
    List<LoadFailure> failures = new ArrayList<>();
    for (Producer producer : producers) {
      List<DeviceEntry> devices;
      try {
        devices = producer.devices();
      } catch (GenTLException e) {
        failures.add(new LoadFailure(producer.path(), e.getMessage()));
        continue;
      }
      for (DeviceEntry device : devices) {
        byCamera
            .computeIfAbsent(identity(producer, device), k -> new ArrayList<>())
            .add(new CameraRoute(producer, device));
      }
    }
    List<CameraEntry> entries = new ArrayList<>();
    byCamera.values().forEach(routes -> entries.add(new CameraEntry(routes)));
    return new Cameras(entries, failures);
  }

  /** @return the cameras, in the order of the producers and of their lists */
  public List<CameraEntry> list() {
    return entries;
  }

  /** @return the producers whose devices could not be listed, with the reason */
  public List<LoadFailure> failures() {
    return failures;
  }

  /**
   * Finds a camera by name.
   *
   * @param name a device ID, serial number, user-defined name or display name, tried in that order
   *     over every route
   * @return the camera
   * @throws NoSuchElementException if no camera has that name; the message lists the cameras
   * @throws AmbiguousNameException if several cameras have that name at the first level that fits
   */
  public CameraEntry find(String name) {
    List<List<DeviceEntry>> routes = new ArrayList<>(entries.size());
    List<String> labels = new ArrayList<>(entries.size());
    for (CameraEntry entry : entries) {
      List<DeviceEntry> devices = new ArrayList<>();
      for (CameraRoute route : entry.routes()) {
        devices.add(route.device());
      }
      routes.add(devices);
      labels.add(entry.toString());
    }
    return DeviceNames.find(name, entries, routes, labels);
  }

  /**
   * Opens a camera for control.
   *
   * @param name as for {@link #find(String)}
   * @return the camera, owned by the producer of the route that opened it
   * @see #open(CameraEntry, AccessMode)
   */
  public Camera open(String name) {
    return open(find(name), AccessMode.CONTROL);
  }

  /**
   * Opens a camera by the first of its routes that can open it: a camera that one producer
   * refuses (busy through it, say) may still open through another.
   *
   * @param camera one of {@link #list()}
   * @param mode how to open it
   * @return the camera, owned by the producer of the route that opened it
   * @throws GenTLException the first route's failure, with the others' suppressed, when no route
   *     opens it
   */
  public static Camera open(CameraEntry camera, AccessMode mode) {
    GenTLException failure = null;
    for (CameraRoute route : camera.routes()) {
      try {
        return route.producer().open(route.device(), mode);
      } catch (GenTLException e) {
        if (failure == null) {
          failure = e;
        } else {
          failure.addSuppressed(e);
        }
      }
    }
    throw failure;
  }

  /** One key per physical camera; a device without a serial number is only itself. */
  private static Object identity(Producer producer, DeviceEntry device) {
    if (device.serialNumber().isEmpty()) {
      return List.of(producer, device.interfaceId(), device.id());
    }
    return List.of(device.vendor(), device.model(), device.serialNumber());
  }
}

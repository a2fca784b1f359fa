package org.grabkit;

import java.util.List;

/**
 * A physical camera of the machine and every producer that reaches it. Two producers that list a
 * device of the same vendor, model and serial number list the same camera (a vendor's producer
 * and a generic one for the same transport, say), so it is one entry with two routes.
 *
 * @param routes the ways to reach the camera, in the order of the producers; never empty
 */
public record CameraEntry(List<CameraRoute> routes) {
  /**
   * Keeps an unmodifiable copy of the routes.
   *
   * @param routes the ways to reach the camera
   * @throws IllegalArgumentException if there is none
   */
  public CameraEntry {
    routes = List.copyOf(routes);
    if (routes.isEmpty()) {
      throw new IllegalArgumentException("A camera needs at least one route");
    }
  }

  /** @return the device as its first producer lists it */
  public DeviceEntry device() {
    return routes.get(0).device();
  }

  /** @return the first route, e.g. {@code SimCam0 in grabkit-sim.cti} */
  @Override
  public String toString() {
    return routes.get(0).toString();
  }
}

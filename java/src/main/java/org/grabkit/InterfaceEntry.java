package org.grabkit;

import java.util.List;

/**
 * An interface of a producer and the devices it lists. Text the producer cannot give is empty.
 *
 * @param id the interface ID
 * @param displayName a name for people
 * @param transportLayerType the transport-layer type
 * @param devices the devices the interface lists, in the producer's order
 */
public record InterfaceEntry(
    String id, String displayName, String transportLayerType, List<DeviceEntry> devices) {
  /**
   * Keeps an unmodifiable copy of the device list.
   *
   * @param id the interface ID
   * @param displayName a name for people
   * @param transportLayerType the transport-layer type
   * @param devices the devices the interface lists
   */
  public InterfaceEntry {
    devices = List.copyOf(devices);
  }
}

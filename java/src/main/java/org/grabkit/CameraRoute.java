package org.grabkit;

/**
 * One way to reach a camera: a producer and the device as it lists it.
 *
 * @param producer the producer that lists the device
 * @param device the device as that producer lists it
 */
public record CameraRoute(Producer producer, DeviceEntry device) {
  /** @return the device ID and the producer's file name, e.g. {@code SimCam0 in grabkit-sim.cti} */
  @Override
  public String toString() {
    return device.id() + " in " + producer.path().getFileName();
  }
}

package org.grabkit;

import org.grabkit.gentl.gentlJNI;

/** How a program opens a device. */
public enum AccessMode {
  /** Reads registers and streams; writes are refused. */
  READ_ONLY,
  /** Full control; other programs may still read. */
  CONTROL,
  /** Full control; nobody else may open the device. */
  EXCLUSIVE;

  int flags() {
    switch (this) {
      case READ_ONLY:
        return gentlJNI.DEVICE_ACCESS_READONLY_get();
      case EXCLUSIVE:
        return gentlJNI.DEVICE_ACCESS_EXCLUSIVE_get();
      default:
        return gentlJNI.DEVICE_ACCESS_CONTROL_get();
    }
  }
}

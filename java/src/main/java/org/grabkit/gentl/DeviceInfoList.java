package org.grabkit.gentl;

/**
 * A native list of shared references to DeviceInfo objects: the devices that an interface listed.
 * Elements are holders (native addresses of one reference each): {@link #get} makes a new one,
 * which the caller owns; {@link #add} and {@link #set} copy the reference of the holder they are
 * given, so the list keeps the object alive. 0 stands for an empty element. Indices outside 0 to
 * size - 1 throw {@code IndexOutOfBoundsException} "vector index out of range". Close it when
 * done; an unreachable list is freed as well.
 */
public final class DeviceInfoList extends NativeList {
  /** An empty list. */
  public DeviceInfoList() {
    this(gentlJNI.new_DeviceInfoList__SWIG_0(), Deleter.DEVICE_INFO_LIST);
  }

  /**
   * A list of {@code size} empty elements, with a capacity of exactly {@code size}.
   *
   * @param size the number of elements
   */
  public DeviceInfoList(long size) {
    this(gentlJNI.new_DeviceInfoList__SWIG_1(size), Deleter.DEVICE_INFO_LIST);
  }

  private DeviceInfoList(long address, Deleter delete) {
    super(address, delete);
  }

  /**
   * Takes over a list that a native method returned.
   *
   * @param address the list's native address, which this object frees from now on
   * @return the list
   */
  public static DeviceInfoList adopt(long address) {
    return new DeviceInfoList(address, Deleter.DEVICE_INFO_LIST);
  }

  /** @return the number of elements */
  public long size() {
    return gentlJNI.DeviceInfoList_size(address(), this);
  }

  /** @return the number of elements the storage holds without growing */
  public long capacity() {
    return gentlJNI.DeviceInfoList_capacity(address(), this);
  }

  /** @param n the capacity wanted; a smaller one than the current changes nothing */
  public void reserve(long n) {
    gentlJNI.DeviceInfoList_reserve(address(), this, n);
  }

  /** @return whether the list has no element */
  public boolean isEmpty() {
    return gentlJNI.DeviceInfoList_isEmpty(address(), this);
  }

  /** Removes every element and releases its reference; the capacity stays. */
  public void clear() {
    gentlJNI.DeviceInfoList_clear(address(), this);
  }

  /**
   * Appends an element.
   *
   * @param holder a DeviceInfo holder whose reference the list copies; 0 for an empty element
   */
  public void add(long holder) {
    gentlJNI.DeviceInfoList_add(address(), this, holder, null);
  }

  /**
   * @param i the index
   * @return a new DeviceInfo holder of element {@code i}, owned by the caller; 0 if it is empty
   */
  public long get(int i) {
    return gentlJNI.DeviceInfoList_get(address(), this, i);
  }

  /**
   * Replaces element {@code i}; the list releases the reference it held there.
   *
   * @param i the index
   * @param holder a DeviceInfo holder whose reference the list copies; 0 for an empty element
   */
  public void set(int i, long holder) {
    gentlJNI.DeviceInfoList_set(address(), this, i, holder, null);
  }
}

package org.grabkit.gentl;

/**
 * A native list of shared references to InterfaceInfo objects: the interfaces that a transport
 * layer listed. Elements are holders (native addresses of one reference each): {@link #get} makes
 * a new one, which the caller owns; {@link #add} and {@link #set} copy the reference of the holder
 * they are given, so the list keeps the object alive. 0 stands for an empty element. Indices
 * outside 0 to size - 1 throw {@code IndexOutOfBoundsException} "vector index out of range". Close
 * it when done; an unreachable list is freed as well.
 */
public final class InterfaceInfoList extends NativeList {
  /** An empty list. */
  public InterfaceInfoList() {
    this(gentlJNI.new_InterfaceInfoList__SWIG_0(), Deleter.INTERFACE_INFO_LIST);
  }

  /**
   * A list of {@code size} empty elements, with a capacity of exactly {@code size}.
   *
   * @param size the number of elements
   */
  public InterfaceInfoList(long size) {
    this(gentlJNI.new_InterfaceInfoList__SWIG_1(size), Deleter.INTERFACE_INFO_LIST);
  }

  private InterfaceInfoList(long address, Deleter delete) {
    super(address, delete);
  }

  /**
   * Takes over a list that a native method returned.
   *
   * @param address the list's native address, which this object frees from now on
   * @return the list
   */
  public static InterfaceInfoList adopt(long address) {
    return new InterfaceInfoList(address, Deleter.INTERFACE_INFO_LIST);
  }

  /** @return the number of elements */
  public long size() {
    return gentlJNI.InterfaceInfoList_size(address(), this);
  }

  /** @return the number of elements the storage holds without growing */
  public long capacity() {
    return gentlJNI.InterfaceInfoList_capacity(address(), this);
  }

  /** @param n the capacity wanted; a smaller one than the current changes nothing */
  public void reserve(long n) {
    gentlJNI.InterfaceInfoList_reserve(address(), this, n);
  }

  /** @return whether the list has no element */
  public boolean isEmpty() {
    return gentlJNI.InterfaceInfoList_isEmpty(address(), this);
  }

  /** Removes every element and releases its reference; the capacity stays. */
  public void clear() {
    gentlJNI.InterfaceInfoList_clear(address(), this);
  }

  /**
   * Appends an element.
   *
   * @param holder a InterfaceInfo holder whose reference the list copies; 0 for an empty element
   */
  public void add(long holder) {
    gentlJNI.InterfaceInfoList_add(address(), this, holder, null);
  }

  /**
   * @param i the index
   * @return a new InterfaceInfo holder of element {@code i}, owned by the caller; 0 if it is empty
   */
  public long get(int i) {
    return gentlJNI.InterfaceInfoList_get(address(), this, i);
  }

  /**
   * Replaces element {@code i}; the list releases the reference it held there.
   *
   * @param i the index
   * @param holder a InterfaceInfo holder whose reference the list copies; 0 for an empty element
   */
  public void set(int i, long holder) {
    gentlJNI.InterfaceInfoList_set(address(), this, i, holder, null);
  }
}

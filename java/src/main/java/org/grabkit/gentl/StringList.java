package org.grabkit.gentl;

import java.util.ArrayList;
import java.util.List;
/**
 * A native list of strings: the IDs of interfaces, devices and data streams. Indices outside 0 to
 * size - 1 throw {@code IndexOutOfBoundsException} "vector index out of range"; a negative size
 * throws {@code RuntimeException}. Close it when done; an unreachable list is freed as well.
 */
public final class StringList extends NativeList {
  /** An empty list. */
  public StringList() {
    this(gentlJNI.new_StringList__SWIG_0(), Deleter.STRING_LIST);
  }

  /**
   * A list of {@code size} empty strings, with a capacity of exactly {@code size}.
   *
   * @param size the number of elements
   */
  public StringList(long size) {
    this(gentlJNI.new_StringList__SWIG_1(size), Deleter.STRING_LIST);
  }

  private StringList(long address, Deleter delete) {
    super(address, delete);
  }

  /**
   * Takes over a list that a native method returned (e.g. {@link gentlJNI#TLGetInterfaceList}).
   *
   * @param address the list's native address, which this object frees from now on
   * @return the list
   */
  public static StringList adopt(long address) {
    return new StringList(address, Deleter.STRING_LIST);
  }

  /** @return the number of elements */
  public long size() {
    return gentlJNI.StringList_size(address(), this);
  }

  /** @return the number of elements the storage holds without growing */
  public long capacity() {
    return gentlJNI.StringList_capacity(address(), this);
  }

  /** @param n the capacity wanted; a smaller one than the current changes nothing */
  public void reserve(long n) {
    gentlJNI.StringList_reserve(address(), this, n);
  }

  /** @return whether the list has no element */
  public boolean isEmpty() {
    return gentlJNI.StringList_isEmpty(address(), this);
  }

  /** Removes every element; the capacity stays. */
  public void clear() {
    gentlJNI.StringList_clear(address(), this);
  }

  /** @param x the string to append */
  public void add(String x) {
    gentlJNI.StringList_add(address(), this, x);
  }

  /**
   * @param i the index
   * @return element {@code i}
   */
  public String get(int i) {
    return gentlJNI.StringList_get(address(), this, i);
  }

  /**
   * @param i the index
   * @param x the new element
   */
  public void set(int i, String x) {
    gentlJNI.StringList_set(address(), this, i, x);
  }

  /** @return a Java copy of the elements */
  public List<String> toList() {
    int n = Math.toIntExact(size());
    List<String> copy = new ArrayList<>(n);
    for (int i = 0; i < n; i++) {
      copy.add(get(i));
    }
    return copy;
  }
}

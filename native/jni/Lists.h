// The lists that carry collections across the Java boundary: vectors handed
// to Java by their own address (a Java long), of strings or of shared
// references to model objects. Free of JNI types, so that the native tests can
// check them without a virtual machine.
#ifndef GRABKIT_JNI_LISTS_H
#define GRABKIT_JNI_LISTS_H

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Holders.h"

namespace Grabkit::Jni {

using StringList = std::vector<std::string>;
// A list owns one reference of each element object.
template <typename E>
using SharedList = std::vector<std::shared_ptr<E>>;

// Reaches Java as IndexOutOfBoundsException with this text.
struct IndexOutOfRange : std::out_of_range {
  IndexOutOfRange() : std::out_of_range("vector index out of range") {}
};

template <typename List>
List& list(int64_t address) {
  return *reinterpret_cast<List*>(static_cast<intptr_t>(address));
}

// A list never shrinks; growing allocates exactly n. A count from a negative
// Java long is above the maximum and is refused.
template <typename List>
void reserve(List& v, uint64_t n) {
  if (n > v.max_size()) throw std::length_error("vector<T> too long");
  v.reserve(n);
}

// n empty elements, capacity exactly n.
template <typename List>
int64_t newList(uint64_t n) {
  auto v = std::make_unique<List>();
  reserve(*v, n);
  v->resize(n);
  return static_cast<int64_t>(reinterpret_cast<intptr_t>(v.release()));
}

// A list that an operation returned, handed to Java; the caller owns it.
template <typename List>
int64_t toJavaList(List contents) {
  return static_cast<int64_t>(reinterpret_cast<intptr_t>(new List(std::move(contents))));
}

// 0 does nothing.
template <typename List>
void deleteList(int64_t address) {
  delete reinterpret_cast<List*>(static_cast<intptr_t>(address));
}

// Element i for 0 <= i < size, the size read as a signed 32-bit number.
template <typename List>
typename List::reference element(List& v, int32_t i) {
  if (i < 0 || i >= static_cast<int32_t>(v.size())) throw IndexOutOfRange();
  return v[i];
}

// A new holder of element i, 0 when it is empty: two reads give two holders.
template <typename E>
int64_t getElement(SharedList<E>& v, int32_t i) {
  return newHolder(element(v, i));
}

// Element i takes the holder's reference (empty for 0) and drops its own.
template <typename E>
void setElement(SharedList<E>& v, int32_t i, int64_t holderHandle) {
  element(v, i) = shared<E>(holderHandle);
}

}  // namespace Grabkit::Jni

#endif

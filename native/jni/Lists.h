// The lists that carry collections across the Java boundary: vectors of
// strings or of shared references to model objects, handed to Java as entries
// of the object table (Holders.h). Each list has its own lock, so that Java
// threads that share a list cannot tear it. Free of JNI types, so that the
// native tests can check them without a virtual machine.
#ifndef GRABKIT_JNI_LISTS_H
#define GRABKIT_JNI_LISTS_H

#include <cstdint>
#include <memory>
#include <mutex>
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

// A list and its lock.
template <typename List>
struct Locked {
  std::mutex mutex;
  List items;
};

// A list from Java, locked while this lives: list<StringList>(l)->size().
template <typename List>
class ListRef {
 public:
  explicit ListRef(std::shared_ptr<Locked<List>> l) : owner_(std::move(l)), lock_(owner_->mutex) {}
  List& operator*() const { return owner_->items; }
  List* operator->() const { return &owner_->items; }

 private:
  std::shared_ptr<Locked<List>> owner_;
  std::unique_lock<std::mutex> lock_;
};

template <typename List>
ListRef<List> list(int64_t value) {
  if (value == 0)
    throw NullObject(std::string("Grabkit::") + kindName<Locked<List>>() + " is null");
  return ListRef<List>(getObject<Locked<List>>(value));
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
  auto v = std::make_shared<Locked<List>>();
  reserve(v->items, n);
  v->items.resize(n);
  return addObject(std::move(v), false);
}

// A list that an operation returned, handed to Java; the caller owns it.
template <typename List>
int64_t toJavaList(List contents) {
  auto v = std::make_shared<Locked<List>>();
  v->items = std::move(contents);
  return addObject(std::move(v), false);
}

// 0 does nothing.
template <typename List>
void deleteList(int64_t value) {
  removeObject<Locked<List>>(value);
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

// Holders: a heap-allocated shared_ptr<T> that owns one reference, handed to
// Java as its address (a Java long). Free of JNI types, so that the native
// tests can check them without a virtual machine.
#ifndef GRABKIT_JNI_HOLDERS_H
#define GRABKIT_JNI_HOLDERS_H

#include <atomic>
#include <cstdint>
#include <memory>

namespace Grabkit::Jni {

// Holders alive in the process, so that tests can see a consumer that forgets
// to release proxies. List elements and event records are not holders.
inline std::atomic<int64_t> liveHolders{0};

// A new holder of `object` (one more reference); 0 for an empty pointer.
template <typename T>
int64_t newHolder(std::shared_ptr<T> object) {
  if (!object) return 0;
  auto address = reinterpret_cast<intptr_t>(new std::shared_ptr<T>(std::move(object)));
  liveHolders.fetch_add(1, std::memory_order_relaxed);
  return static_cast<int64_t>(address);
}

template <typename T>
std::shared_ptr<T>* holder(int64_t handle) {
  return reinterpret_cast<std::shared_ptr<T>*>(static_cast<intptr_t>(handle));
}

// The object of an instance method (0 gives a null pointer).
template <typename T>
T* object(int64_t handle) {
  return handle == 0 ? nullptr : holder<T>(handle)->get();
}

// A by-value parameter: a copy of the holder's reference, empty for 0.
template <typename T>
std::shared_ptr<T> shared(int64_t handle) {
  return handle == 0 ? std::shared_ptr<T>() : *holder<T>(handle);
}

template <typename T>
void deleteHolder(int64_t handle) {
  if (handle == 0) return;
  liveHolders.fetch_sub(1, std::memory_order_relaxed);
  delete holder<T>(handle);
}

}  // namespace Grabkit::Jni

#endif

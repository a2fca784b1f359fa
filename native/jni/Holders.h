// What Java holds of native objects: holders (one shared reference to a model
// object), lists and new-buffer event records. Java never sees an address:
// each object is an entry of one process-wide table, named by a checked value
// (slot index and generation), so that 0, a stale value, a value of another
// kind or one never issued is refused instead of followed. Free of JNI types,
// so that the native tests can check them without a virtual machine.
#ifndef GRABKIT_JNI_HOLDERS_H
#define GRABKIT_JNI_HOLDERS_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace Grabkit::Jni {

// Holders alive in the process, so that tests can see a consumer that forgets
// to release proxies. List elements and event records are not holders.
inline std::atomic<int64_t> liveHolders{0};

// A value from Java that names no live object of the expected kind; reaches
// Java as IllegalStateException.
struct StaleObject : std::logic_error {
  using std::logic_error::logic_error;
};

// 0 from Java where an object is needed; reaches Java as NullPointerException.
struct NullObject : std::logic_error {
  using std::logic_error::logic_error;
};

// The name of a kind, for messages ("Device", "StringList").
template <typename T>
const char* kindName();

class ObjectTable {
 public:
  // A new entry; `holder` counts it in liveHolders.
  int64_t add(std::shared_ptr<void> object, const void* kind, const char* name, bool holder);
  // The entry's object; throws StaleObject unless `value` names a live entry
  // of `kind`.
  std::shared_ptr<void> get(int64_t value, const void* kind, const char* name) const;
  // Removes the entry and returns its object, which the caller drops outside
  // the table's lock (dropping it may close a module in the producer).
  std::shared_ptr<void> remove(int64_t value, const void* kind, const char* name);
  size_t size() const;

 private:
  struct Slot {
    uint32_t generation = 1;
    const void* kind = nullptr;
    const char* name = nullptr;
    bool holder = false;
    std::shared_ptr<void> object;
  };
  const Slot& slot(int64_t value, const void* kind, const char* name) const;

  mutable std::mutex mutex_;
  std::vector<Slot> slots_;
  std::vector<uint32_t> free_;
};

ObjectTable& objects();

// One address per kind, so that kinds compare by identity.
template <typename T>
const void* kindOf() {
  static const char tag = 0;
  return &tag;
}

template <typename T>
int64_t addObject(std::shared_ptr<T> object, bool holder) {
  return objects().add(std::static_pointer_cast<void>(std::move(object)), kindOf<T>(),
                       kindName<T>(), holder);
}

// The object behind a non-zero value.
template <typename T>
std::shared_ptr<T> getObject(int64_t value) {
  return std::static_pointer_cast<T>(objects().get(value, kindOf<T>(), kindName<T>()));
}

// 0 does nothing.
template <typename T>
void removeObject(int64_t value) {
  if (value == 0) return;
  std::shared_ptr<void> dropped = objects().remove(value, kindOf<T>(), kindName<T>());
}

// A new holder of `object` (one more reference); 0 for an empty pointer.
template <typename T>
int64_t newHolder(std::shared_ptr<T> object) {
  if (!object) return 0;
  return addObject(std::move(object), true);
}

// A by-value parameter: a copy of the holder's reference, empty for 0.
template <typename T>
std::shared_ptr<T> shared(int64_t handle) {
  return handle == 0 ? std::shared_ptr<T>() : getObject<T>(handle);
}

template <typename T>
void deleteHolder(int64_t handle) {
  removeObject<T>(handle);
}

}  // namespace Grabkit::Jni

#endif

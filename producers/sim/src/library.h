#ifndef GRABKIT_SIM_LIBRARY_H
#define GRABKIT_SIM_LIBRARY_H

#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "error.h"
#include "modules.h"
#include "settings.h"
#include "stream.h"

namespace grabkit::sim {

// The producer's global state between GCInitLib and GCCloseLib.
//
// One mutex guards the module tree, the registry and all register state; every
// entry point holds it except while EventGetData waits. Streams add their own
// mutex below it (lock order: library, then stream), which the acquisition
// threads share, so they never need the library mutex.
class Library {
 public:
  ~Library();

  // Locks and insists on GCInitLib having been called.
  std::unique_lock<std::mutex> lock();
  std::unique_lock<std::mutex> lockAlways() { return std::unique_lock<std::mutex>(mutex_); }

  bool initialized() const { return initialized_; }
  void init();
  void close();

  const Settings& settings() const { return settings_; }
  const std::vector<DeviceEntry>& devices() const { return devices_; }
  const DeviceEntry& device(const char* id) const;    // INVALID_ID if unknown
  const DeviceEntry& deviceAt(uint32_t index) const;  // INVALID_INDEX past the end

  std::shared_ptr<System>& system() { return system_; }

  // Handle registry: every live object a consumer may hold a handle to.
  void add(const std::shared_ptr<Object>& object);
  template <class T>
  std::shared_ptr<T> get(void* handle, Kind kind) const {
    return std::static_pointer_cast<T>(find(handle, {kind}));
  }
  std::shared_ptr<Port> port(void* handle) const;
  std::shared_ptr<Object> eventSource(void* handle) const;

  // Closing a module closes what it owns first; handles of all of it die.
  void closeSystem();
  void closeInterface(std::shared_ptr<Interface> iface);
  void closeDevice(std::shared_ptr<Device> device);
  void closeStream(std::shared_ptr<Stream> stream);
  void unregisterEvent(Stream& stream);

 private:
  std::shared_ptr<Object> find(void* handle, std::initializer_list<Kind> kinds) const;
  void forget(Object* object) { registry_.erase(object); }

  std::mutex mutex_;
  bool initialized_ = false;
  Settings settings_;
  std::vector<DeviceEntry> devices_;
  std::shared_ptr<System> system_;
  std::unordered_map<const void*, std::shared_ptr<Object>> registry_;
};

Library& library();

}  // namespace grabkit::sim

#endif

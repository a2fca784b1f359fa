#include "library.h"

namespace grabkit::sim {
namespace {

const char* kindName(Kind kind) {
  switch (kind) {
    case Kind::kSystem:
      return "system";
    case Kind::kInterface:
      return "interface";
    case Kind::kDevice:
      return "device";
    case Kind::kStream:
      return "data stream";
    case Kind::kRemotePort:
      return "port";
    case Kind::kEvent:
      return "event";
  }
  return "module";
}

}  // namespace

Library& library() {
  static Library instance;
  return instance;
}

Library::~Library() {
  // Unloaded without GCCloseLib: the acquisition threads must not outlive the code.
  std::lock_guard<std::mutex> guard(mutex_);
  closeSystem();
  registry_.clear();
}

std::unique_lock<std::mutex> Library::lock() {
  std::unique_lock<std::mutex> guard(mutex_);
  if (!initialized_) fail(GC_ERR_NOT_INITIALIZED, "GCInitLib has not been called");
  return guard;
}

void Library::init() {
  if (initialized_) fail(GC_ERR_RESOURCE_IN_USE, "GCInitLib was already called");
  settings_ = settingsFromEnvironment();
  devices_ = deviceCatalog(settings_);
  initialized_ = true;
}

void Library::close() {
  closeSystem();
  registry_.clear();
  initialized_ = false;
}

const DeviceEntry& Library::device(const char* id) const {
  need(id, "device ID");
  for (const DeviceEntry& entry : devices_) {
    if (entry.id == id) return entry;
  }
  fail(GC_ERR_INVALID_ID, std::string("no device with ID \"") + id + "\"");
}

const DeviceEntry& Library::deviceAt(uint32_t index) const {
  if (index >= devices_.size()) {
    fail(GC_ERR_INVALID_INDEX,
         "device index " + std::to_string(index) + " of " + std::to_string(devices_.size()));
  }
  return devices_[index];
}

void Library::add(const std::shared_ptr<Object>& object) {
  registry_.emplace(object->handle(), object);
}

std::shared_ptr<Object> Library::find(void* handle, std::initializer_list<Kind> kinds) const {
  const auto it = handle == nullptr ? registry_.end() : registry_.find(handle);
  if (it != registry_.end()) {
    for (Kind kind : kinds) {
      if (it->second->kind() == kind) return it->second;
    }
  }
  std::string names;
  for (Kind kind : kinds) names += std::string(names.empty() ? "" : " or ") + kindName(kind);
  fail(GC_ERR_INVALID_HANDLE, "not a handle of an open " + names);
}

std::shared_ptr<Port> Library::port(void* handle) const {
  return std::static_pointer_cast<Port>(find(
      handle, {Kind::kSystem, Kind::kInterface, Kind::kDevice, Kind::kStream, Kind::kRemotePort}));
}

std::shared_ptr<Object> Library::eventSource(void* handle) const {
  return find(handle, {Kind::kSystem, Kind::kInterface, Kind::kDevice, Kind::kStream});
}

void Library::unregisterEvent(Stream& stream) {
  if (Event* event = stream.detach()) forget(event);
}

void Library::closeStream(std::shared_ptr<Stream> stream) {
  unregisterEvent(*stream);
  stream->close();
  forget(stream.get());
  stream->device().stream.reset();
}

void Library::closeDevice(std::shared_ptr<Device> device) {
  if (device->stream) closeStream(device->stream);
  forget(device->remote.get());
  forget(device.get());
  device->parent().devices.erase(device->entry().id);
}

void Library::closeInterface(std::shared_ptr<Interface> iface) {
  while (!iface->devices.empty()) closeDevice(iface->devices.begin()->second);
  forget(iface.get());
  iface->parent().interfaces.erase(kInterfaceId);
}

void Library::closeSystem() {
  if (!system_) return;
  const std::shared_ptr<System> system = system_;
  while (!system->interfaces.empty()) closeInterface(system->interfaces.begin()->second);
  forget(system.get());
  system_.reset();
}

}  // namespace grabkit::sim

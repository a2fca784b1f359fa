#ifndef GRABKIT_SIM_MODULES_H
#define GRABKIT_SIM_MODULES_H

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "description.h"
#include "info.h"
#include "pattern.h"
#include "registers.h"
#include "settings.h"

namespace grabkit::sim {

constexpr const char* kVendor = "Grabkit";
constexpr const char* kTLType = "Custom";
constexpr const char* kSystemId = "GrabkitSim";
constexpr const char* kInterfaceId = "SimInterface0";
constexpr const char* kStreamId = "Stream0";
constexpr const char* kDeviceVersion = "1.0.0";

// Values double as the module kind register of the module ports.
enum class Kind : uint32_t {
  kSystem = 1,
  kInterface = 2,
  kDevice = 3,
  kStream = 4,
  kRemotePort = 5,
  kEvent = 6,
};

// Everything a handle can point to. Handles are the objects' own addresses, checked
// against the library's registry before use, so a stale or foreign pointer is
// recognised instead of dereferenced.
class Object {
 public:
  explicit Object(Kind kind) : kind_(kind) {}
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object() = default;

  Kind kind() const { return kind_; }
  void* handle() { return static_cast<Object*>(this); }

 private:
  const Kind kind_;
};

struct PortInfo {
  std::string id;
  std::string model;
  std::string module;
  std::string version;
  std::string portName;
  bool writable = false;
};

class Port : public Object {
 public:
  using Object::Object;

  virtual PortInfo portInfo() const = 0;
  virtual void read(uint64_t address, void* buffer, size_t size) const = 0;
  virtual void write(uint64_t address, const void* buffer, size_t size) = 0;
  // The port's single URL, if it has one.
  virtual const DescriptionFile* description() const { return nullptr; }
};

// The system, interface, device and stream handles are ports onto a small
// read-only map that names the module (see registers.h).
class ModulePort : public Port {
 public:
  using Port::Port;

  void read(uint64_t address, void* buffer, size_t size) const override;
  void write(uint64_t address, const void* buffer, size_t size) override;

 protected:
  virtual std::string moduleId() const = 0;
  virtual uint32_t childCount() const = 0;
};

class Interface;
class Device;
class RemotePort;
class Stream;

class System : public ModulePort {
 public:
  System() : ModulePort(Kind::kSystem) {}

  PortInfo portInfo() const override;

  std::map<std::string, std::shared_ptr<Interface>> interfaces;  // the open ones
  bool listUpdated = false;

 protected:
  std::string moduleId() const override { return kSystemId; }
  uint32_t childCount() const override { return 1; }
};

class Interface : public ModulePort {
 public:
  Interface(System& parent, uint32_t deviceCount)
      : ModulePort(Kind::kInterface), parent_(parent), deviceCount_(deviceCount) {}

  System& parent() const { return parent_; }
  PortInfo portInfo() const override;

  std::map<std::string, std::shared_ptr<Device>> devices;  // the open ones
  bool listUpdated = false;

 protected:
  std::string moduleId() const override { return kInterfaceId; }
  uint32_t childCount() const override { return deviceCount_; }

 private:
  System& parent_;
  const uint32_t deviceCount_;
};

// What the acquisition thread reads per frame; the device hands it over on every change.
struct LiveSettings {
  uint32_t frameRateMilliHz = 0;
  bool gradient = true;
  bool triggerMode = false;
  uint32_t acquisitionMode = reg::kContinuous;
  uint32_t frameCount = 1;
  Tone tone;
};

uint64_t monotonicNs();  // the clock of buffer time stamps and the Timestamp register

// An open camera: the local module (this object) and its remote register space
// (RemotePort). Register state is guarded by the library mutex; the acquisition
// thread gets its share through Stream::update and the atomics.
class Device : public ModulePort {
 public:
  Device(Interface& parent, DeviceEntry entry, const Settings& settings, bool readOnly);
  ~Device() override;

  Interface& parent() const { return parent_; }
  const DeviceEntry& entry() const { return entry_; }
  bool readOnly() const { return readOnly_; }
  FrameLayout layout() const;
  LiveSettings live() const;
  const DescriptionFile& descriptionFile() const;

  PortInfo portInfo() const override;

  void readRemote(uint64_t address, void* buffer, size_t size) const;
  void writeRemote(uint64_t address, const void* buffer, size_t size);

  std::shared_ptr<RemotePort> remote;
  std::shared_ptr<Stream> stream;  // when open

  // AcquisitionStop, or the end of a SingleFrame/MultiFrame run, holds the sensor
  // until AcquisitionStart or DSStartAcquisition.
  std::atomic<bool> paused{false};
  std::atomic<uint64_t> frameCounter{0};

 protected:
  std::string moduleId() const override { return entry_.id; }
  uint32_t childCount() const override { return 1; }

 private:
  bool parametersLocked() const;
  void changed() const;  // hands the live settings to the stream
  uint32_t sensorWidth() const;
  uint32_t sensorHeight() const;
  uint32_t widthMax() const { return sensorWidth() / s_.geometry.binningHorizontal; }
  uint32_t heightMax() const { return sensorHeight() / s_.geometry.binningVertical; }
  void writeFormat(uint64_t address, uint32_t value);
  void writeImageControl(uint32_t value);
  void command(uint64_t address);

  Interface& parent_;
  const DeviceEntry entry_;
  const bool readOnly_;
  const Settings& start_;
  CameraSettings s_;
  uint32_t tlParamsLocked_ = 0;
  uint32_t gainSelector_ = reg::kGainAll;
  uint32_t chunkSelector_ = reg::kChunkTimestamp;
  uint32_t userSetSelector_ = 0;
  uint64_t latchedTimestamp_ = 0;
};

class RemotePort : public Port {
 public:
  explicit RemotePort(Device& device) : Port(Kind::kRemotePort), device_(device) {}

  PortInfo portInfo() const override;
  void read(uint64_t address, void* buffer, size_t size) const override {
    device_.readRemote(address, buffer, size);
  }
  void write(uint64_t address, const void* buffer, size_t size) override {
    device_.writeRemote(address, buffer, size);
  }
  const DescriptionFile* description() const override { return &device_.descriptionFile(); }

 private:
  Device& device_;
};

InfoValue systemInfo(int32_t cmd);
InfoValue interfaceInfo(int32_t cmd);
// accessStatus: the DEVICE_ACCESS_STATUS the device has right now.
InfoValue deviceInfo(const DeviceEntry& entry, int32_t cmd, int32_t accessStatus);
InfoValue portInfoValue(const PortInfo& info, int32_t cmd);
InfoValue urlInfo(const DescriptionFile& file, int32_t cmd);

}  // namespace grabkit::sim

#endif

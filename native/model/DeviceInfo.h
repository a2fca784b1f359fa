// A device that an interface listed but nobody opened.
#ifndef GRABKIT_MODEL_DEVICEINFO_H
#define GRABKIT_MODEL_DEVICEINFO_H

#include <cstdint>
#include <memory>
#include <string>

namespace Grabkit {

class ProducerFunctions;
class TLInterface;
class Device;

class DeviceInfo {
 public:
  DeviceInfo(std::shared_ptr<TLInterface> tlInterface, std::string id);
  ~DeviceInfo();
  DeviceInfo(const DeviceInfo&) = delete;
  DeviceInfo& operator=(const DeviceInfo&) = delete;

  // The stored ID: works after the interface closed.
  std::string getID() const { return id_; }
  std::string getInfoString(int32_t cmd) const;
  std::string getVendor() const;
  std::string getModel() const;
  std::string getTransportLayerType() const;
  std::string getDisplayName() const;
  std::string getUserDefinedName() const;
  std::string getSerialNumber() const;
  std::string getVersion() const;
  int32_t getAccessStatus() const;
  // Opens again at each call; the device keeps no link to this record.
  std::shared_ptr<Device> open(int32_t flags) const;

 private:
  std::shared_ptr<TLInterface> tlInterface_;

 public:
  std::shared_ptr<ProducerFunctions> callTarget() const;
  void enterCall() const;
  void leaveCall() const;
  std::string id_;
};

}  // namespace Grabkit

#endif

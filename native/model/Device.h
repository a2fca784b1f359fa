// An opened device module.
#ifndef GRABKIT_MODEL_DEVICE_H
#define GRABKIT_MODEL_DEVICE_H

#include <cstdint>
#include <string>
#include <vector>

#include "Module.h"
#include "TLInterface.h"

namespace Grabkit {

class DataStream;
class Port;

class Device : public Module<Device, TLInterface> {
 public:
  static constexpr const char* kName = "Device";
  static constexpr const char* kAncestorClosed = "Interface is closed, cannot access device";
  static constexpr const char* kHandleClosed = "Device is closed, cannot return handle";
  static GC_ERROR closeInProducer(DEV_HANDLE handle) { return DevClose(handle); }

  // Wraps a handle; closing or destroying the object closes it in the producer.
  Device(std::shared_ptr<TLInterface> tlInterface, DEV_HANDLE handle)
      : Module(std::move(tlInterface), handle) {}

  const std::shared_ptr<TLInterface>& tlInterface() const { return parent(); }

  std::string getInfoString(int32_t cmd) const;
  std::string getID() const;
  std::string getVendor() const;
  std::string getModel() const;
  std::string getTransportLayerType() const;
  std::string getDisplayName() const;
  std::string getUserDefinedName() const;
  std::string getSerialNumber() const;
  std::string getVersion() const;
  int32_t getAccessStatus() const;
  std::vector<std::string> getDataStreamIDs() const;
  // Opens again at each call.
  std::shared_ptr<DataStream> openDataStream(std::string id);
  // Asks the producer's DevGetPort at each call.
  std::shared_ptr<Port> getPort();
};

}  // namespace Grabkit

#endif

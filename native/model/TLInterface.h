// An opened interface module.
#ifndef GRABKIT_MODEL_TLINTERFACE_H
#define GRABKIT_MODEL_TLINTERFACE_H

#include <cstdint>
#include <string>
#include <vector>

#include "Module.h"
#include "TransportLayer.h"

namespace Grabkit {

class DeviceInfo;
class Port;

class TLInterface : public Module<TLInterface, TransportLayer> {
 public:
  static constexpr const char* kName = "TLInterface";
  static constexpr const char* kAncestorClosed =
      "TransportLayer is closed, cannot access TLInterface";
  static constexpr const char* kHandleClosed = "Interface is closed, cannot return handle";
  static GC_ERROR closeInProducer(IF_HANDLE handle) { return IFClose(handle); }

  // Wraps a handle; closing or destroying the object closes it in the producer.
  TLInterface(std::shared_ptr<TransportLayer> transportLayer, IF_HANDLE handle)
      : Module(std::move(transportLayer), handle) {}

  const std::shared_ptr<TransportLayer>& transportLayer() const { return parent(); }

  std::string getInfoString(int32_t cmd) const;
  // What the producer answers now, not the ID the interface was opened with.
  std::string getID() const;
  std::string getDisplayName() const;
  std::string getTransportLayerType() const;
  bool updateDeviceList(uint64_t timeout);
  // New records at each call; the producer's list is not refreshed.
  std::vector<std::shared_ptr<DeviceInfo>> impl_getDeviceList();
  std::shared_ptr<Port> getPort();
};

}  // namespace Grabkit

#endif

// The opened system module.
#ifndef GRABKIT_MODEL_TRANSPORTLAYER_H
#define GRABKIT_MODEL_TRANSPORTLAYER_H

#include <cstdint>
#include <vector>

#include "GenTLProducer.h"
#include "Module.h"

namespace Grabkit {

class InterfaceInfo;
class Port;

class TransportLayer : public Module<TransportLayer, GenTLProducer> {
 public:
  static constexpr const char* kName = "TransportLayer";
  static constexpr const char* kAncestorClosed =
      "GenTL lib is closed, cannot access TransportLayer";
  static constexpr const char* kHandleClosed = "TransportLayer is closed, cannot return handle";
  static GC_ERROR closeInProducer(TL_HANDLE handle) { return TLClose(handle); }

  // Wraps a handle; closing or destroying the object closes it in the producer.
  TransportLayer(std::shared_ptr<GenTLProducer> producer, TL_HANDLE handle)
      : Module(std::move(producer), handle) {}

  const std::shared_ptr<GenTLProducer>& producer() const { return parent(); }

  // The producer's changed flag.
  bool updateInterfacesList(uint64_t timeout);
  // New records at each call; the producer's list is not refreshed.
  std::vector<std::shared_ptr<InterfaceInfo>> impl_getInterfaces();
  std::shared_ptr<Port> getPort();
};

}  // namespace Grabkit

#endif

// The opened system module.
#ifndef GRABKIT_MODEL_TRANSPORTLAYER_H
#define GRABKIT_MODEL_TRANSPORTLAYER_H

#include <cstdint>

#include "GenTLProducer.h"
#include "Module.h"

namespace Grabkit {

class TransportLayer : public Module<TransportLayer, GenTLProducer> {
 public:
  static constexpr const char* kName = "TransportLayer";
  static constexpr const char* kCloseName = "TLClose";
  static constexpr const char* kAncestorClosed =
      "GenTL lib is closed, cannot access TransportLayer";
  static constexpr const char* kHandleClosed = "TransportLayer is closed, cannot return handle";
  static GC_ERROR closeInProducer(TL_HANDLE handle) { return GRABKIT_PRODUCER(TLClose)(handle); }

  // Wraps a handle; closing or destroying the object closes it in the producer.
  TransportLayer(std::shared_ptr<GenTLProducer> producer, TL_HANDLE handle)
      : Module(std::move(producer), handle) {}

  const std::shared_ptr<GenTLProducer>& producer() const { return parent(); }

  // The producer's changed flag.
  bool updateInterfacesList(uint64_t timeout);
};

}  // namespace Grabkit

#endif

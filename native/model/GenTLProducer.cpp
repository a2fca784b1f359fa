#include "GenTLProducer.h"

#include <iostream>

#include "../diag/Trace.h"
#include "../producer/CallLayer.h"
#include "../producer/Producer.h"
#include "TransportLayer.h"

namespace Grabkit {

namespace {
// Serves only the trace lines; never reset.
int32_t instanceCounter = 0;
}  // namespace

std::shared_ptr<GenTLProducer> GenTLProducer::load(std::string path) {
  if (GCLibIsInited()) {
    throw LoadLibraryException("GenTL producer already loaded. Close the previous instance first.");
  }
  return std::shared_ptr<GenTLProducer>(new GenTLProducer(std::move(path)));
}

GenTLProducer::GenTLProducer(std::string path) : instance_(instanceCounter++) {
  trace("GenTLProducer(%d)", instance_);
  // The producer's own GCInitLib code is dropped: a failing init still loads.
  GCInitLib(std::move(path));
}

GenTLProducer::~GenTLProducer() {
  trace("~GenTLProducer(%d)", instance_);
  try {
    close();
  } catch (const std::exception& e) {
    // Runs while a holder or a parent link is released; ending the process
    // for a library that would not unload helps nobody.
    std::cerr << "Grabkit: closing the producer failed: " << e.what() << std::endl;
  }
}

void GenTLProducer::close() {
  if (!isClosed()) GCCloseLib();
  closed_ = true;
}

bool GenTLProducer::isClosed() const {
  return closed_ || !GCLibIsInited();
}

bool GenTLProducer::checkValid() const {
  if (!GCLibIsInited()) throw ClosedException("GenTL lib is closed, cannot access GenTLProducer");
  return !closed_;
}

std::shared_ptr<TransportLayer> GenTLProducer::openTransportLayer() {
  std::shared_ptr<GenTLProducer> self = shared_from_this();
  // Without a loaded library there is no TLOpen to call.
  if (!GCLibIsInited()) checkValid();
  TL_HANDLE handle = TLOpen();
  return std::shared_ptr<TransportLayer>(new TransportLayer(std::move(self), handle));
}

}  // namespace Grabkit

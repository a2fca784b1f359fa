#include "GenTLProducer.h"

#include <iostream>

#include "../diag/Trace.h"
#include "../producer/CallLayer.h"
#include "../producer/Producer.h"
#include "TransportLayer.h"

namespace Grabkit {

namespace {
// Serves only the trace lines; never reset.
std::atomic<int32_t> instanceCounter{0};

constexpr const char* kAlreadyLoaded =
    "GenTL producer already loaded. Close the previous instance first.";
}  // namespace

std::shared_ptr<GenTLProducer> GenTLProducer::load(std::string path) {
  if (GCLibIsInited()) throw LoadLibraryException(kAlreadyLoaded);
  return std::shared_ptr<GenTLProducer>(new GenTLProducer(std::move(path), false));
}

std::shared_ptr<GenTLProducer> GenTLProducer::open(std::string path) {
  return std::shared_ptr<GenTLProducer>(new GenTLProducer(std::move(path), true));
}

GenTLProducer::GenTLProducer(std::string path, bool bound) : instance_(instanceCounter++) {
  trace("GenTLProducer(%d)", instance_);
  if (!bound) {
    // The producer's own GCInitLib code is dropped: a failing init still loads.
    // A load that throws (a file without GCInitLib) leaves nothing loaded.
    std::shared_ptr<ProducerFunctions> before = currentProducer();
    try {
      GCInitLib(std::move(path));
    } catch (...) {
      std::shared_ptr<ProducerFunctions> made = currentProducer();
      if (made && made != before) closeProducer(made);
      throw;
    }
    return;
  }
  load_ = openProducer(path);
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
  if (isClosed()) {
    closed_ = true;
    return;
  }
  if (closed_.exchange(true)) return;
  {
    // Calls in the tree that began before finish with the producer loaded.
    std::unique_lock<std::mutex> lock(activeMutex_);
    idle_.wait_for(lock, kCloseBound, [&] { return active_.load() == 0; });
  }
  if (load_) {
    releaseProducer(load_);
  } else {
    GCCloseLib();
  }
}

bool GenTLProducer::isClosed() const {
  return closed_ || (load_ ? !load_->inited() : !GCLibIsInited());
}

bool GenTLProducer::checkValid() const {
  if (load_ ? !load_->inited() : !GCLibIsInited()) {
    throw ClosedException("GenTL lib is closed, cannot access GenTLProducer");
  }
  return !closed_;
}

void GenTLProducer::leaveCall() const {
  if (active_.fetch_sub(1) == 1) {
    std::lock_guard<std::mutex> lock(activeMutex_);
    idle_.notify_all();
  }
}

std::shared_ptr<ProducerFunctions> GenTLProducer::callTarget() const {
  return load_ ? load_ : currentProducer();
}

std::shared_ptr<TransportLayer> GenTLProducer::openTransportLayer() {
  std::shared_ptr<GenTLProducer> self = shared_from_this();
  // Without a loaded library there is no TLOpen to call.
  if (load_ ? !load_->inited() : !GCLibIsInited()) checkValid();
  ProducerScope scope(callTarget());
  TL_HANDLE handle = TLOpen();
  return std::shared_ptr<TransportLayer>(new TransportLayer(std::move(self), handle));
}

}  // namespace Grabkit

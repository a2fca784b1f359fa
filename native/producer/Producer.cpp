#include "Producer.h"

#include <dlfcn.h>

#include <iostream>

#include "../diag/Trace.h"

namespace Grabkit {

ProducerFunctions producerFunctions;

int32_t GCInitLib(std::string path) {
  trace("GCInitLib()");
  ProducerFunctions& p = producerFunctions;
  p.module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (p.module == nullptr) throw LoadLibraryException("Failed to load CTI file");
#define GRABKIT_RESOLVE(name, params)                         \
  p.name = reinterpret_cast<P##name>(dlsym(p.module, #name)); \
  if (p.name == nullptr) std::cerr << "GenTL producer does not implement " #name << std::endl;
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_RESOLVE)
#undef GRABKIT_RESOLVE
  p.inited = true;
  return GRABKIT_PRODUCER(GCInitLib)();
}

int32_t GCCloseLib() {
  trace("GCCloseLib()");
  ProducerFunctions& p = producerFunctions;
  PGCCloseLib close = GRABKIT_PRODUCER(GCCloseLib);
  p.inited = false;
  int32_t code = close();
  void* module = p.module;
  p = ProducerFunctions{};
  // A failed load over a loaded producer left no module to release.
  if (module != nullptr && dlclose(module) != 0) {
    p.module = module;
    throw LoadLibraryException("Could not free library");
  }
  return code;
}

bool GCLibIsInited() {
  return producerFunctions.inited;
}

void throwMissingEntry(const char* name) {
  if (!producerFunctions.inited) {
    throw NotInitializedException(std::string("No GenTL producer is loaded, cannot call ") + name);
  }
  throw NotImplementedException(std::string("GenTL producer does not implement ") + name);
}

}  // namespace Grabkit

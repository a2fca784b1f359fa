#ifndef GRABKIT_SIM_TESTS_GENTL_MODULE_H
#define GRABKIT_SIM_TESTS_GENTL_MODULE_H

#include <cstdio>
#include <cstdlib>

#include "GenTL.h"
#include "platform/Platform.h"

// The entry points of a producer, resolved by name from its .cti file the way any
// GenTL consumer does it; the producer is never linked in.
struct GenTLModule {
#define GRABKIT_SIM_MEMBER(name, params) P##name name = nullptr;
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_SIM_MEMBER)
#undef GRABKIT_SIM_MEMBER

  // Loads the module once per process and keeps it loaded. A missing file or entry
  // point aborts: nothing else could be tested.
  static const GenTLModule& load(const char* path) {
    static const GenTLModule module = [path] {
      GenTLModule m;
      void* library = Grabkit::Platform::openLibrary(path);
      if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path,
                     Grabkit::Platform::loadError(path).c_str());
        std::abort();
      }
#define GRABKIT_SIM_RESOLVE(name, params)                                            \
  m.name = reinterpret_cast<P##name>(Grabkit::Platform::findSymbol(library, #name)); \
  if (m.name == nullptr) {                                                           \
    std::fprintf(stderr, "%s does not export %s\n", path, #name);                    \
    std::abort();                                                                    \
  }
      GRABKIT_GENTL_FUNCTIONS(GRABKIT_SIM_RESOLVE)
#undef GRABKIT_SIM_RESOLVE
      return m;
    }();
    return module;
  }
};

#endif

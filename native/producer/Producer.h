// The one loaded GenTL producer: its module, its 57 entry points and the
// inited flag.
#ifndef GRABKIT_PRODUCER_PRODUCER_H
#define GRABKIT_PRODUCER_PRODUCER_H

#include <string>

#include "Errors.h"
#include "GenTL.h"

namespace Grabkit {

struct ProducerFunctions {
  void* module = nullptr;
#define GRABKIT_ENTRY(name, params) P##name name = nullptr;
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_ENTRY)
#undef GRABKIT_ENTRY
  bool inited = false;
};

// Process-wide; loading and closing are ordered by the caller.
extern ProducerFunctions producerFunctions;

// Loads the file, resolves the 57 functions (one standard-error line per
// missing one) and returns the code of the producer's GCInitLib.
int32_t GCInitLib(std::string path);
// Runs the producer's GCCloseLib, forgets the entries, releases the file.
int32_t GCCloseLib();
bool GCLibIsInited();

// Reports an empty entry instead of calling through it: nothing loaded, or the
// producer lacks the function.
[[noreturn]] void throwMissingEntry(const char* name);

template <typename Fn>
inline Fn checkedEntry(Fn fn, const char* name) {
  if (fn == nullptr) throwMissingEntry(name);
  return fn;
}

}  // namespace Grabkit

// The producer's function `name`, or the exception that says why it can't be
// called: GRABKIT_PRODUCER(TLOpen)(&handle).
#define GRABKIT_PRODUCER(name) ::Grabkit::checkedEntry(::Grabkit::producerFunctions.name, #name)

#endif

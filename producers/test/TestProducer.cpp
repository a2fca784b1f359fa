// A GenTL producer for tests: it records every call by name and answers with
// a code that the test scripts per function (success unless told otherwise).
// Tests reach the control functions below by loading the same file.
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "GenTL.h"
#include "TestControl.h"

namespace {
std::mutex mutex;
std::map<std::string, GC_ERROR> results;
std::string callLog;

GC_ERROR answer(const char* function) {
  std::lock_guard<std::mutex> lock(mutex);
  callLog += function;
  callLog += '\n';
  auto it = results.find(function);
  return it == results.end() ? GC_ERR_SUCCESS : it->second;
}
}  // namespace

extern "C" {

#define GRABKIT_TEST_FUNCTION(name, params) \
  GC_ERROR name params {                    \
    return answer(#name);                   \
  }
GRABKIT_GENTL_FUNCTIONS(GRABKIT_TEST_FUNCTION)
#undef GRABKIT_TEST_FUNCTION

void GrabkitTest_reset() {
  std::lock_guard<std::mutex> lock(mutex);
  results.clear();
  callLog.clear();
}

void GrabkitTest_setResult(const char* function, GC_ERROR code) {
  std::lock_guard<std::mutex> lock(mutex);
  results[function] = code;
}

size_t GrabkitTest_callLog(char* text, size_t capacity) {
  std::lock_guard<std::mutex> lock(mutex);
  if (text != nullptr && capacity > 0) {
    size_t n = std::min(capacity - 1, callLog.size());
    memcpy(text, callLog.data(), n);
    text[n] = '\0';
  }
  return callLog.size() + 1;
}

}  // extern "C"

// Access to the test producer's control functions from native tests: opening
// the same path shares the copy that the library loads.
#ifndef GRABKIT_TESTS_TESTPRODUCER_H
#define GRABKIT_TESTS_TESTPRODUCER_H

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "GenTL.h"
#include "TestControl.h"
#include "platform/Platform.h"

class TestProducer {
 public:
  explicit TestProducer(const char* path = GRABKIT_TEST_CTI)
      : module_(Grabkit::Platform::openLibrary(path)) {
    EXPECT_NE(module_, nullptr) << Grabkit::Platform::loadError(path);
    reset();
  }
  ~TestProducer() { Grabkit::Platform::closeLibrary(module_); }
  TestProducer(const TestProducer&) = delete;
  TestProducer& operator=(const TestProducer&) = delete;

  void reset() { fn<void (*)()>("GrabkitTest_reset")(); }
  void setResult(const char* function, GC_ERROR code) {
    fn<void (*)(const char*, GC_ERROR)>("GrabkitTest_setResult")(function, code);
  }
  // What `function` answers for `selector`: its code and the bytes it writes.
  void answer(const char* function, int64_t selector, GC_ERROR code, const std::string& output) {
    fn<decltype(&GrabkitTest_setAnswer)>("GrabkitTest_setAnswer")(function, selector, code,
                                                                  output.data(), output.size());
  }
  // Calls of `function` block inside the producer until release().
  void hold(const char* function) { fn<void (*)(const char*)>("GrabkitTest_hold")(function); }
  void release(const char* function) { fn<void (*)(const char*)>("GrabkitTest_release")(function); }
  bool awaitEntered(const char* function, int count) {
    return fn<decltype(&GrabkitTest_awaitEntered)>("GrabkitTest_awaitEntered")(function, count,
                                                                               10000);
  }
  std::string callLog() { return log("GrabkitTest_callLog"); }
  std::string argumentLog() { return log("GrabkitTest_argumentLog"); }

  // The bytes of a value as a producer writes them.
  template <typename T>
  static std::string bytes(T value) {
    std::string b(sizeof(T), '\0');
    memcpy(b.data(), &value, sizeof(T));
    return b;
  }

 private:
  std::string log(const char* name) {
    auto log = fn<size_t (*)(char*, size_t)>(name);
    std::string text(log(nullptr, 0), '\0');
    log(text.data(), text.size());
    text.pop_back();
    return text;
  }
  template <typename F>
  F fn(const char* name) {
    return reinterpret_cast<F>(Grabkit::Platform::findSymbol(module_, name));
  }
  void* module_;
};

#endif

// Access to the test producer's control functions from native tests: opening
// the same path shares the copy that the library loads.
#ifndef GRABKIT_TESTS_TESTPRODUCER_H
#define GRABKIT_TESTS_TESTPRODUCER_H

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "GenTL.h"

class TestProducer {
 public:
  explicit TestProducer(const char* path = GRABKIT_TEST_CTI)
      : module_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    EXPECT_NE(module_, nullptr) << dlerror();
    reset();
  }
  ~TestProducer() { dlclose(module_); }
  TestProducer(const TestProducer&) = delete;
  TestProducer& operator=(const TestProducer&) = delete;

  void reset() { fn<void (*)()>("GrabkitTest_reset")(); }
  void setResult(const char* function, GC_ERROR code) {
    fn<void (*)(const char*, GC_ERROR)>("GrabkitTest_setResult")(function, code);
  }
  std::string callLog() {
    auto log = fn<size_t (*)(char*, size_t)>("GrabkitTest_callLog");
    std::string text(log(nullptr, 0), '\0');
    log(text.data(), text.size());
    text.pop_back();
    return text;
  }

 private:
  template <typename F>
  F fn(const char* name) {
    return reinterpret_cast<F>(dlsym(module_, name));
  }
  void* module_;
};

#endif

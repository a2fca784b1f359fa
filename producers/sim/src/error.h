#ifndef GRABKIT_SIM_ERROR_H
#define GRABKIT_SIM_ERROR_H

#include <exception>
#include <string>
#include <utility>

#include "GenTL.h"

namespace grabkit::sim {

// Failures travel as exceptions from wherever they are detected up to the exported
// entry point, which turns them into its return code and keeps the text for
// GCGetLastError. Nothing below the entry points has to thread codes through.
class Failure : public std::exception {
 public:
  Failure(GC_ERROR code, std::string text) : code_(code), text_(std::move(text)) {}
  GC_ERROR code() const { return code_; }
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  GC_ERROR code_;
  std::string text_;
};

[[noreturn]] inline void fail(GC_ERROR code, std::string text) {
  throw Failure(code, std::move(text));
}

// Pointers the caller must supply.
template <class T>
T* need(T* pointer, const char* name) {
  if (pointer == nullptr) fail(GC_ERR_INVALID_PARAMETER, std::string(name) + " is NULL");
  return pointer;
}

}  // namespace grabkit::sim

#endif

#include "Handles.h"

#include <string>

#include "../producer/Errors.h"

namespace Grabkit::Jni {

int32_t HandleTable::toJava(void* handle) {
  intptr_t wide = reinterpret_cast<intptr_t>(handle);
  int32_t narrow = static_cast<int32_t>(wide);
  if (narrow == wide && !isToken(narrow)) return narrow;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = tokens_.find(handle);
  if (found != tokens_.end()) return found->second;
  if (handles_.size() >= capacity_) {
    throw ResourceExhaustedException("No token left for the handle " + std::to_string(wide) + ": " +
                                     std::to_string(capacity_) + " wide handles are in use");
  }
  int32_t token = static_cast<int32_t>(static_cast<uint32_t>(kFirstToken) + handles_.size());
  handles_.push_back(handle);
  tokens_.emplace(handle, token);
  return token;
}

void* HandleTable::fromJava(int32_t value) const {
  if (!isToken(value)) return reinterpret_cast<void*>(static_cast<intptr_t>(value));
  size_t index = static_cast<uint32_t>(value) - static_cast<uint32_t>(kFirstToken);
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= handles_.size()) {
    throw InvalidHandleException("Handle " + std::to_string(value) +
                                 " was never handed out to Java");
  }
  return handles_[index];
}

namespace {
HandleTable& processTable() {
  static HandleTable table;
  return table;
}
}  // namespace

int32_t toJavaHandle(void* handle) {
  return processTable().toJava(handle);
}

void* fromJavaHandle(int32_t value) {
  return processTable().fromJava(value);
}

}  // namespace Grabkit::Jni

#include "Handles.h"

#include <string>

#include "../producer/Errors.h"
#include "../producer/Producer.h"

namespace Grabkit::Jni {

int32_t HandleTable::toJava(void* handle, const void* owner) {
  intptr_t wide = reinterpret_cast<intptr_t>(handle);
  int32_t narrow = static_cast<int32_t>(wide);
  if (narrow == wide && !isToken(narrow)) return narrow;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = tokens_.find({owner, handle});
  if (found != tokens_.end()) return found->second;
  uint32_t index;
  if (slots_.size() < capacity_) {
    index = static_cast<uint32_t>(slots_.size());
    slots_.emplace_back();
  } else if (!free_.empty()) {
    index = free_.front();
    free_.pop_front();
  } else {
    throw ResourceExhaustedException("No token left for the handle " + std::to_string(wide) + ": " +
                                     std::to_string(capacity_) + " wide handles are in use");
  }
  slots_[index] = Slot{handle, owner, true};
  int32_t token = static_cast<int32_t>(static_cast<uint32_t>(kFirstToken) + index);
  tokens_.emplace(std::make_pair(owner, handle), token);
  return token;
}

void* HandleTable::fromJava(int32_t value) const {
  if (!isToken(value)) return reinterpret_cast<void*>(static_cast<intptr_t>(value));
  size_t index = static_cast<uint32_t>(value) - static_cast<uint32_t>(kFirstToken);
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= slots_.size()) {
    throw InvalidHandleException("Handle " + std::to_string(value) +
                                 " was never handed out to Java");
  }
  if (!slots_[index].used) {
    throw InvalidHandleException("Handle " + std::to_string(value) +
                                 " stands for a module or buffer that was closed or revoked");
  }
  return slots_[index].handle;
}

void HandleTable::retire(uint32_t index) {
  slots_[index].used = false;
  free_.push_back(index);
}

void HandleTable::release(const void* owner, void* handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = tokens_.find({owner, handle});
  if (found == tokens_.end()) return;
  retire(static_cast<uint32_t>(found->second) - static_cast<uint32_t>(kFirstToken));
  tokens_.erase(found);
}

void HandleTable::releaseAll(const void* owner) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = tokens_.lower_bound({owner, nullptr});
  while (it != tokens_.end() && it->first.first == owner) {
    retire(static_cast<uint32_t>(it->second) - static_cast<uint32_t>(kFirstToken));
    it = tokens_.erase(it);
  }
}

size_t HandleTable::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tokens_.size();
}

namespace {
HandleTable& processTable() {
  static HandleTable table;
  return table;
}
}  // namespace

int32_t toJavaHandle(void* handle) {
  return processTable().toJava(handle, producerInScope().get());
}

void* fromJavaHandle(int32_t value) {
  return processTable().fromJava(value);
}

void releaseJavaHandle(const void* owner, void* handle) {
  processTable().release(owner, handle);
}

void releaseJavaHandles(const void* owner) {
  processTable().releaseAll(owner);
}

}  // namespace Grabkit::Jni

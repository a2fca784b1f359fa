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
  uint32_t issued = issued_.load(std::memory_order_relaxed);
  if (issued < capacity_) {
    index = issued;
    auto& chunk = chunks_[index >> kChunkBits];
    if (chunk.load(std::memory_order_relaxed) == nullptr) {
      chunk.store(new Slot[kChunkSlots], std::memory_order_release);
    }
  } else if (!free_.empty()) {
    index = free_.front();
    free_.pop_front();
  } else {
    throw ResourceExhaustedException("No token left for the handle " + std::to_string(wide) + ": " +
                                     std::to_string(capacity_) + " wide handles are in use");
  }
  Slot& s = slot(index);
  s.handle.store(handle, std::memory_order_relaxed);
  s.used.store(true, std::memory_order_release);
  if (index == issued) issued_.store(issued + 1, std::memory_order_release);
  int32_t token = static_cast<int32_t>(static_cast<uint32_t>(kFirstToken) + index);
  tokens_.emplace(std::make_pair(owner, handle), token);
  return token;
}

void* HandleTable::fromJava(int32_t value) const {
  if (!isToken(value)) return reinterpret_cast<void*>(static_cast<intptr_t>(value));
  uint32_t index = static_cast<uint32_t>(value) - static_cast<uint32_t>(kFirstToken);
  if (index >= issued_.load(std::memory_order_acquire)) {
    throw InvalidHandleException("Handle " + std::to_string(value) +
                                 " was never handed out to Java");
  }
  const Slot& s = slot(index);
  if (!s.used.load(std::memory_order_acquire)) {
    throw InvalidHandleException("Handle " + std::to_string(value) +
                                 " stands for a module or buffer that was closed or revoked");
  }
  return s.handle.load(std::memory_order_relaxed);
}

HandleTable::~HandleTable() {
  for (uint32_t c = 0; c < kChunks; ++c) delete[] chunks_[c].load(std::memory_order_relaxed);
}

void HandleTable::retire(uint32_t index) {
  slot(index).used.store(false, std::memory_order_release);
  free_.push_back(index);
}

int32_t HandleTable::tokenOf(const void* owner, void* handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = tokens_.find({owner, handle});
  return found == tokens_.end() ? 0 : found->second;
}

void HandleTable::retire(const void* owner, void* handle, int32_t token) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = tokens_.find({owner, handle});
  if (found == tokens_.end() || found->second != token) return;
  retire(static_cast<uint32_t>(token) - static_cast<uint32_t>(kFirstToken));
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
// Never destroyed, like the object table: producers' records may release
// their handles from other statics' destructors at exit.
HandleTable& processTable() {
  static HandleTable* table = new HandleTable;
  return *table;
}
}  // namespace

int32_t toJavaHandle(void* handle) {
  return processTable().toJava(handle, producerInScope().get());
}

void* fromJavaHandle(int32_t value) {
  return processTable().fromJava(value);
}

void releaseJavaHandles(const void* owner) {
  processTable().releaseAll(owner);
}

int32_t javaTokenOf(const void* owner, void* handle) {
  return processTable().tokenOf(owner, handle);
}

void retireJavaToken(const void* owner, void* handle, int32_t token) {
  processTable().retire(owner, handle, token);
}

}  // namespace Grabkit::Jni

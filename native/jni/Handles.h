// GenTL handles and user values as Java ints.
//
// The low-level exports carry handles in a Java int, but on 64-bit systems a
// producer's handle is usually a heap pointer that needs more bits. A value
// whose sign extension gives it back crosses unchanged; any other value is
// exchanged for a token, a negative int near INT32_MIN, and the token is
// translated back when Java passes it in. No user-space pointer of x86_64
// sign-extends from that range, so tokens and plain values never meet. A
// truncated handle therefore never reaches a producer: an int of the token
// range that was never handed out is refused before any producer call.
//
// A token is retired when the producer has closed or revoked what it stands
// for, and all tokens of a load when the load is closed, so a long-running
// process that opens and closes buffers never runs out. Freed tokens are
// reused oldest first, which keeps a stale token from meeting a new handle for
// as long as possible; a token that stands for nothing is refused.
#ifndef GRABKIT_JNI_HANDLES_H
#define GRABKIT_JNI_HANDLES_H

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace Grabkit::Jni {

// The reserved range: kFirstToken up to kFirstToken + kTokenRange - 1.
constexpr int32_t kFirstToken = INT32_MIN;
constexpr uint32_t kTokenRange = UINT32_C(1) << 24;

inline bool isToken(int32_t value) {
  return static_cast<uint32_t>(value) - static_cast<uint32_t>(kFirstToken) < kTokenRange;
}

// A two-way table between wide handles and tokens; safe for any thread.
// Translating a token back (every call that passes a handle) takes no lock:
// slots live in chunks that never move or go away while the table lives, and
// a slot's handle and state are atomics. Issuing and retiring tokens, rare by
// comparison, take the lock.
class HandleTable {
 public:
  // `capacity` tokens at most are issued (tests use a small one).
  explicit HandleTable(uint32_t capacity = kTokenRange) : capacity_(capacity) {}
  ~HandleTable();
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  // The int that stands for `handle` of the load `owner` in Java. Throws
  // ResourceExhaustedException when every token is taken.
  int32_t toJava(void* handle, const void* owner = nullptr);
  // The handle behind an int from Java. Throws InvalidHandleException for a
  // token that stands for nothing.
  void* fromJava(int32_t value) const;
  // The token of `handle` now, or 0. A close notes it before the producer is
  // asked and retires that one token once the producer has let go: by then a
  // new object may have been given the same value, and a token of its own.
  int32_t tokenOf(const void* owner, void* handle) const;
  // Retires `token` if it still stands for `handle`.
  void retire(const void* owner, void* handle, int32_t token);
  // Retires every token of `owner`.
  void releaseAll(const void* owner);
  // Tokens in use.
  size_t size() const;

 private:
  struct Slot {
    std::atomic<void*> handle{nullptr};
    std::atomic<bool> used{false};
  };
  static constexpr uint32_t kChunkBits = 12;
  static constexpr uint32_t kChunkSlots = UINT32_C(1) << kChunkBits;
  static constexpr uint32_t kChunks = kTokenRange / kChunkSlots;

  Slot& slot(uint32_t index) const {
    return chunks_[index >> kChunkBits].load(std::memory_order_acquire)[index & (kChunkSlots - 1)];
  }
  void retire(uint32_t index);

  const uint32_t capacity_;
  mutable std::mutex mutex_;  // for the writers
  std::map<std::pair<const void*, void*>, int32_t> tokens_;
  // Slot token - kFirstToken; the first `issued_` exist.
  std::unique_ptr<std::atomic<Slot*>[]> chunks_ { new std::atomic<Slot*>[ kChunks ]() };
  std::atomic<uint32_t> issued_{0};
  std::deque<uint32_t> free_;
};

// Through the one process-wide table: every export that passes a GenTL handle
// (systems, interfaces, devices, streams, buffers, ports, events) uses these.
// A handle belongs to the load that this thread's calls go to.
int32_t toJavaHandle(void* handle);
void* fromJavaHandle(int32_t value);
void releaseJavaHandles(const void* owner);
int32_t javaTokenOf(const void* owner, void* handle);
void retireJavaToken(const void* owner, void* handle, int32_t token);
// A handle the producer just opened, as a Java int; when no token is left the
// opened object is undone (closed in the producer) before the exception
// leaves, so that nothing stays open that Java can't name.
template <typename Undo>
int32_t handOut(void* handle, Undo undo) {
  try {
    return toJavaHandle(handle);
  } catch (...) {
    try {
      undo(handle);
    } catch (...) {
      // The reason the handle can't be handed out matters more.
    }
    throw;
  }
}

// User values (the user pointer of an announced buffer) and buffer addresses
// are Java's own numbers or only informative: sign-extended in, low 32 bits
// out, never through the table.
inline void* fromJavaUser(int32_t value) {
  return reinterpret_cast<void*>(static_cast<intptr_t>(value));
}
inline int32_t toJavaUser(void* value) {
  return static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value)));
}

}  // namespace Grabkit::Jni

#endif

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
// Tokens are never retired: a handle that the producer closed or revoked keeps
// its token, so passing it again reaches the producer, which gives its own
// answer. The table grows by one entry per distinct wide value.
#ifndef GRABKIT_JNI_HANDLES_H
#define GRABKIT_JNI_HANDLES_H

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace Grabkit::Jni {

// The reserved range: kFirstToken up to kFirstToken + kTokenRange - 1.
constexpr int32_t kFirstToken = INT32_MIN;
constexpr uint32_t kTokenRange = UINT32_C(1) << 24;

inline bool isToken(int32_t value) {
  return static_cast<uint32_t>(value) - static_cast<uint32_t>(kFirstToken) < kTokenRange;
}

// A two-way table between wide handles and tokens; safe for any thread.
class HandleTable {
 public:
  // `capacity` tokens at most are issued (tests use a small one).
  explicit HandleTable(uint32_t capacity = kTokenRange) : capacity_(capacity) {}

  // The int that stands for `handle` in Java. Throws ResourceExhaustedException
  // when every token is taken.
  int32_t toJava(void* handle);
  // The handle behind an int from Java. Throws InvalidHandleException for a
  // token that this table never issued.
  void* fromJava(int32_t value) const;

 private:
  const uint32_t capacity_;
  mutable std::mutex mutex_;
  std::unordered_map<void*, int32_t> tokens_;
  std::vector<void*> handles_;  // handles_[token - kFirstToken]
};

// Through the one process-wide table: every export that passes a GenTL handle
// (systems, interfaces, devices, streams, buffers, ports, events) uses these.
int32_t toJavaHandle(void* handle);
void* fromJavaHandle(int32_t value);

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

// The messages between the isolating producer (the shim inside the
// application) and its helper process: length-prefixed byte strings on a
// stream socket, at most one file descriptor riding on the first byte.
#ifndef GRABKIT_ISOLATION_WIRE_H
#define GRABKIT_ISOLATION_WIRE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "GenTL.h"

namespace Grabkit::Isolation {

// One id per GenTL function, in the header's order.
enum class Fn : uint32_t {
#define GRABKIT_ISOLATION_ID(name, params) name,
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_ISOLATION_ID)
#undef GRABKIT_ISOLATION_ID
      kCount
};

// The code every call answers once the helper is gone, and its text is what
// GCGetLastError gives: the producer, the signal or exit status, its last words.
constexpr GC_ERROR kProducerCrashed = GC_ERR_CUSTOM_ID - 100;

// What a frame is read for after each delivery. The helper sends these along
// with a new-buffer event, so that reading a frame costs no further round trips.
constexpr BUFFER_INFO_CMD kPrefetched[] = {
    BUFFER_INFO_FRAMEID,       BUFFER_INFO_TIMESTAMP,   BUFFER_INFO_TIMESTAMP_NS,
    BUFFER_INFO_IS_INCOMPLETE, BUFFER_INFO_SIZE_FILLED, BUFFER_INFO_PAYLOADTYPE,
    BUFFER_INFO_WIDTH,         BUFFER_INFO_HEIGHT,      BUFFER_INFO_PIXELFORMAT,
    BUFFER_INFO_IMAGEOFFSET,   BUFFER_INFO_XPADDING};
// The largest prefetched value.
constexpr size_t kPrefetchedSize = 16;

// A message cannot be larger than this; anything larger is a broken peer.
constexpr uint32_t kMaxMessage = 1u << 28;

class Writer {
 public:
  Writer() { bytes_.reserve(128); }
  template <typename T>
  Writer& put(T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    append(&value, sizeof(T));
    return *this;
  }
  // A pointer-sized value of the other process, which this one never follows.
  Writer& handle(const void* h) { return put<uint64_t>(reinterpret_cast<uintptr_t>(h)); }
  // Bytes with their length; null and empty are told apart.
  Writer& blob(const void* data, size_t size) {
    put<uint8_t>(data != nullptr);
    put<uint64_t>(data != nullptr ? size : 0);
    if (data != nullptr && size > 0) append(data, size);
    return *this;
  }
  Writer& text(const char* s) { return blob(s, s != nullptr ? strlen(s) + 1 : 0); }
  const std::vector<unsigned char>& bytes() const { return bytes_; }
  void clear() { bytes_.clear(); }

 private:
  void append(const void* data, size_t size) {
    size_t at = bytes_.size();
    bytes_.resize(at + size);
    memcpy(bytes_.data() + at, data, size);
  }
  std::vector<unsigned char> bytes_;
};

// Reads what a Writer wrote; reading past the end sets failed() and gives zeros
// instead of touching memory, so a short message is an error, not a crash.
class Reader {
 public:
  Reader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  explicit Reader(const std::vector<unsigned char>& v) : Reader(v.data(), v.size()) {}

  template <typename T>
  T get() {
    T value{};
    if (size_ - pos_ < sizeof(T)) {
      failed_ = true;
      pos_ = size_;
      return value;
    }
    memcpy(&value, data_ + pos_, sizeof(T));
    pos_ += sizeof(T);
    return value;
  }
  void* handle() { return reinterpret_cast<void*>(static_cast<uintptr_t>(get<uint64_t>())); }
  // The bytes of a blob (null when the writer sent null), valid while the
  // message lives; `size` gets their count.
  const unsigned char* blob(size_t& size) {
    bool present = get<uint8_t>() != 0;
    uint64_t n = get<uint64_t>();
    size = 0;
    if (failed_ || !present) return nullptr;
    if (size_ - pos_ < n) {
      failed_ = true;
      pos_ = size_;
      return nullptr;
    }
    const unsigned char* p = data_ + pos_;
    pos_ += n;
    size = static_cast<size_t>(n);
    return p;
  }
  // A NUL-terminated text, or null when absent or not terminated.
  const char* text() {
    size_t n = 0;
    const unsigned char* p = blob(n);
    if (p == nullptr || n == 0 || p[n - 1] != 0) return nullptr;
    return reinterpret_cast<const char*>(p);
  }
  bool failed() const { return failed_; }

 private:
  const unsigned char* data_;
  size_t size_;
  size_t pos_ = 0;
  bool failed_ = false;
};

// Sends one message, with `fd` (when >= 0) attached. False when the peer is gone.
bool sendMessage(int socket, const std::vector<unsigned char>& payload, int fd = -1);

enum class Received { kMessage, kClosed, kTimeout, kBroken };

// Receives one message into `payload`; `fd` gets an attached descriptor or -1.
// `timeoutMs` < 0 waits without bound for the start of the message.
// `answered`: the peer sends nothing more before this message is answered, so
// the first read may take more than the header (one system call, not two).
Received receiveMessage(int socket, std::vector<unsigned char>& payload, int& fd,
                        int64_t timeoutMs = -1, bool answered = true);

// The last `maxLines` lines of everything fed to it, for telling what a helper
// said before it died.
class Tail {
 public:
  explicit Tail(size_t maxLines) : maxLines_(maxLines) {}
  void feed(const char* data, size_t size);
  std::string text() const;

 private:
  size_t maxLines_;
  std::vector<std::string> lines_;
  std::string partial_;
};

}  // namespace Grabkit::Isolation

#endif

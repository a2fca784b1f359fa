// Where a piece of this process's memory comes from, so that memory the
// application already shares with a file (a Java MappedByteBuffer of a tmpfs
// file) can be shared with the helper too instead of being copied.
#ifndef GRABKIT_ISOLATION_MAPPINGS_H
#define GRABKIT_ISOLATION_MAPPINGS_H

#include <sys/mman.h>

#include <cstdint>
#include <string>
#include <utility>

namespace Grabkit::Isolation {

struct Mapping {
  uintptr_t start = 0;
  uintptr_t end = 0;
  bool shared = false;
  uint64_t offset = 0;
  uint64_t inode = 0;
  std::string path;
};

// One line of /proc/<pid>/maps; false for a line that is not one.
bool parseMapsLine(const std::string& line, Mapping& m);

// The shared file mapping that holds all of [address, address + size), with
// `fileOffset` the offset of `address` in that file; false when there is none
// (anonymous, private or deleted memory, or a range across mappings).
bool findSharedFile(const void* address, size_t size, Mapping& m, uint64_t& fileOffset);

// A mapping of ours that goes when its owner does.
class OwnedMapping {
 public:
  OwnedMapping() = default;
  OwnedMapping(void* address, size_t length) : address_(address), length_(length) {}
  OwnedMapping(OwnedMapping&& o) noexcept
      : address_(std::exchange(o.address_, nullptr)), length_(o.length_) {}
  OwnedMapping& operator=(OwnedMapping&& o) noexcept {
    if (this != &o) {
      reset();
      address_ = std::exchange(o.address_, nullptr);
      length_ = o.length_;
    }
    return *this;
  }
  OwnedMapping(const OwnedMapping&) = delete;
  OwnedMapping& operator=(const OwnedMapping&) = delete;
  ~OwnedMapping() { reset(); }

  void* address() const { return address_; }
  size_t length() const { return length_; }
  void reset() {
    if (address_ != nullptr) munmap(address_, length_);
    address_ = nullptr;
  }

 private:
  void* address_ = nullptr;
  size_t length_ = 0;
};

}  // namespace Grabkit::Isolation

#endif

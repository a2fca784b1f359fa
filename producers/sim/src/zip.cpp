#include "zip.h"

#include <array>

namespace grabkit::sim {
namespace {

// 2026-01-01 00:00:00 in MS-DOS format; any fixed value keeps the archive stable.
constexpr uint16_t kDosTime = 0;
constexpr uint16_t kDosDate = ((2026 - 1980) << 9) | (1 << 5) | 1;
constexpr uint16_t kVersionStored = 10;  // 1.0: enough for stored entries

class Writer {
 public:
  void u16(uint32_t v) {
    out_.push_back(static_cast<char>(v & 0xFF));
    out_.push_back(static_cast<char>((v >> 8) & 0xFF));
  }
  void u32(uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  }
  void raw(std::string_view s) { out_.append(s); }
  uint32_t offset() const { return static_cast<uint32_t>(out_.size()); }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

}  // namespace

uint32_t crc32(const void* data, size_t size) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) c = table[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::string storedZip(std::string_view fileName, std::string_view content) {
  const uint32_t crc = crc32(content.data(), content.size());
  const auto size = static_cast<uint32_t>(content.size());
  const auto nameLength = static_cast<uint32_t>(fileName.size());
  Writer w;

  // Local file header, then the data.
  w.u32(0x04034b50);
  w.u16(kVersionStored);
  w.u16(0);  // flags: sizes and CRC are known up front
  w.u16(0);  // method: stored
  w.u16(kDosTime);
  w.u16(kDosDate);
  w.u32(crc);
  w.u32(size);  // compressed
  w.u32(size);  // uncompressed
  w.u16(nameLength);
  w.u16(0);  // extra field
  w.raw(fileName);
  w.raw(content);

  // Central directory with its single entry.
  const uint32_t directoryOffset = w.offset();
  w.u32(0x02014b50);
  w.u16(20);  // made by: MS-DOS attributes, version 2.0
  w.u16(kVersionStored);
  w.u16(0);
  w.u16(0);
  w.u16(kDosTime);
  w.u16(kDosDate);
  w.u32(crc);
  w.u32(size);
  w.u32(size);
  w.u16(nameLength);
  w.u16(0);  // extra field
  w.u16(0);  // comment
  w.u16(0);  // disk number
  w.u16(1);  // internal attributes: text
  w.u32(0);  // external attributes
  w.u32(0);  // offset of the local header
  w.raw(fileName);
  const uint32_t directorySize = w.offset() - directoryOffset;

  // End of central directory.
  w.u32(0x06054b50);
  w.u16(0);
  w.u16(0);
  w.u16(1);
  w.u16(1);
  w.u32(directorySize);
  w.u32(directoryOffset);
  w.u16(0);
  return w.take();
}

}  // namespace grabkit::sim

#ifndef GRABKIT_SIM_PATTERN_H
#define GRABKIT_SIM_PATTERN_H

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "GenTL.h"

namespace grabkit::sim {

namespace pfnc {
constexpr uint32_t kMono8 = 0x01080001;
constexpr uint32_t kMono16 = 0x01100007;
constexpr uint32_t kRgb8 = 0x02180014;
}  // namespace pfnc

// 0 for formats the simulated cameras do not produce.
size_t bytesPerPixel(uint32_t pixelFormat);

struct ImagePart {
  size_t offset = 0;  // from the start of the buffer
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t pixelFormat = 0;
  int32_t dataType = PART_DATATYPE_2D_IMAGE;

  size_t rowBytes() const { return size_t{width} * bytesPerPixel(pixelFormat); }
  size_t size() const { return rowBytes() * height; }
};

// Where each image of a frame lies in a buffer. Single images have one part; the
// 3-D camera has its range part first and its intensity part right behind it.
struct FrameLayout {
  int32_t payloadType = PAYLOAD_TYPE_IMAGE;
  uint32_t partCount = 0;
  std::array<ImagePart, 2> parts{};

  static FrameLayout image(uint32_t width, uint32_t height, uint32_t pixelFormat);
  static FrameLayout rangeAndIntensity(uint32_t width, uint32_t height);

  size_t payloadSize() const;
  // Rows of `part` that fit completely into a buffer of `capacity` bytes.
  static uint32_t rowsWithin(const ImagePart& part, size_t capacity);
};

// Writes the test pattern of one frame. The pattern depends only on the pixel
// position and the frame ID, so a consumer can recompute every pixel:
//   Mono8   (x + y + f) & 0xFF
//   Mono16  ((x + y + f) * 64) & 0xFFFF, little-endian
//   RGB8    R = (x + f) & 0xFF, G = (y + f) & 0xFF, B = (x + y) & 0xFF
// Rows are copied from precomputed ramps, which keeps 5-megapixel frames at
// memory speed.
class PatternWriter {
 public:
  // Writes at most `capacity` bytes and returns how many it wrote (whole rows,
  // then the part of a row that still fits), or nothing when `abort` was raised
  // part-way.
  std::optional<size_t> write(uint8_t* buffer, size_t capacity, const FrameLayout& layout,
                              uint64_t frameId, bool gradient, const std::atomic<bool>& abort);

 private:
  void prepare(const ImagePart& part);
  const uint8_t* row(const ImagePart& part, uint32_t y, uint64_t frameId);

  std::vector<uint8_t> mono8_;   // byte i = i & 0xFF
  std::vector<uint8_t> mono16_;  // pixel i = (i & 0x3FF) * 64
  std::vector<uint8_t> rgb_;     // one RGB row
};

}  // namespace grabkit::sim

#endif

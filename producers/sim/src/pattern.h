#ifndef GRABKIT_SIM_PATTERN_H
#define GRABKIT_SIM_PATTERN_H

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "GenTL.h"
#include "registers.h"

namespace grabkit::sim {

namespace pfnc {
constexpr uint32_t kMono8 = 0x01080001;
constexpr uint32_t kMono10 = 0x01100003;
constexpr uint32_t kMono12 = 0x01100005;
constexpr uint32_t kMono14 = 0x01100025;
constexpr uint32_t kMono16 = 0x01100007;
constexpr uint32_t kMono10p = 0x010A0046;
constexpr uint32_t kMono12p = 0x010C0047;
constexpr uint32_t kMono10Packed = 0x010C0004;
constexpr uint32_t kMono12Packed = 0x010C0006;
constexpr uint32_t kRgb8 = 0x02180014;
constexpr uint32_t kBgr8 = 0x02180015;
constexpr uint32_t kRgba8 = 0x02200016;
constexpr uint32_t kBgra8 = 0x02200017;
constexpr uint32_t kYCbCr422_8 = 0x0210003B;
constexpr uint32_t kYCbCr422_8_CbYCrY = 0x02100043;
constexpr uint32_t kYuv422_8 = 0x02100032;
constexpr uint32_t kYuv422_8_Uyvy = 0x0210001F;
}  // namespace pfnc

// How the simulated sensor lays out one pixel format.
struct FormatInfo {
  enum class Layout { kMono, kMonoPacked, kMonoPackedGigE, kColour, kBayer, kYuv422 };

  uint32_t code;
  std::string name;
  Layout layout;
  uint32_t depth;  // significant bits per value
  // kColour: bytes per pixel and where R, G, B (and alpha, or -1) go; kBayer: the
  // channel (0 R, 1 G, 2 B) at (x mod 2, y mod 2) = order[2 * (y & 1) + (x & 1)];
  // kYuv422: whether luma comes first in each byte pair.
  std::array<int8_t, 4> order;

  // PFNC keeps the bits per pixel in bits 16..23 of the code.
  uint32_t bitsPerPixel() const { return (code >> 16) & 0xFF; }
  bool colour() const {
    return layout == Layout::kColour || layout == Layout::kBayer || layout == Layout::kYuv422;
  }
};

// Every format the simulated cameras produce, in the order the description lists them.
const std::vector<FormatInfo>& formats();
// nullptr for formats the simulated cameras do not produce.
const FormatInfo* formatInfo(uint32_t pixelFormat);
const FormatInfo* formatNamed(const char* name);  // case-insensitive

// Where the image comes from on the sensor: fixed while a stream acquires.
struct Geometry {
  uint32_t offsetX = 0;
  uint32_t offsetY = 0;
  uint32_t binningHorizontal = 1;
  uint32_t binningVertical = 1;
  bool reverseX = false;
};

// What scales the brightness: may change between any two frames.
struct Tone {
  uint32_t exposure = reg::kExposureDefault;  // 0.1 us
  std::array<int32_t, 4> gain{};              // centi-dB by GainSelector
  uint32_t blackLevel = 0;                    // 8-bit steps

  // The gain factor in thousandths, as the pixels use it: round(1000 * 10^(dB / 20)).
  static uint64_t milliGain(int32_t centiDb);
  // The value of an N-bit sample `raw` after exposure, the gains (All and the
  // channel's, selector 1..3, or 0 for none) and the black level.
  uint32_t apply(uint32_t raw, uint32_t depth, uint32_t channel) const;
};

struct ImagePart {
  size_t offset = 0;  // from the start of the buffer
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t pixelFormat = 0;
  int32_t dataType = PART_DATATYPE_2D_IMAGE;

  // Packed formats run on from row to row, so sizes come from bits.
  size_t size() const;
};

// Where each image of a frame lies in a buffer, and the chunks behind them. Single
// images have one part; the 3-D camera has its range part first and its intensity
// part right behind it.
struct FrameLayout {
  int32_t payloadType = PAYLOAD_TYPE_IMAGE;
  uint32_t partCount = 0;
  std::array<ImagePart, 2> parts{};
  Geometry geometry;
  uint32_t chunks = 0;  // bit i set: chunk reg::Chunk i follows the image

  static FrameLayout image(uint32_t width, uint32_t height, uint32_t pixelFormat);
  static FrameLayout rangeAndIntensity(uint32_t width, uint32_t height);

  size_t imageSize() const;
  size_t payloadSize() const;
  uint32_t chunkCount() const;
  // Offset of enabled chunk `chunk` (reg::Chunk), in enumeration order behind the image.
  size_t chunkOffset(uint32_t chunk) const;
  // Rows of `part` that fit completely into a buffer of `capacity` bytes.
  static uint32_t rowsWithin(const ImagePart& part, size_t capacity);
};

// The values chunks carry for one frame.
struct ChunkValues {
  uint64_t timestampNs = 0;
  uint64_t frameId = 0;
  double exposureUs = 0;
};

// Writes the test pattern of one frame. Every pixel follows from its position on the
// sensor and the frame ID (producers/sim/README.md gives the formulas), so a consumer
// can recompute it. The common case, an unpacked monochrome image without binning or
// mirroring, copies rows out of a precomputed ramp and keeps 5-megapixel frames at
// memory speed; everything else is computed pixel by pixel.
class PatternWriter {
 public:
  // Writes at most `capacity` bytes of the image and returns how many it wrote
  // (whole rows, then the part of a row that still fits), or nothing when `abort`
  // was raised part-way.
  std::optional<size_t> write(uint8_t* buffer, size_t capacity, const FrameLayout& layout,
                              uint64_t frameId, bool gradient, const Tone& tone,
                              const std::atomic<bool>& abort);
  // Writes the chunks that fit completely; returns the end of the last one written
  // (or `imageEnd` when none fits).
  static size_t writeChunks(uint8_t* buffer, size_t capacity, const FrameLayout& layout,
                            size_t imageEnd, const ChunkValues& values);

 private:
  // Levels after the tone for every raw ramp value of one channel.
  struct Levels {
    std::vector<uint16_t> level;
    uint32_t mask = 0;  // ramp period - 1
  };
  void prepare(const ImagePart& part, const FormatInfo& format, const Geometry& g,
               const Tone& tone);
  void fillRow(const ImagePart& part, const FormatInfo& format, const Geometry& g, uint32_t y,
               uint64_t frameId, uint8_t* out);
  uint16_t monoValue(uint64_t r) const { return mono_.level[r & mono_.mask]; }

  Levels mono_;
  std::array<Levels, 3> channel_;  // R, G, B
  std::vector<uint32_t> columns_;  // sensor column of every output column
  std::vector<uint8_t> ramp_;      // encoded mono levels, for the row-copy path
  std::vector<uint8_t> row_;
  std::vector<uint16_t> values_;  // a whole image of samples, for packed formats
  std::vector<uint8_t> packed_;
};

}  // namespace grabkit::sim

#endif

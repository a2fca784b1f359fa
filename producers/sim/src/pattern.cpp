#include "pattern.h"

#include <algorithm>
#include <cstring>

namespace grabkit::sim {
namespace {

// An aborted acquisition should not have to wait for a whole large frame.
constexpr uint32_t kRowsBetweenAbortChecks = 64;

}  // namespace

size_t bytesPerPixel(uint32_t pixelFormat) {
  switch (pixelFormat) {
    case pfnc::kMono8:
      return 1;
    case pfnc::kMono16:
      return 2;
    case pfnc::kRgb8:
      return 3;
    default:
      return 0;
  }
}

FrameLayout FrameLayout::image(uint32_t width, uint32_t height, uint32_t pixelFormat) {
  FrameLayout layout;
  layout.payloadType = PAYLOAD_TYPE_IMAGE;
  layout.partCount = 1;
  layout.parts[0] = ImagePart{0, width, height, pixelFormat, PART_DATATYPE_2D_IMAGE};
  return layout;
}

FrameLayout FrameLayout::rangeAndIntensity(uint32_t width, uint32_t height) {
  FrameLayout layout;
  layout.payloadType = PAYLOAD_TYPE_MULTI_PART;
  layout.partCount = 2;
  layout.parts[0] = ImagePart{0, width, height, pfnc::kMono16, PART_DATATYPE_3D_IMAGE};
  layout.parts[1] =
      ImagePart{layout.parts[0].size(), width, height, pfnc::kMono8, PART_DATATYPE_2D_IMAGE};
  return layout;
}

size_t FrameLayout::payloadSize() const {
  if (partCount == 0) return 0;
  const ImagePart& last = parts[partCount - 1];
  return last.offset + last.size();
}

uint32_t FrameLayout::rowsWithin(const ImagePart& part, size_t capacity) {
  const size_t rowBytes = part.rowBytes();
  if (capacity <= part.offset || rowBytes == 0) return 0;
  return static_cast<uint32_t>(std::min<size_t>(part.height, (capacity - part.offset) / rowBytes));
}

std::optional<size_t> PatternWriter::write(uint8_t* buffer, size_t capacity,
                                           const FrameLayout& layout, uint64_t frameId,
                                           bool gradient, const std::atomic<bool>& abort) {
  size_t end = 0;
  for (uint32_t p = 0; p < layout.partCount; ++p) {
    const ImagePart& part = layout.parts[p];
    const size_t rowBytes = part.rowBytes();
    if (gradient) prepare(part);
    for (uint32_t y = 0; y < part.height; ++y) {
      if (y % kRowsBetweenAbortChecks == 0 && abort.load(std::memory_order_relaxed)) {
        return std::nullopt;
      }
      const size_t at = part.offset + size_t{y} * rowBytes;
      if (at >= capacity) return end;
      const size_t n = std::min(rowBytes, capacity - at);
      if (gradient) {
        std::memcpy(buffer + at, row(part, y, frameId), n);
      } else {
        std::memset(buffer + at, 0, n);
      }
      end = at + n;
    }
  }
  return end;
}

void PatternWriter::prepare(const ImagePart& part) {
  switch (part.pixelFormat) {
    case pfnc::kMono8:
      if (mono8_.size() < size_t{part.width} + 256) {
        mono8_.resize(size_t{part.width} + 256);
        for (size_t i = 0; i < mono8_.size(); ++i) mono8_[i] = static_cast<uint8_t>(i);
      }
      break;
    case pfnc::kMono16:
      if (mono16_.size() < 2 * (size_t{part.width} + 1024)) {
        mono16_.resize(2 * (size_t{part.width} + 1024));
        for (size_t i = 0; i < mono16_.size() / 2; ++i) {
          const auto value = static_cast<uint16_t>((i & 0x3FF) << 6);
          mono16_[2 * i] = static_cast<uint8_t>(value & 0xFF);
          mono16_[2 * i + 1] = static_cast<uint8_t>(value >> 8);
        }
      }
      break;
    case pfnc::kRgb8:
      rgb_.resize(3 * size_t{part.width});
      break;
    default:
      break;
  }
}

const uint8_t* PatternWriter::row(const ImagePart& part, uint32_t y, uint64_t frameId) {
  switch (part.pixelFormat) {
    case pfnc::kMono8:
      // (x + y + f) & 0xFF is the ramp shifted by (y + f) mod 256.
      return mono8_.data() + ((y + frameId) & 0xFF);
    case pfnc::kMono16:
      // ((x + y + f) * 64) & 0xFFFF repeats every 1024 pixels.
      return mono16_.data() + 2 * ((y + frameId) & 0x3FF);
    default: {
      const auto g = static_cast<uint8_t>(y + frameId);
      for (uint32_t x = 0; x < part.width; ++x) {
        rgb_[3 * size_t{x}] = static_cast<uint8_t>(x + frameId);
        rgb_[3 * size_t{x} + 1] = g;
        rgb_[3 * size_t{x} + 2] = static_cast<uint8_t>(x + y);
      }
      return rgb_.data();
    }
  }
}

}  // namespace grabkit::sim

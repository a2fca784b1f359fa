#include "pattern.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace grabkit::sim {
namespace {

// An aborted acquisition should not have to wait for a whole large frame.
constexpr uint32_t kRowsBetweenAbortChecks = 64;

using L = FormatInfo::Layout;
constexpr int8_t R = 0, G = 1, B = 2;

std::vector<FormatInfo> makeFormats() {
  std::vector<FormatInfo> list = {
      {pfnc::kMono8, "Mono8", L::kMono, 8, {}},
      {pfnc::kMono10, "Mono10", L::kMono, 10, {}},
      {pfnc::kMono12, "Mono12", L::kMono, 12, {}},
      {pfnc::kMono14, "Mono14", L::kMono, 14, {}},
      {pfnc::kMono16, "Mono16", L::kMono, 16, {}},
      {pfnc::kMono10p, "Mono10p", L::kMonoPacked, 10, {}},
      {pfnc::kMono12p, "Mono12p", L::kMonoPacked, 12, {}},
      {pfnc::kMono10Packed, "Mono10Packed", L::kMonoPackedGigE, 10, {}},
      {pfnc::kMono12Packed, "Mono12Packed", L::kMonoPackedGigE, 12, {}},
      {pfnc::kRgb8, "RGB8", L::kColour, 8, {R, G, B, -1}},
      {pfnc::kBgr8, "BGR8", L::kColour, 8, {B, G, R, -1}},
      {pfnc::kRgba8, "RGBa8", L::kColour, 8, {R, G, B, 3}},
      {pfnc::kBgra8, "BGRa8", L::kColour, 8, {B, G, R, 3}},
      {pfnc::kYCbCr422_8, "YCbCr422_8", L::kYuv422, 8, {1}},
      {pfnc::kYCbCr422_8_CbYCrY, "YCbCr422_8_CbYCrY", L::kYuv422, 8, {0}},
      {pfnc::kYuv422_8, "YUV422_8", L::kYuv422, 8, {1}},
      {pfnc::kYuv422_8_Uyvy, "YUV422_8_UYVY", L::kYuv422, 8, {0}},
  };
  // PFNC numbers the Bayer formats GR, RG, GB, BG within each depth.
  struct Cfa {
    const char* name;
    std::array<int8_t, 4> order;
  };
  const Cfa cfas[] = {
      {"GR", {G, R, B, G}}, {"RG", {R, G, G, B}}, {"GB", {G, B, R, G}}, {"BG", {B, G, G, R}}};
  const struct {
    uint32_t depth;
    uint32_t firstCode;
  } depths[] = {{8, 0x01080008}, {10, 0x0110000C}, {12, 0x01100010}, {16, 0x0110002E}};
  for (const auto& d : depths) {
    for (uint32_t i = 0; i < 4; ++i) {
      list.push_back({d.firstCode + i,
                      std::string("Bayer") + cfas[i].name + std::to_string(d.depth), L::kBayer,
                      d.depth, cfas[i].order});
    }
  }
  return list;
}

void put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

const std::vector<FormatInfo>& formats() {
  static const std::vector<FormatInfo> list = makeFormats();
  return list;
}

const FormatInfo* formatInfo(uint32_t pixelFormat) {
  for (const FormatInfo& f : formats()) {
    if (f.code == pixelFormat) return &f;
  }
  return nullptr;
}

const FormatInfo* formatNamed(const char* name) {
  for (const FormatInfo& f : formats()) {
    if (strcasecmp(f.name.c_str(), name) == 0) return &f;
  }
  return nullptr;
}

uint64_t Tone::milliGain(int32_t centiDb) {
  return static_cast<uint64_t>(std::llround(1000.0 * std::pow(10.0, centiDb / 2000.0)));
}

uint32_t Tone::apply(uint32_t raw, uint32_t depth, uint32_t channel) const {
  const uint32_t max = (uint32_t{1} << depth) - 1;
  unsigned __int128 scaled = raw;
  scaled *= exposure;
  scaled *= milliGain(gain[reg::kGainAll]);
  scaled *= channel == 0 ? 1000 : milliGain(gain[channel]);
  scaled /= uint64_t{reg::kExposureDefault} * 1000 * 1000;
  scaled += uint64_t{blackLevel} << (depth - 8);
  return scaled > max ? max : static_cast<uint32_t>(scaled);
}

size_t ImagePart::size() const {
  const FormatInfo* format = formatInfo(pixelFormat);
  if (format == nullptr) return 0;
  return (uint64_t{width} * height * format->bitsPerPixel() + 7) / 8;
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

size_t FrameLayout::imageSize() const {
  if (partCount == 0) return 0;
  const ImagePart& last = parts[partCount - 1];
  return last.offset + last.size();
}

uint32_t FrameLayout::chunkCount() const {
  return static_cast<uint32_t>(__builtin_popcount(chunks));
}

size_t FrameLayout::payloadSize() const {
  return imageSize() + chunkCount() * reg::kChunkBytes;
}

size_t FrameLayout::chunkOffset(uint32_t chunk) const {
  const uint32_t before = chunks & ((uint32_t{1} << chunk) - 1);
  return imageSize() + static_cast<size_t>(__builtin_popcount(before)) * reg::kChunkBytes;
}

uint32_t FrameLayout::rowsWithin(const ImagePart& part, size_t capacity) {
  const FormatInfo* format = formatInfo(part.pixelFormat);
  const uint64_t rowBits = format == nullptr ? 0 : uint64_t{part.width} * format->bitsPerPixel();
  if (capacity <= part.offset || rowBits == 0) return 0;
  return static_cast<uint32_t>(
      std::min<uint64_t>(part.height, (capacity - part.offset) * 8 / rowBits));
}

void PatternWriter::prepare(const ImagePart& part, const FormatInfo& format, const Geometry& g,
                            const Tone& tone) {
  // Monochrome ramps: 256 steps at 8 bits (the Y of 4:2:2 too), 1024 steps shifted
  // up to the depth above that.
  const bool eightBit = format.depth == 8;
  mono_.mask = eightBit ? 0xFF : 0x3FF;
  mono_.level.resize(mono_.mask + 1);
  for (uint32_t r = 0; r <= mono_.mask; ++r) {
    const uint32_t raw = eightBit ? r : r << (format.depth - 10);
    mono_.level[r] = static_cast<uint16_t>(tone.apply(raw, format.depth, 0));
  }
  if (format.layout == L::kColour || format.layout == L::kBayer) {
    for (uint32_t c = 0; c < 3; ++c) {
      Levels& levels = channel_[c];
      levels.mask = 0xFF;
      levels.level.resize(256);
      for (uint32_t v = 0; v < 256; ++v) {
        levels.level[v] = static_cast<uint16_t>(
            tone.apply(v << (format.depth - 8), format.depth, reg::kGainRed + c));
      }
    }
  }
  columns_.resize(part.width);
  for (uint32_t x = 0; x < part.width; ++x) {
    const uint32_t mirrored = g.reverseX ? part.width - 1 - x : x;
    columns_[x] = (g.offsetX + mirrored) * g.binningHorizontal;
  }
  if (format.layout == L::kMono) {
    // One encoded ramp long enough for any row start; row y starts at its first
    // pixel's ramp position.
    const size_t bytes = format.bitsPerPixel() / 8;
    ramp_.resize((size_t{part.width} + mono_.mask + 1) * bytes);
    for (size_t i = 0; i < ramp_.size() / bytes; ++i) {
      const uint16_t v = mono_.level[i & mono_.mask];
      if (bytes == 1) {
        ramp_[i] = static_cast<uint8_t>(v);
      } else {
        put16(&ramp_[2 * i], v);
      }
    }
  }
}

void PatternWriter::fillRow(const ImagePart& part, const FormatInfo& format, const Geometry& g,
                            uint32_t y, uint64_t f, uint8_t* out) {
  const uint64_t sy = uint64_t{g.offsetY + y} * g.binningVertical;
  const uint32_t w = part.width;
  switch (format.layout) {
    case L::kMono:
      for (uint32_t x = 0; x < w; ++x) {
        const uint16_t v = monoValue(columns_[x] + sy + f);
        if (format.depth == 8) {
          out[x] = static_cast<uint8_t>(v);
        } else {
          put16(out + 2 * size_t{x}, v);
        }
      }
      break;
    case L::kColour: {
      const size_t bytes = format.bitsPerPixel() / 8;
      const uint8_t green = static_cast<uint8_t>(channel_[G].level[(sy + f) & 0xFF]);
      for (uint32_t x = 0; x < w; ++x) {
        const uint64_t sx = columns_[x];
        uint8_t* p = out + bytes * x;
        p[format.order[0] == R ? 0 : 2] = static_cast<uint8_t>(channel_[R].level[(sx + f) & 0xFF]);
        p[1] = green;
        p[format.order[0] == R ? 2 : 0] = static_cast<uint8_t>(channel_[B].level[(sx + sy) & 0xFF]);
        if (bytes == 4) p[3] = 0xFF;
      }
      break;
    }
    case L::kBayer:
      for (uint32_t x = 0; x < w; ++x) {
        const uint64_t sx = columns_[x];
        const int8_t c = format.order[2 * (y & 1) + (x & 1)];
        const uint64_t v8 = c == R ? sx + f : c == G ? sy + f : sx + sy;
        const uint16_t v = channel_[c].level[v8 & 0xFF];
        if (format.depth == 8) {
          out[x] = static_cast<uint8_t>(v);
        } else {
          put16(out + 2 * size_t{x}, v);
        }
      }
      break;
    case L::kYuv422: {
      const bool lumaFirst = format.order[0] == 1;
      for (uint32_t x = 0; x < w; ++x) {
        const uint32_t pairStart = x & ~uint32_t{1};
        const uint8_t luma = static_cast<uint8_t>(monoValue(columns_[x] + sy + f));
        // Chroma is a property of the pair: Cb with the even pixel, Cr with the odd one.
        const uint8_t chroma =
            static_cast<uint8_t>((x & 1) == 0 ? columns_[pairStart] + f : sy + f);
        out[2 * size_t{x}] = lumaFirst ? luma : chroma;
        out[2 * size_t{x} + 1] = lumaFirst ? chroma : luma;
      }
      break;
    }
    default:
      break;
  }
}

std::optional<size_t> PatternWriter::write(uint8_t* buffer, size_t capacity,
                                           const FrameLayout& layout, uint64_t frameId,
                                           bool gradient, const Tone& tone,
                                           const std::atomic<bool>& abort) {
  size_t end = 0;
  const Geometry& g = layout.geometry;
  for (uint32_t p = 0; p < layout.partCount; ++p) {
    const ImagePart& part = layout.parts[p];
    const FormatInfo* format = formatInfo(part.pixelFormat);
    if (format == nullptr || part.offset >= capacity) return end;
    const size_t size = part.size();
    const size_t fits = std::min(size, capacity - part.offset);
    uint8_t* const base = buffer + part.offset;
    if (!gradient) {
      std::memset(base, 0, fits);
      end = part.offset + fits;
      continue;
    }
    prepare(part, *format, g, tone);

    if (format->layout == L::kMonoPacked || format->layout == L::kMonoPackedGigE) {
      // Packed rows share bytes, so the whole image is computed and packed at once.
      values_.resize(size_t{part.width} * part.height);
      for (uint32_t y = 0; y < part.height; ++y) {
        if (y % kRowsBetweenAbortChecks == 0 && abort.load(std::memory_order_relaxed)) {
          return std::nullopt;
        }
        const uint64_t sy = uint64_t{g.offsetY + y} * g.binningVertical;
        for (uint32_t x = 0; x < part.width; ++x) {
          values_[size_t{y} * part.width + x] = monoValue(columns_[x] + sy + frameId);
        }
      }
      packed_.assign(size, 0);
      if (format->layout == L::kMonoPacked) {
        // PFNC: one little-endian bit stream, each pixel's least significant bit first.
        uint64_t bit = 0;
        for (uint16_t v : values_) {
          for (uint32_t b = 0; b < format->depth; ++b, ++bit) {
            if ((v >> b) & 1) packed_[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
          }
        }
      } else {
        // The older GigE Vision packing: two pixels in three bytes, the high bits of
        // each in its own byte, the low bits of both sharing the middle one.
        const uint32_t low = format->depth - 8;
        for (size_t i = 0; i < values_.size(); i += 2) {
          uint8_t* at = &packed_[i / 2 * 3];
          const uint16_t p0 = values_[i];
          at[0] = static_cast<uint8_t>(p0 >> low);
          at[1] = static_cast<uint8_t>(p0 & ((1u << low) - 1));
          if (i + 1 < values_.size()) {
            const uint16_t p1 = values_[i + 1];
            at[1] = static_cast<uint8_t>(at[1] | (p1 & ((1u << low) - 1)) << 4);
            at[2] = static_cast<uint8_t>(p1 >> low);
          }
        }
      }
      std::memcpy(base, packed_.data(), fits);
      end = part.offset + fits;
      continue;
    }

    const size_t rowBytes = size_t{part.width} * format->bitsPerPixel() / 8;
    const bool rampRows = format->layout == L::kMono && g.binningHorizontal == 1 && !g.reverseX;
    if (!rampRows) row_.resize(rowBytes);
    for (uint32_t y = 0; y < part.height; ++y) {
      if (y % kRowsBetweenAbortChecks == 0 && abort.load(std::memory_order_relaxed)) {
        return std::nullopt;
      }
      const size_t at = size_t{y} * rowBytes;
      if (at >= fits) break;
      const size_t n = std::min(rowBytes, fits - at);
      const uint8_t* source;
      if (rampRows) {
        const uint64_t sy = uint64_t{g.offsetY + y} * g.binningVertical;
        source = ramp_.data() + ((g.offsetX + sy + frameId) & mono_.mask) * (rowBytes / part.width);
      } else {
        fillRow(part, *format, g, y, frameId, row_.data());
        source = row_.data();
      }
      std::memcpy(base + at, source, n);
      end = part.offset + at + n;
    }
  }
  return end;
}

size_t PatternWriter::writeChunks(uint8_t* buffer, size_t capacity, const FrameLayout& layout,
                                  size_t imageEnd, const ChunkValues& values) {
  size_t end = imageEnd;
  for (uint32_t c = 0; c < reg::kChunkCount; ++c) {
    if ((layout.chunks >> c & 1) == 0) continue;
    const size_t at = layout.chunkOffset(c);
    if (at + reg::kChunkBytes > capacity) break;
    uint64_t bits = c == reg::kChunkTimestamp ? values.timestampNs
                    : c == reg::kChunkFrameId ? values.frameId
                                              : 0;
    if (c == reg::kChunkExposureTime) std::memcpy(&bits, &values.exposureUs, sizeof bits);
    for (uint32_t i = 0; i < 8; ++i) buffer[at + i] = static_cast<uint8_t>(bits >> (8 * i));
    end = at + reg::kChunkBytes;
  }
  return end;
}

}  // namespace grabkit::sim

// The simulated camera's settings and what they do to the frames.
#include <cmath>
#include <cstring>

#include "pattern.h"
#include "sim_test.h"

namespace grabkit::sim::test {
namespace {

// The README's pattern, written from its formulas and independent of the writer's
// ramps and lookup tables.
uint32_t level(uint64_t raw, uint32_t depth, uint32_t channel, const Tone& t) {
  const auto gain = [](int32_t centiDb) {
    return static_cast<uint64_t>(std::llround(1000 * std::pow(10.0, centiDb / 2000.0)));
  };
  const uint64_t scaled = raw * t.exposure * gain(t.gain[0]) *
                              (channel == 0 ? 1000 : gain(t.gain[channel])) / 100000000000ull +
                          (uint64_t{t.blackLevel} << (depth - 8));
  return static_cast<uint32_t>(std::min<uint64_t>(scaled, (1u << depth) - 1));
}

std::vector<uint8_t> reference(const FormatInfo& format, uint32_t w, uint32_t h, uint64_t f,
                               const Geometry& g, const Tone& t) {
  using L = FormatInfo::Layout;
  std::vector<uint32_t> samples;  // packed formats: one per pixel; others: bytes
  std::vector<uint8_t> bytes;
  const uint32_t d = format.depth;
  auto put = [&](uint32_t v) {
    if (d == 8) {
      bytes.push_back(static_cast<uint8_t>(v));
    } else {
      bytes.insert(bytes.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
    }
  };
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      auto column = [&](uint32_t at) {
        return uint64_t{g.offsetX + (g.reverseX ? w - 1 - at : at)} * g.binningHorizontal;
      };
      const uint64_t sx = column(x), sy = uint64_t{g.offsetY + y} * g.binningVertical;
      const uint64_t r = sx + sy + f;
      const uint64_t rgb[3] = {(sx + f) & 0xFF, (sy + f) & 0xFF, (sx + sy) & 0xFF};
      const uint32_t mono = level(d == 8 ? r & 0xFF : (r & 0x3FF) << (d - 10), d, 0, t);
      auto channel = [&](int c) { return level(rgb[c] << (d - 8), d, 1 + c, t); };
      switch (format.layout) {
        case L::kMono:
          put(mono);
          break;
        case L::kMonoPacked:
        case L::kMonoPackedGigE:
          samples.push_back(mono);
          break;
        case L::kColour:
          for (int i = 0; i < 3; ++i) put(channel(format.order[i]));
          if (format.bitsPerPixel() == 32) put(0xFF);
          break;
        case L::kBayer:
          put(channel(format.order[2 * (y % 2) + x % 2]));
          break;
        case L::kYuv422: {
          const uint8_t chroma = static_cast<uint8_t>(x % 2 == 0 ? column(x) + f : sy + f);
          const bool lumaFirst = format.code == pfnc::kYCbCr422_8;
          bytes.push_back(lumaFirst ? static_cast<uint8_t>(mono) : chroma);
          bytes.push_back(lumaFirst ? chroma : static_cast<uint8_t>(mono));
          break;
        }
      }
    }
  }
  if (format.layout == L::kMonoPacked) {
    bytes.assign((samples.size() * format.bitsPerPixel() + 7) / 8, 0);
    for (size_t i = 0; i < samples.size(); ++i) {
      for (uint32_t b = 0; b < d; ++b) {
        const size_t bit = i * d + b;
        if (samples[i] >> b & 1) bytes[bit / 8] |= static_cast<uint8_t>(1 << bit % 8);
      }
    }
  } else if (format.layout == L::kMonoPackedGigE) {
    const uint32_t low = d - 8;
    bytes.assign((samples.size() * 12 + 7) / 8, 0);
    for (size_t i = 0; i < samples.size(); ++i) {
      uint8_t* triple = &bytes[i / 2 * 3];
      const uint32_t v = samples[i];
      triple[i % 2 == 0 ? 0 : 2] = static_cast<uint8_t>(v >> low);
      triple[1] |= static_cast<uint8_t>((v & ((1u << low) - 1)) << (i % 2 == 0 ? 0 : 4));
    }
  }
  return bytes;
}

TEST(Pattern, EveryFormatFollowsTheDocumentedFormulaUnderEverySetting) {
  const struct {
    const char* name;
    Geometry geometry;
    Tone tone;
  } settings[] = {
      {"defaults", {}, {}},
      {"offsets", {5, 3, 1, 1, false}, {}},
      {"binned and mirrored", {2, 1, 2, 2, true}, {}},
      {"half exposure, black level", {}, {50000, {}, 16}},
      {"gains per channel", {1, 0, 1, 1, true}, {100000, {600, 300, 0, 1200}, 0}},
      {"saturated", {}, {1000000, {2400, 0, 0, 0}, 0}},
  };
  PatternWriter writer;
  const std::atomic<bool> abort{false};
  for (const FormatInfo& format : formats()) {
    for (const auto& s : settings) {
      if (format.colour() && s.geometry.binningHorizontal > 1) continue;  // refused by the camera
      // An odd width makes packed rows share bytes and leaves a half pixel pair.
      for (const uint32_t w : {7u, 16u}) {
        SCOPED_TRACE(format.name + " " + s.name + " width " + std::to_string(w));
        FrameLayout layout = FrameLayout::image(w, 5, format.code);
        layout.geometry = s.geometry;
        const auto expected = reference(format, w, 5, 300, s.geometry, s.tone);
        ASSERT_EQ(layout.payloadSize(), expected.size());
        std::vector<uint8_t> image(expected.size() + 4, 0xEE);
        EXPECT_EQ(writer.write(image.data(), expected.size(), layout, 300, true, s.tone, abort),
                  expected.size());
        EXPECT_EQ(firstDifference(image.data(), expected), -1);
        EXPECT_EQ(image.back(), 0xEE);  // nothing past the buffer
      }
    }
  }
}

class CameraTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    cam = open("SimCam0");
    event = registerEvent(cam.ds);
  }

  // Queues `n` buffers, starts, and returns what arrives within `wait` ms.
  std::vector<BUFFER_HANDLE> arrivals(uint64_t wait) {
    std::vector<BUFFER_HANDLE> got;
    EVENT_NEW_BUFFER_DATA data{};
    size_t size = sizeof data;
    while (g.EventGetData(event, &data, &size, wait) == GC_ERR_SUCCESS) {
      got.push_back(data.BufferHandle);
      EXPECT_EQ(g.DSQueueBuffer(cam.ds, data.BufferHandle), GC_ERR_SUCCESS);
    }
    return got;
  }

  Camera cam;
  EVENT_HANDLE event = nullptr;
};

TEST_F(CameraTest, AcquisitionModesAndSoftwareTriggerCountFrames) {
  const struct {
    const char* name;
    uint32_t mode;
    bool trigger;
    size_t frames;  // before and after AcquisitionStart, within the wait
  } cases[] = {{"SingleFrame", reg::kSingleFrame, false, 1},
               {"MultiFrame of 3", reg::kMultiFrame, false, 3},
               {"Continuous, 4 triggers", reg::kContinuous, true, 4}};
  ASSERT_EQ(write32(cam.port, reg::kAcquisitionFrameCount, 3), GC_ERR_SUCCESS);
  start(cam.ds, 4);
  ASSERT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    arrivals(0);
    ASSERT_EQ(write32(cam.port, reg::kAcquisitionMode, c.mode), GC_ERR_SUCCESS);
    ASSERT_EQ(write32(cam.port, reg::kTriggerControl, c.trigger ? 1 : 0), GC_ERR_SUCCESS);
    ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE),
              GC_ERR_SUCCESS);
    for (int round = 0; round < 2; ++round) {
      if (round == 1) {
        ASSERT_EQ(write32(cam.port, reg::kAcquisitionStart, 1), GC_ERR_SUCCESS);
      }
      if (c.trigger) {
        // Triggers one at a time: each gives exactly one frame.
        for (size_t i = 0; i < c.frames; ++i) {
          ASSERT_EQ(write32(cam.port, reg::kTriggerSoftware, 1), GC_ERR_SUCCESS);
          EXPECT_EQ(arrivals(200).size(), 1u);
        }
      } else {
        EXPECT_EQ(arrivals(200).size(), c.frames);
        EXPECT_EQ(read32(cam.port, reg::kAcquisitionStatus), 0u);  // the sensor stopped itself
      }
    }
    ASSERT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
  }
  // A trigger while not acquiring is lost, not saved for later.
  ASSERT_EQ(write32(cam.port, reg::kTriggerSoftware, 1), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  EXPECT_EQ(arrivals(100).size(), 0u);
}

TEST_F(CameraTest, EnabledChunksFollowTheImageAndCarryTheFramesValues) {
  ASSERT_EQ(write32(cam.port, reg::kChunkModeActive, 1), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kChunkEnable + 4 * reg::kChunkTimestamp, 1), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kChunkEnable + 4 * reg::kChunkExposureTime, 1), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kExposureTime, 123456), GC_ERR_SUCCESS);
  const size_t image = size_t{kWidth} * kHeight;
  ASSERT_EQ(payload(cam.ds), image + 16);
  ASSERT_EQ(read64(cam.port, reg::kPayloadSize), image + 16);
  start(cam.ds, 2);
  const BUFFER_HANDLE b = next(event).BufferHandle;

  size_t count = 0;
  ASSERT_EQ(g.DSGetBufferChunkData(cam.ds, b, nullptr, &count), GC_ERR_SUCCESS);
  ASSERT_EQ(count, 2u);
  SINGLE_CHUNK_DATA chunks[2] = {};
  count = 1;
  EXPECT_EQ(g.DSGetBufferChunkData(cam.ds, b, chunks, &count), GC_ERR_BUFFER_TOO_SMALL);
  count = 2;
  ASSERT_EQ(g.DSGetBufferChunkData(cam.ds, b, chunks, &count), GC_ERR_SUCCESS);
  EXPECT_EQ(chunks[0].ChunkID, 0xA001u);
  EXPECT_EQ(chunks[0].ChunkOffset, static_cast<ptrdiff_t>(image));
  EXPECT_EQ(chunks[1].ChunkID, 0xA003u);
  EXPECT_EQ(chunks[1].ChunkOffset, static_cast<ptrdiff_t>(image + 8));
  uint64_t timestamp = 0;
  double exposure = 0;
  std::memcpy(&timestamp, base(cam.ds, b) + chunks[0].ChunkOffset, 8);
  std::memcpy(&exposure, base(cam.ds, b) + chunks[1].ChunkOffset, 8);
  EXPECT_EQ(
      timestamp,
      ask(g.DSGetBufferInfo, cam.ds, b, BUFFER_INFO_TIMESTAMP_NS).number(INFO_DATATYPE_UINT64));
  EXPECT_EQ(exposure, 12345.6);
  EXPECT_TRUE(flag(cam.ds, b, BUFFER_INFO_CONTAINS_CHUNKDATA));
  EXPECT_FALSE(flag(cam.ds, b, BUFFER_INFO_IS_INCOMPLETE));
  // Payload-shaping settings stay locked while acquiring.
  EXPECT_EQ(write32(cam.port, reg::kChunkModeActive, 0), GC_ERR_ACCESS_DENIED);
}

TEST_F(CameraTest, BinningLivesInABigEndianRegisterAndRescalesTheRegion) {
  auto imageControl = [&](uint32_t value) {
    const uint32_t bigEndian = __builtin_bswap32(value);
    size_t size = 4;
    return g.GCWritePort(cam.port, reg::kImageControl, &bigEndian, &size);
  };
  ASSERT_EQ(write32(cam.port, reg::kOffsetX, 10), GC_ERR_SUCCESS);
  ASSERT_EQ(imageControl(2 << 8 | 1 << 12 | 1), GC_ERR_SUCCESS);  // 2x1, ReverseX
  EXPECT_EQ(read32(cam.port, reg::kImageControl), __builtin_bswap32(2 << 8 | 1 << 12 | 1));
  EXPECT_EQ(read32(cam.port, reg::kWidth), kWidth / 2);
  EXPECT_EQ(read32(cam.port, reg::kOffsetX), 5u);
  EXPECT_EQ(read32(cam.port, reg::kWidthMax), reg::kSensorWidthMin / 2);
  EXPECT_EQ(read32(cam.port, reg::kHeight), kHeight);
  EXPECT_EQ(write32(cam.port, reg::kPixelFormat, pfnc::kRgb8), GC_ERR_INVALID_VALUE);
  EXPECT_EQ(imageControl(3 << 8 | 1 << 12), GC_ERR_INVALID_VALUE);
  ASSERT_EQ(imageControl(1 << 8 | 1 << 12), GC_ERR_SUCCESS);
  EXPECT_EQ(write32(cam.port, reg::kPixelFormat, pfnc::kRgb8), GC_ERR_SUCCESS);
  EXPECT_EQ(imageControl(2 << 8 | 1 << 12), GC_ERR_INVALID_VALUE);
}

TEST_F(CameraTest, UserSetsResetAndTheUserIdSurviveWhatTheyShould) {
  char name[32] = "left-station";
  size_t size = sizeof name;
  ASSERT_EQ(g.GCWritePort(cam.port, reg::kDeviceUserId, name, &size), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kWidth, 32), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kUserSetSave, 1), GC_ERR_ACCESS_DENIED);  // Default
  ASSERT_EQ(write32(cam.port, reg::kUserSetSelector, 1), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kUserSetSave, 1), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kDeviceReset, 1), GC_ERR_SUCCESS);
  EXPECT_EQ(read32(cam.port, reg::kWidth), kWidth);
  EXPECT_EQ(read32(cam.port, reg::kUserSetSelector), 0u);

  // Closed and opened again: the volatile settings start over, UserSet1 and the name stay.
  ASSERT_EQ(g.DevClose(cam.dev), GC_ERR_SUCCESS);
  cam = open("SimCam0", false);
  EXPECT_EQ(read32(cam.port, reg::kWidth), kWidth);
  char stored[32] = {};
  size = sizeof stored;
  ASSERT_EQ(g.GCReadPort(cam.port, reg::kDeviceUserId, stored, &size), GC_ERR_SUCCESS);
  EXPECT_STREQ(stored, "left-station");
  EXPECT_EQ(ask(g.IFGetDeviceInfo, iface, "SimCam0", DEVICE_INFO_USER_DEFINED_NAME).text(),
            "left-station");
  ASSERT_EQ(write32(cam.port, reg::kUserSetSelector, 1), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kUserSetLoad, 1), GC_ERR_SUCCESS);
  EXPECT_EQ(read32(cam.port, reg::kWidth), 32u);
}

}  // namespace
}  // namespace grabkit::sim::test

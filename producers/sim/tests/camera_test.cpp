// The simulated camera's settings and what they do to the frames.
#include <cstring>

#include "sim_test.h"

namespace grabkit::sim::test {
namespace {

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

class CameraTest : public CameraFixture {
 protected:
  // Takes and queues again what arrives, until nothing comes within `wait` ms.
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
  EXPECT_EQ(timestamp, bufferInfo(b, BUFFER_INFO_TIMESTAMP_NS).number(INFO_DATATYPE_UINT64));
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

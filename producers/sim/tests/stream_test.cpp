// The buffer life cycle under acquisition, the test pattern and the events.
#include <thread>

#include "sim_test.h"

namespace grabkit::sim::test {
namespace {

class StreamTest : public CameraFixture {
 protected:
  // Pixels of a delivered single-image buffer against the documented pattern.
  void expectPattern(BUFFER_HANDLE b, uint32_t format) {
    const uint64_t frame = frameId(cam.ds, b);
    EXPECT_EQ(firstDifference(base(cam.ds, b), expectedImage(format, frame)), -1) << frame;
  }
};

class PixelFormatTest : public StreamTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(PixelFormatTest, BuffersOfBothOriginsCarryConsecutivePatternFramesAndComeBackOnRevoke) {
  const uint32_t format = GetParam();
  ASSERT_EQ(write32(cam.port, reg::kPixelFormat, format), GC_ERR_SUCCESS);
  const size_t size = payload(cam.ds);
  ASSERT_EQ(size, size_t{kWidth} * kHeight * (format == kMono8 ? 1 : format == kMono16 ? 2 : 3));
  std::vector<std::vector<uint8_t>> memory(2, std::vector<uint8_t>(size));
  std::vector<BUFFER_HANDLE> buffers;
  for (auto& m : memory) {
    BUFFER_HANDLE b = nullptr;
    ASSERT_EQ(g.DSAnnounceBuffer(cam.ds, m.data(), m.size(), &m, &b), GC_ERR_SUCCESS);
    buffers.push_back(b);
  }
  int tags[2];
  for (int& tag : tags) buffers.push_back(allocate(cam.ds, size, &tag));
  void* const users[] = {&memory[0], &memory[1], &tags[0], &tags[1]};
  EXPECT_EQ(base(cam.ds, buffers[0]), memory[0].data());
  EXPECT_EQ(bufferInfo(buffers[1], BUFFER_INFO_SIZE).number(INFO_DATATYPE_SIZET), size);
  EXPECT_EQ(bufferInfo(buffers[0], BUFFER_INFO_FRAMEID).error, GC_ERR_NOT_AVAILABLE);
  EXPECT_EQ(streamCount(cam.ds, STREAM_INFO_NUM_ANNOUNCED), 4u);
  for (uint32_t i = 0; i < 4; ++i) {
    BUFFER_HANDLE b = nullptr;
    ASSERT_EQ(g.DSGetBufferID(cam.ds, i, &b), GC_ERR_SUCCESS);
    EXPECT_EQ(b, buffers[i]);
    ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  }
  BUFFER_HANDLE none = nullptr;
  EXPECT_EQ(g.DSGetBufferID(cam.ds, 4, &none), GC_ERR_INVALID_INDEX);
  EXPECT_EQ(g.DSQueueBuffer(cam.ds, buffers[0]), GC_ERR_RESOURCE_IN_USE);
  EXPECT_EQ(streamCount(cam.ds, STREAM_INFO_NUM_QUEUED), 4u);

  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  EXPECT_TRUE(grabbing(cam.ds));
  uint64_t lastTimestamp = 0;
  for (uint64_t frame = 1; frame <= 12; ++frame) {
    const EVENT_NEW_BUFFER_DATA data = next(event);
    const BUFFER_HANDLE b = data.BufferHandle;
    const auto slot = std::find(buffers.begin(), buffers.end(), b);
    ASSERT_NE(slot, buffers.end());
    EXPECT_EQ(data.pUserPointer, users[slot - buffers.begin()]);
    const auto sizet = INFO_DATATYPE_SIZET;
    const auto bool8 = INFO_DATATYPE_BOOL8;
    expectInfo([&](int32_t cmd) { return bufferInfo(b, cmd); },
               {{"FRAMEID", BUFFER_INFO_FRAMEID, INFO_DATATYPE_UINT64, frame},
                {"WIDTH", BUFFER_INFO_WIDTH, sizet, kWidth},
                {"HEIGHT", BUFFER_INFO_HEIGHT, sizet, kHeight},
                {"DELIVERED_IMAGEHEIGHT", BUFFER_INFO_DELIVERED_IMAGEHEIGHT, sizet, kHeight},
                {"SIZE_FILLED", BUFFER_INFO_SIZE_FILLED, sizet, size},
                {"PAYLOADTYPE", BUFFER_INFO_PAYLOADTYPE, sizet, PAYLOAD_TYPE_IMAGE},
                {"PIXELFORMAT", BUFFER_INFO_PIXELFORMAT, INFO_DATATYPE_UINT64, format},
                {"NEW_DATA", BUFFER_INFO_NEW_DATA, bool8, 1},
                {"IS_INCOMPLETE", BUFFER_INFO_IS_INCOMPLETE, bool8, 0},
                {"IS_QUEUED", BUFFER_INFO_IS_QUEUED, bool8, 0}});
    expectPattern(b, format);
    const uint64_t timestamp = bufferInfo(b, BUFFER_INFO_TIMESTAMP_NS).number(INFO_DATATYPE_UINT64);
    EXPECT_GT(timestamp, lastTimestamp);
    lastTimestamp = timestamp;
    uint32_t parts = 0;
    ASSERT_EQ(g.DSGetNumBufferParts(cam.ds, b, &parts), GC_ERR_SUCCESS);
    EXPECT_EQ(parts, 1u);
    const Answer partBase = ask(g.DSGetBufferPartInfo, cam.ds, b, 0, BUFFER_PART_INFO_BASE);
    EXPECT_EQ(partBase.number(INFO_DATATYPE_PTR), ptr(base(cam.ds, b)));
    ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  }
  ASSERT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
  EXPECT_FALSE(grabbing(cam.ds));
  EXPECT_GE(streamCount(cam.ds, STREAM_INFO_NUM_DELIVERED), 12u);

  // Queued buffers stay the producer's until the queues are flushed.
  void* memoryBack = nullptr;
  void* userBack = nullptr;
  EXPECT_EQ(g.DSRevokeBuffer(cam.ds, buffers[0], &memoryBack, &userBack), GC_ERR_BUSY);
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_ALL_DISCARD), GC_ERR_SUCCESS);
  for (size_t i = 0; i < buffers.size(); ++i) {
    ASSERT_EQ(g.DSRevokeBuffer(cam.ds, buffers[i], &memoryBack, &userBack), GC_ERR_SUCCESS);
    // The producer's own memory is gone with the buffer.
    EXPECT_EQ(memoryBack, i < 2 ? memory[i].data() : nullptr);
    EXPECT_EQ(userBack, users[i]);
  }
  EXPECT_EQ(streamCount(cam.ds, STREAM_INFO_NUM_ANNOUNCED), 0u);
  EXPECT_EQ(g.DSRevokeBuffer(cam.ds, buffers[0], nullptr, nullptr), GC_ERR_INVALID_HANDLE);
}

INSTANTIATE_TEST_SUITE_P(Formats, PixelFormatTest, ::testing::Values(kMono8, kMono16, kRgb8));

TEST_F(StreamTest, TestPatternOffDeliversBlackFrames) {
  ASSERT_EQ(write32(cam.port, reg::kTestPattern, 0), GC_ERR_SUCCESS);
  std::vector<uint8_t> memory(payload(cam.ds), 0x5A);
  BUFFER_HANDLE b = nullptr;
  ASSERT_EQ(g.DSAnnounceBuffer(cam.ds, memory.data(), memory.size(), nullptr, &b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, 1), GC_ERR_SUCCESS);
  next(event);
  EXPECT_EQ(firstDifference(memory.data(), std::vector<uint8_t>(memory.size(), 0)), -1);
}

TEST_F(StreamTest, WaitsTimeOutAndAKillWithoutAWaiterAbortsTheNextWaitOnly) {
  using Clock = std::chrono::steady_clock;
  EVENT_NEW_BUFFER_DATA data{};
  size_t size = sizeof data;
  const auto before = Clock::now();
  EXPECT_EQ(g.EventGetData(event, &data, &size, 50), GC_ERR_TIMEOUT);
  const auto waited = Clock::now() - before;
  EXPECT_GE(waited, std::chrono::milliseconds(45));
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_EQ(g.EventGetData(event, &data, &size, 0), GC_ERR_TIMEOUT);

  ASSERT_EQ(g.EventKill(event), GC_ERR_SUCCESS);
  EXPECT_EQ(g.EventGetData(event, &data, &size, 0), GC_ERR_ABORT);
  EXPECT_EQ(g.EventGetData(event, &data, &size, 0), GC_ERR_TIMEOUT);

  size = 0;
  EXPECT_EQ(g.EventGetData(event, nullptr, &size, 0), GC_ERR_SUCCESS);
  EXPECT_EQ(size, sizeof data);
  size = sizeof data - 1;
  EXPECT_EQ(g.EventGetData(event, &data, &size, 0), GC_ERR_BUFFER_TOO_SMALL);
}

TEST_F(StreamTest, FlushOperationsMoveBuffersBetweenQueues) {
  std::vector<BUFFER_HANDLE> buffers;
  for (int i = 0; i < 3; ++i) buffers.push_back(allocate(cam.ds, payload(cam.ds)));
  using Counts = std::pair<uint64_t, uint64_t>;
  auto counts = [&] {
    return Counts(streamCount(cam.ds, STREAM_INFO_NUM_QUEUED),
                  streamCount(cam.ds, STREAM_INFO_NUM_AWAIT_DELIVERY));
  };
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_UNQUEUED_TO_INPUT), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(3, 0));
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(0, 3));
  EXPECT_EQ(ask(g.EventGetInfo, event, EVENT_NUM_IN_QUEUE).number(INFO_DATATYPE_UINT64), 3u);
  // Flushed to the output in queue order, without new data.
  const BUFFER_HANDLE first = next(event).BufferHandle;
  EXPECT_EQ(first, buffers[0]);
  EXPECT_FALSE(flag(cam.ds, first, BUFFER_INFO_NEW_DATA));
  EXPECT_TRUE(flag(cam.ds, buffers[1], BUFFER_INFO_IS_QUEUED));

  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_OUTPUT_DISCARD), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(0, 0));
  for (BUFFER_HANDLE b : buffers) EXPECT_FALSE(flag(cam.ds, b, BUFFER_INFO_IS_QUEUED));

  ASSERT_EQ(g.DSQueueBuffer(cam.ds, buffers[2]), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, buffers[0]), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(1, 1));
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_UNQUEUED_TO_INPUT), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(2, 1));  // the output is not "unqueued"
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_ALL_TO_INPUT), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(3, 0));
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_ALL_DISCARD), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(0, 0));
  EXPECT_EQ(g.DSFlushQueue(cam.ds, 5), GC_ERR_INVALID_PARAMETER);

  // EventFlush drops pending events; their buffers are neither queued nor delivered.
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_UNQUEUED_TO_INPUT), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
  ASSERT_EQ(g.EventFlush(event), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(0, 0));
  EVENT_NEW_BUFFER_DATA data{};
  size_t size = sizeof data;
  EXPECT_EQ(g.EventGetData(event, &data, &size, 0), GC_ERR_TIMEOUT);
  for (BUFFER_HANDLE b : buffers) EXPECT_EQ(g.DSRevokeBuffer(cam.ds, b, nullptr, nullptr), 0);
}

TEST_F(StreamTest, FramesWithoutAQueuedBufferAreLost) {
  start(cam.ds, 1);
  const BUFFER_HANDLE b = next(event).BufferHandle;
  EXPECT_EQ(frameId(cam.ds, b), 1u);
  EXPECT_TRUE(eventually([&] { return streamCount(cam.ds, STREAM_INFO_NUM_UNDERRUN) >= 1; }));
  // Lost frames take no frame ID.
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  EXPECT_EQ(frameId(cam.ds, next(event).BufferHandle), 2u);

  // With a frame rate the sensor keeps its clock and loses every frame it cannot place.
  ASSERT_EQ(write32(cam.port, reg::kFrameRate, 500000), GC_ERR_SUCCESS);
  const uint64_t before = streamCount(cam.ds, STREAM_INFO_NUM_UNDERRUN);
  EXPECT_TRUE(
      eventually([&] { return streamCount(cam.ds, STREAM_INFO_NUM_UNDERRUN) >= before + 3; }));
  EXPECT_EQ(streamCount(cam.ds, STREAM_INFO_NUM_DELIVERED), 2u);
}

TEST_F(StreamTest, StartAndStopRules) {
  EXPECT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE),
            GC_ERR_INVALID_BUFFER);
  for (int i = 0; i < 2; ++i)
    ASSERT_EQ(g.DSQueueBuffer(cam.ds, allocate(cam.ds, payload(cam.ds))), 0);
  EXPECT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, 0), GC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(g.DSStartAcquisition(cam.ds, 7, GENTL_INFINITE), GC_ERR_INVALID_PARAMETER);

  // A counted acquisition ends by itself; the next start continues the frame IDs.
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, 3), GC_ERR_SUCCESS);
  for (uint64_t frame = 1; frame <= 3; ++frame) {
    const BUFFER_HANDLE b = next(event).BufferHandle;
    EXPECT_EQ(frameId(cam.ds, b), frame);
    ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  }
  EXPECT_TRUE(eventually([&] { return !grabbing(cam.ds); }));
  EVENT_NEW_BUFFER_DATA data{};
  size_t size = sizeof data;
  EXPECT_EQ(g.EventGetData(event, &data, &size, 50), GC_ERR_TIMEOUT);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  EXPECT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE),
            GC_ERR_RESOURCE_IN_USE);
  EXPECT_EQ(frameId(cam.ds, next(event).BufferHandle), 4u);

  EXPECT_EQ(g.DSStopAcquisition(cam.ds, 9), GC_ERR_INVALID_PARAMETER);
  ASSERT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_KILL), GC_ERR_SUCCESS);
  for (uint32_t i = 0; i < 2; ++i) {
    BUFFER_HANDLE b = nullptr;
    ASSERT_EQ(g.DSGetBufferID(cam.ds, i, &b), GC_ERR_SUCCESS);
    EXPECT_FALSE(flag(cam.ds, b, BUFFER_INFO_IS_ACQUIRING));
  }
  EXPECT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
}

TEST_F(StreamTest, BufferSmallerThanThePayloadIsDeliveredIncomplete) {
  constexpr uint8_t kGuard = 0xAB;
  const size_t announced = payload(cam.ds) / 2 + 10;  // 24 whole rows and 10 bytes of the next
  std::vector<uint8_t> memory(payload(cam.ds) + 64, kGuard);
  BUFFER_HANDLE b = nullptr;
  ASSERT_EQ(g.DSAnnounceBuffer(cam.ds, memory.data(), announced, nullptr, &b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, 1), GC_ERR_SUCCESS);
  ASSERT_EQ(next(event).BufferHandle, b);
  expectInfo(
      [&](int32_t cmd) { return bufferInfo(b, cmd); },
      {{"IS_INCOMPLETE", BUFFER_INFO_IS_INCOMPLETE, INFO_DATATYPE_BOOL8, 1},
       {"DATA_LARGER_THAN_BUFFER", BUFFER_INFO_DATA_LARGER_THAN_BUFFER, INFO_DATATYPE_BOOL8, 1},
       {"SIZE_FILLED", BUFFER_INFO_SIZE_FILLED, INFO_DATATYPE_SIZET, announced},
       {"DELIVERED_IMAGEHEIGHT", BUFFER_INFO_DELIVERED_IMAGEHEIGHT, INFO_DATATYPE_SIZET,
        kHeight / 2}});
  auto expected = expectedImage(kMono8, 1);
  expected.resize(announced);
  expected.resize(memory.size(), kGuard);
  EXPECT_EQ(firstDifference(memory.data(), expected), -1);
}

TEST_F(StreamTest, EventRegistrationAndInformation) {
  EVENT_HANDLE second = nullptr;
  EXPECT_EQ(g.GCRegisterEvent(cam.ds, EVENT_NEW_BUFFER, &second), GC_ERR_RESOURCE_IN_USE);
  EXPECT_EQ(g.GCRegisterEvent(cam.ds, EVENT_ERROR, &second), GC_ERR_NOT_IMPLEMENTED);
  EXPECT_EQ(g.GCRegisterEvent(cam.dev, EVENT_NEW_BUFFER, &second), GC_ERR_NOT_IMPLEMENTED);
  EXPECT_EQ(g.GCRegisterEvent(event, EVENT_NEW_BUFFER, &second), GC_ERR_INVALID_HANDLE);

  int tag = 0;
  const BUFFER_HANDLE b = allocate(cam.ds, payload(cam.ds), &tag);
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, 1), GC_ERR_SUCCESS);
  const EVENT_NEW_BUFFER_DATA data = next(event);
  EXPECT_EQ(ask(g.EventGetInfo, event, EVENT_NUM_FIRED).number(INFO_DATATYPE_UINT64), 1u);
  expectInfo([&](int32_t cmd) { return ask(g.EventGetDataInfo, event, &data, sizeof data, cmd); },
             {{"DATA_ID", EVENT_DATA_ID, INFO_DATATYPE_PTR, ptr(b)},
              {"DATA_VALUE", EVENT_DATA_VALUE, INFO_DATATYPE_PTR, ptr(&tag)}});

  ASSERT_EQ(g.GCUnregisterEvent(cam.ds, EVENT_NEW_BUFFER), GC_ERR_SUCCESS);
  EXPECT_EQ(g.EventKill(event), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.GCUnregisterEvent(cam.ds, EVENT_NEW_BUFFER), GC_ERR_NOT_AVAILABLE);
  EXPECT_NE(registerEvent(cam.ds), nullptr);
}

class Camera3DTest : public StreamTest {
  const char* deviceId() const override { return "SimCam3D"; }
};

TEST_F(Camera3DTest, MultiPartBufferHoldsRangeThenIntensity) {
  const size_t pixels = size_t{kWidth} * kHeight;
  ASSERT_EQ(payload(cam.ds), 3 * pixels);
  EXPECT_EQ(read32(cam.port, reg::kPixelFormat), kMono16);
  EXPECT_EQ(write32(cam.port, reg::kPixelFormat, kMono8), GC_ERR_INVALID_VALUE);

  start(cam.ds, 1, 1);
  const BUFFER_HANDLE b = next(event).BufferHandle;
  EXPECT_EQ(bufferInfo(b, BUFFER_INFO_PAYLOADTYPE).number(INFO_DATATYPE_SIZET),
            size_t{PAYLOAD_TYPE_MULTI_PART});
  EXPECT_EQ(bufferInfo(b, BUFFER_INFO_WIDTH).error, GC_ERR_NOT_AVAILABLE);
  EXPECT_FALSE(flag(cam.ds, b, BUFFER_INFO_IS_INCOMPLETE));
  uint32_t parts = 0;
  ASSERT_EQ(g.DSGetNumBufferParts(cam.ds, b, &parts), GC_ERR_SUCCESS);
  ASSERT_EQ(parts, 2u);

  const struct {
    size_t offset;
    size_t size;
    size_t dataType;
    uint32_t format;
  } expected[] = {{0, 2 * pixels, PART_DATATYPE_3D_IMAGE, kMono16},
                  {2 * pixels, pixels, PART_DATATYPE_2D_IMAGE, kMono8}};
  for (uint32_t p = 0; p < 2; ++p) {
    SCOPED_TRACE(p);
    const auto sizet = INFO_DATATYPE_SIZET;
    const auto uint64 = INFO_DATATYPE_UINT64;
    const uint8_t* partBase = base(cam.ds, b) + expected[p].offset;
    expectInfo([&](int32_t cmd) { return ask(g.DSGetBufferPartInfo, cam.ds, b, p, cmd); },
               {{"BASE", BUFFER_PART_INFO_BASE, INFO_DATATYPE_PTR, ptr(partBase)},
                {"DATA_SIZE", BUFFER_PART_INFO_DATA_SIZE, sizet, expected[p].size},
                {"DATA_TYPE", BUFFER_PART_INFO_DATA_TYPE, sizet, expected[p].dataType},
                {"DATA_FORMAT", BUFFER_PART_INFO_DATA_FORMAT, uint64, expected[p].format},
                {"WIDTH", BUFFER_PART_INFO_WIDTH, sizet, kWidth},
                {"DELIVERED_IMAGEHEIGHT", BUFFER_PART_INFO_DELIVERED_IMAGEHEIGHT, sizet, kHeight}});
    const auto image = expectedImage(expected[p].format, frameId(cam.ds, b));
    EXPECT_EQ(firstDifference(partBase, image), -1);
  }
  EXPECT_EQ(ask(g.DSGetBufferPartInfo, cam.ds, b, 2, BUFFER_PART_INFO_BASE).error,
            GC_ERR_INVALID_INDEX);
}

TEST_F(SimTest, TwoStreamsAcquireInParallel) {
  const Camera cams[] = {open("SimCam0"), open("SimCam3D")};
  std::vector<std::thread> consumers;
  for (const Camera& cam : cams) {
    const EVENT_HANDLE event = registerEvent(cam.ds);
    start(cam.ds, 3);
    // Failures in these threads are recorded like any other; ASSERT ends the thread.
    consumers.emplace_back([this, cam, event] {
      for (uint64_t frame = 1; frame <= 200; ++frame) {
        const BUFFER_HANDLE b = next(event).BufferHandle;
        ASSERT_EQ(frameId(cam.ds, b), frame);
        ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
      }
    });
  }
  for (auto& t : consumers) t.join();
}

}  // namespace
}  // namespace grabkit::sim::test

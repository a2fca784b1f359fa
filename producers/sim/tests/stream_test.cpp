// The buffer life cycle under acquisition, the test pattern and the events.
#include <atomic>
#include <thread>

#include "sim_test.h"

namespace grabkit::sim::test {
namespace {

class StreamTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    cam = open(deviceId());
    event = registerEvent(cam.ds);
  }
  virtual const char* deviceId() const { return "SimCam0"; }

  size_t payload() {
    return value<size_t>(streamInfo(cam.ds, STREAM_INFO_PAYLOAD_SIZE), INFO_DATATYPE_SIZET);
  }
  uint64_t frameId(BUFFER_HANDLE buffer) {
    return value<uint64_t>(bufferInfo(cam.ds, buffer, BUFFER_INFO_FRAMEID), INFO_DATATYPE_UINT64);
  }
  const uint8_t* base(BUFFER_HANDLE buffer) {
    return value<const uint8_t*>(bufferInfo(cam.ds, buffer, BUFFER_INFO_BASE), INFO_DATATYPE_PTR);
  }
  bool flag(BUFFER_HANDLE buffer, BUFFER_INFO_CMD cmd) {
    return value<bool8_t>(bufferInfo(cam.ds, buffer, cmd), INFO_DATATYPE_BOOL8) != 0;
  }
  // Pixels of a delivered single-image buffer against the documented pattern.
  void expectPattern(BUFFER_HANDLE buffer, uint32_t pixelFormat) {
    const auto expected = expectedImage(pixelFormat, kWidth, kHeight, frameId(buffer));
    EXPECT_EQ(firstDifference(base(buffer), expected), -1) << "frame " << frameId(buffer);
  }

  Camera cam;
  EVENT_HANDLE event = nullptr;
};

TEST_F(StreamTest, DeliversTheMovingPatternWithConsecutiveFrameIds) {
  ASSERT_EQ(payload(), size_t{kWidth} * kHeight);
  std::vector<std::vector<uint8_t>> memory(2, std::vector<uint8_t>(payload()));
  std::vector<BUFFER_HANDLE> buffers;
  for (auto& m : memory) {
    BUFFER_HANDLE b = nullptr;
    ASSERT_EQ(g.DSAnnounceBuffer(cam.ds, m.data(), m.size(), &m, &b), GC_ERR_SUCCESS);
    buffers.push_back(b);
  }
  int tags[2];
  buffers.push_back(allocate(cam.ds, payload(), &tags[0]));
  buffers.push_back(allocate(cam.ds, payload(), &tags[1]));
  EXPECT_EQ(base(buffers[0]), memory[0].data());
  EXPECT_EQ(value<size_t>(bufferInfo(cam.ds, buffers[1], BUFFER_INFO_SIZE), INFO_DATATYPE_SIZET),
            payload());
  EXPECT_EQ(bufferInfo(cam.ds, buffers[0], BUFFER_INFO_FRAMEID).error, GC_ERR_NOT_AVAILABLE);
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
  EXPECT_EQ(value<bool8_t>(streamInfo(cam.ds, STREAM_INFO_IS_GRABBING), INFO_DATATYPE_BOOL8), 1);
  uint64_t lastTimestamp = 0;
  for (uint64_t frame = 1; frame <= 12; ++frame) {
    const EVENT_NEW_BUFFER_DATA data = next(event);
    const auto slot = std::find(buffers.begin(), buffers.end(), data.BufferHandle);
    ASSERT_NE(slot, buffers.end());
    const void* user = slot - buffers.begin() < 2
                           ? static_cast<void*>(&memory[slot - buffers.begin()])
                           : static_cast<void*>(&tags[slot - buffers.begin() - 2]);
    EXPECT_EQ(data.pUserPointer, user);
    EXPECT_EQ(frameId(data.BufferHandle), frame);
    expectPattern(data.BufferHandle, kMono8);

    const BUFFER_HANDLE b = data.BufferHandle;
    EXPECT_EQ(value<size_t>(bufferInfo(cam.ds, b, BUFFER_INFO_WIDTH), INFO_DATATYPE_SIZET), kWidth);
    EXPECT_EQ(value<size_t>(bufferInfo(cam.ds, b, BUFFER_INFO_HEIGHT), INFO_DATATYPE_SIZET),
              kHeight);
    EXPECT_EQ(value<uint64_t>(bufferInfo(cam.ds, b, BUFFER_INFO_PIXELFORMAT), INFO_DATATYPE_UINT64),
              kMono8);
    EXPECT_EQ(value<uint64_t>(bufferInfo(cam.ds, b, BUFFER_INFO_PIXELFORMAT_NAMESPACE),
                              INFO_DATATYPE_UINT64),
              uint64_t{PIXELFORMAT_NAMESPACE_PFNC_32BIT});
    EXPECT_EQ(value<size_t>(bufferInfo(cam.ds, b, BUFFER_INFO_PAYLOADTYPE), INFO_DATATYPE_SIZET),
              size_t{PAYLOAD_TYPE_IMAGE});
    EXPECT_EQ(value<size_t>(bufferInfo(cam.ds, b, BUFFER_INFO_SIZE_FILLED), INFO_DATATYPE_SIZET),
              payload());
    EXPECT_EQ(value<size_t>(bufferInfo(cam.ds, b, BUFFER_INFO_DELIVERED_IMAGEHEIGHT),
                            INFO_DATATYPE_SIZET),
              kHeight);
    EXPECT_EQ(
        value<int32_t>(bufferInfo(cam.ds, b, BUFFER_INFO_PIXEL_ENDIANNESS), INFO_DATATYPE_INT32),
        PIXELENDIANNESS_LITTLE);
    EXPECT_EQ(bufferInfo(cam.ds, b, BUFFER_INFO_TLTYPE).text(), "Custom");
    EXPECT_TRUE(flag(b, BUFFER_INFO_NEW_DATA));
    EXPECT_TRUE(flag(b, BUFFER_INFO_IMAGEPRESENT));
    EXPECT_FALSE(flag(b, BUFFER_INFO_IS_INCOMPLETE));
    EXPECT_FALSE(flag(b, BUFFER_INFO_IS_QUEUED));
    EXPECT_FALSE(flag(b, BUFFER_INFO_CONTAINS_CHUNKDATA));
    const uint64_t timestamp =
        value<uint64_t>(bufferInfo(cam.ds, b, BUFFER_INFO_TIMESTAMP_NS), INFO_DATATYPE_UINT64);
    EXPECT_GT(timestamp, lastTimestamp);
    lastTimestamp = timestamp;
    uint32_t parts = 0;
    ASSERT_EQ(g.DSGetNumBufferParts(cam.ds, b, &parts), GC_ERR_SUCCESS);
    EXPECT_EQ(parts, 1u);
    EXPECT_EQ(
        value<const uint8_t*>(partInfo(cam.ds, b, 0, BUFFER_PART_INFO_BASE), INFO_DATATYPE_PTR),
        base(b));
    ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  }
  ASSERT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
  EXPECT_EQ(value<bool8_t>(streamInfo(cam.ds, STREAM_INFO_IS_GRABBING), INFO_DATATYPE_BOOL8), 0);
  EXPECT_GE(streamCount(cam.ds, STREAM_INFO_NUM_DELIVERED), 12u);

  // Queued buffers stay the producer's until the queues are flushed.
  void* memoryBack = nullptr;
  void* userBack = nullptr;
  EXPECT_EQ(g.DSRevokeBuffer(cam.ds, buffers[0], &memoryBack, &userBack), GC_ERR_BUSY);
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_ALL_DISCARD), GC_ERR_SUCCESS);
  for (size_t i = 0; i < buffers.size(); ++i) {
    ASSERT_EQ(g.DSRevokeBuffer(cam.ds, buffers[i], &memoryBack, &userBack), GC_ERR_SUCCESS);
    if (i < 2) {
      EXPECT_EQ(memoryBack, memory[i].data());
      EXPECT_EQ(userBack, &memory[i]);
    } else {
      EXPECT_EQ(memoryBack, nullptr);  // the producer's memory is gone with the buffer
      EXPECT_EQ(userBack, &tags[i - 2]);
    }
  }
  EXPECT_EQ(streamCount(cam.ds, STREAM_INFO_NUM_ANNOUNCED), 0u);
  EXPECT_EQ(g.DSRevokeBuffer(cam.ds, buffers[0], nullptr, nullptr), GC_ERR_INVALID_HANDLE);
}

class PixelFormatTest : public StreamTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(PixelFormatTest, PatternAndPayloadFollowThePixelFormat) {
  const uint32_t format = GetParam();
  ASSERT_EQ(write32(cam.port, reg::kPixelFormat, format), GC_ERR_SUCCESS);
  const size_t bytesPerPixel = format == kMono8 ? 1 : format == kMono16 ? 2 : 3;
  ASSERT_EQ(payload(), size_t{kWidth} * kHeight * bytesPerPixel);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(g.DSQueueBuffer(cam.ds, allocate(cam.ds, payload())), 0);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  for (int i = 0; i < 4; ++i) {
    const BUFFER_HANDLE b = next(event).BufferHandle;
    EXPECT_EQ(value<uint64_t>(bufferInfo(cam.ds, b, BUFFER_INFO_PIXELFORMAT), INFO_DATATYPE_UINT64),
              format);
    expectPattern(b, format);
    ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, PixelFormatTest, ::testing::Values(kMono8, kMono16, kRgb8));

TEST_F(StreamTest, TestPatternOffDeliversBlackFrames) {
  ASSERT_EQ(write32(cam.port, reg::kTestPattern, 0), GC_ERR_SUCCESS);
  std::vector<uint8_t> memory(payload(), 0x5A);
  BUFFER_HANDLE b = nullptr;
  ASSERT_EQ(g.DSAnnounceBuffer(cam.ds, memory.data(), memory.size(), nullptr, &b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, 1), GC_ERR_SUCCESS);
  next(event);
  EXPECT_EQ(firstDifference(memory.data(), std::vector<uint8_t>(memory.size(), 0)), -1);
}

TEST_F(StreamTest, WaitsTimeOutAndEventKillAbortsOneWait) {
  using Clock = std::chrono::steady_clock;
  EVENT_NEW_BUFFER_DATA data{};
  size_t size = sizeof data;
  const auto before = Clock::now();
  EXPECT_EQ(g.EventGetData(event, &data, &size, 50), GC_ERR_TIMEOUT);
  const auto waited = Clock::now() - before;
  EXPECT_GE(waited, std::chrono::milliseconds(45));
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_EQ(g.EventGetData(event, &data, &size, 0), GC_ERR_TIMEOUT);

  std::atomic<GC_ERROR> result{GC_ERR_SUCCESS};
  std::thread waiter([&] {
    EVENT_NEW_BUFFER_DATA d{};
    size_t s = sizeof d;
    result = g.EventGetData(event, &d, &s, GENTL_INFINITE);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(g.EventKill(event), GC_ERR_SUCCESS);
  waiter.join();
  EXPECT_EQ(result, GC_ERR_ABORT);

  // Without a waiter the kill is kept for the next wait, and only that one.
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
  for (int i = 0; i < 3; ++i) buffers.push_back(allocate(cam.ds, payload()));
  auto counts = [&] {
    return std::make_pair(streamCount(cam.ds, STREAM_INFO_NUM_QUEUED),
                          streamCount(cam.ds, STREAM_INFO_NUM_AWAIT_DELIVERY));
  };
  using Counts = std::pair<uint64_t, uint64_t>;

  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_UNQUEUED_TO_INPUT), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(3, 0));
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(0, 3));
  const Answer inQueue = ask([&](INFO_DATATYPE* t, void* b, size_t* s) {
    return g.EventGetInfo(event, EVENT_NUM_IN_QUEUE, t, b, s);
  });
  EXPECT_EQ(value<uint64_t>(inQueue, INFO_DATATYPE_UINT64), 3u);
  // Flushed to the output in queue order, without new data.
  const BUFFER_HANDLE first = next(event).BufferHandle;
  EXPECT_EQ(first, buffers[0]);
  EXPECT_FALSE(flag(first, BUFFER_INFO_NEW_DATA));
  EXPECT_TRUE(flag(buffers[1], BUFFER_INFO_IS_QUEUED));

  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_OUTPUT_DISCARD), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(0, 0));
  for (BUFFER_HANDLE b : buffers) EXPECT_FALSE(flag(b, BUFFER_INFO_IS_QUEUED));

  ASSERT_EQ(g.DSQueueBuffer(cam.ds, buffers[2]), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, buffers[0]), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(1, 1));
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_UNQUEUED_TO_INPUT), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(2, 1));  // the output is not "unqueued"
  ASSERT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_ALL_TO_INPUT), GC_ERR_SUCCESS);
  EXPECT_EQ(counts(), Counts(3, 0));
  EXPECT_EQ(g.DSRevokeBuffer(cam.ds, buffers[1], nullptr, nullptr), GC_ERR_BUSY);
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
  const BUFFER_HANDLE b = allocate(cam.ds, payload());
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  EXPECT_EQ(frameId(next(event).BufferHandle), 1u);
  EXPECT_TRUE(eventually([&] { return streamCount(cam.ds, STREAM_INFO_NUM_UNDERRUN) >= 1; }));
  // Lost frames take no frame ID.
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  EXPECT_EQ(frameId(next(event).BufferHandle), 2u);

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
  for (int i = 0; i < 2; ++i) ASSERT_EQ(g.DSQueueBuffer(cam.ds, allocate(cam.ds, payload())), 0);
  EXPECT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, 0), GC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(g.DSStartAcquisition(cam.ds, 7, GENTL_INFINITE), GC_ERR_INVALID_PARAMETER);

  // A counted acquisition ends by itself; the next start continues the frame IDs.
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, 3), GC_ERR_SUCCESS);
  for (uint64_t frame = 1; frame <= 3; ++frame) {
    const BUFFER_HANDLE b = next(event).BufferHandle;
    EXPECT_EQ(frameId(b), frame);
    ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  }
  EXPECT_TRUE(eventually([&] {
    return value<bool8_t>(streamInfo(cam.ds, STREAM_INFO_IS_GRABBING), INFO_DATATYPE_BOOL8) == 0;
  }));
  EVENT_NEW_BUFFER_DATA data{};
  size_t size = sizeof data;
  EXPECT_EQ(g.EventGetData(event, &data, &size, 50), GC_ERR_TIMEOUT);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  EXPECT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE),
            GC_ERR_RESOURCE_IN_USE);
  EXPECT_EQ(frameId(next(event).BufferHandle), 4u);

  EXPECT_EQ(g.DSStopAcquisition(cam.ds, 9), GC_ERR_INVALID_PARAMETER);
  ASSERT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_KILL), GC_ERR_SUCCESS);
  for (uint32_t i = 0; i < 2; ++i) {
    BUFFER_HANDLE b = nullptr;
    ASSERT_EQ(g.DSGetBufferID(cam.ds, i, &b), GC_ERR_SUCCESS);
    EXPECT_FALSE(flag(b, BUFFER_INFO_IS_ACQUIRING));
  }
  EXPECT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
}

TEST_F(StreamTest, BufferSmallerThanThePayloadIsDeliveredIncomplete) {
  constexpr uint8_t kGuard = 0xAB;
  const size_t announced = payload() / 2 + 10;  // 24 whole rows and 10 bytes of the next
  std::vector<uint8_t> memory(payload() + 64, kGuard);
  BUFFER_HANDLE b = nullptr;
  ASSERT_EQ(g.DSAnnounceBuffer(cam.ds, memory.data(), announced, nullptr, &b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, 1), GC_ERR_SUCCESS);
  ASSERT_EQ(next(event).BufferHandle, b);

  EXPECT_TRUE(flag(b, BUFFER_INFO_IS_INCOMPLETE));
  EXPECT_TRUE(flag(b, BUFFER_INFO_DATA_LARGER_THAN_BUFFER));
  EXPECT_EQ(value<size_t>(bufferInfo(cam.ds, b, BUFFER_INFO_SIZE_FILLED), INFO_DATATYPE_SIZET),
            announced);
  EXPECT_EQ(
      value<size_t>(bufferInfo(cam.ds, b, BUFFER_INFO_DELIVERED_IMAGEHEIGHT), INFO_DATATYPE_SIZET),
      kHeight / 2);
  auto expected = expectedImage(kMono8, kWidth, kHeight, 1);
  expected.resize(announced);
  EXPECT_EQ(firstDifference(memory.data(), expected), -1);
  for (size_t i = announced; i < memory.size(); ++i) ASSERT_EQ(memory[i], kGuard) << i;
}

TEST_F(StreamTest, EventRegistrationAndInformation) {
  EVENT_HANDLE second = nullptr;
  EXPECT_EQ(g.GCRegisterEvent(cam.ds, EVENT_NEW_BUFFER, &second), GC_ERR_RESOURCE_IN_USE);
  EXPECT_EQ(g.GCRegisterEvent(cam.ds, EVENT_ERROR, &second), GC_ERR_NOT_IMPLEMENTED);
  EXPECT_EQ(g.GCRegisterEvent(cam.dev, EVENT_NEW_BUFFER, &second), GC_ERR_NOT_IMPLEMENTED);
  EXPECT_EQ(g.GCRegisterEvent(event, EVENT_NEW_BUFFER, &second), GC_ERR_INVALID_HANDLE);

  auto info = [&](EVENT_INFO_CMD cmd) {
    return ask(
        [&](INFO_DATATYPE* t, void* b, size_t* s) { return g.EventGetInfo(event, cmd, t, b, s); });
  };
  EXPECT_EQ(value<int32_t>(info(EVENT_EVENT_TYPE), INFO_DATATYPE_INT32), EVENT_NEW_BUFFER);
  EXPECT_EQ(value<size_t>(info(EVENT_SIZE_MAX), INFO_DATATYPE_SIZET),
            sizeof(EVENT_NEW_BUFFER_DATA));

  int tag = 0;
  const BUFFER_HANDLE b = allocate(cam.ds, payload(), &tag);
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, 1), GC_ERR_SUCCESS);
  const EVENT_NEW_BUFFER_DATA data = next(event);
  EXPECT_EQ(value<uint64_t>(info(EVENT_NUM_FIRED), INFO_DATATYPE_UINT64), 1u);
  auto dataInfo = [&](EVENT_DATA_INFO_CMD cmd) {
    return ask([&](INFO_DATATYPE* t, void* out, size_t* s) {
      return g.EventGetDataInfo(event, &data, sizeof data, cmd, t, out, s);
    });
  };
  EXPECT_EQ(value<void*>(dataInfo(EVENT_DATA_ID), INFO_DATATYPE_PTR), b);
  EXPECT_EQ(value<void*>(dataInfo(EVENT_DATA_VALUE), INFO_DATATYPE_PTR), &tag);

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
  ASSERT_EQ(payload(), 3 * pixels);
  EXPECT_EQ(read32(cam.port, reg::kPixelFormat), kMono16);
  EXPECT_EQ(write32(cam.port, reg::kPixelFormat, kMono8), GC_ERR_INVALID_VALUE);

  const BUFFER_HANDLE b = allocate(cam.ds, payload());
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, b), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, 1), GC_ERR_SUCCESS);
  ASSERT_EQ(next(event).BufferHandle, b);
  EXPECT_EQ(value<size_t>(bufferInfo(cam.ds, b, BUFFER_INFO_PAYLOADTYPE), INFO_DATATYPE_SIZET),
            size_t{PAYLOAD_TYPE_MULTI_PART});
  EXPECT_EQ(bufferInfo(cam.ds, b, BUFFER_INFO_WIDTH).error, GC_ERR_NOT_AVAILABLE);
  EXPECT_FALSE(flag(b, BUFFER_INFO_IS_INCOMPLETE));
  uint32_t parts = 0;
  ASSERT_EQ(g.DSGetNumBufferParts(cam.ds, b, &parts), GC_ERR_SUCCESS);
  ASSERT_EQ(parts, 2u);

  const uint64_t frame = frameId(b);
  const struct {
    size_t offset;
    size_t size;
    size_t dataType;
    uint32_t format;
  } expected[] = {{0, 2 * pixels, PART_DATATYPE_3D_IMAGE, kMono16},
                  {2 * pixels, pixels, PART_DATATYPE_2D_IMAGE, kMono8}};
  for (uint32_t p = 0; p < 2; ++p) {
    const auto* partBase =
        value<const uint8_t*>(partInfo(cam.ds, b, p, BUFFER_PART_INFO_BASE), INFO_DATATYPE_PTR);
    EXPECT_EQ(partBase, base(b) + expected[p].offset);
    EXPECT_EQ(
        value<size_t>(partInfo(cam.ds, b, p, BUFFER_PART_INFO_DATA_SIZE), INFO_DATATYPE_SIZET),
        expected[p].size);
    EXPECT_EQ(
        value<size_t>(partInfo(cam.ds, b, p, BUFFER_PART_INFO_DATA_TYPE), INFO_DATATYPE_SIZET),
        expected[p].dataType);
    EXPECT_EQ(
        value<uint64_t>(partInfo(cam.ds, b, p, BUFFER_PART_INFO_DATA_FORMAT), INFO_DATATYPE_UINT64),
        expected[p].format);
    EXPECT_EQ(value<uint64_t>(partInfo(cam.ds, b, p, BUFFER_PART_INFO_DATA_FORMAT_NAMESPACE),
                              INFO_DATATYPE_UINT64),
              uint64_t{PIXELFORMAT_NAMESPACE_PFNC_32BIT});
    EXPECT_EQ(value<size_t>(partInfo(cam.ds, b, p, BUFFER_PART_INFO_WIDTH), INFO_DATATYPE_SIZET),
              kWidth);
    EXPECT_EQ(value<size_t>(partInfo(cam.ds, b, p, BUFFER_PART_INFO_DELIVERED_IMAGEHEIGHT),
                            INFO_DATATYPE_SIZET),
              kHeight);
    EXPECT_EQ(
        value<uint64_t>(partInfo(cam.ds, b, p, BUFFER_PART_INFO_SOURCE_ID), INFO_DATATYPE_UINT64),
        0u);
    const auto image = expectedImage(expected[p].format, kWidth, kHeight, frame);
    EXPECT_EQ(firstDifference(partBase, image), -1) << "part " << p;
  }
  EXPECT_EQ(partInfo(cam.ds, b, 2, BUFFER_PART_INFO_BASE).error, GC_ERR_INVALID_INDEX);
}

TEST_F(SimTest, TwoStreamsAcquireInParallel) {
  const Camera cams[] = {open("SimCam0"), open("SimCam3D")};
  std::vector<std::thread> consumers;
  std::atomic<int> failures{0};
  for (const Camera& cam : cams) {
    const EVENT_HANDLE event = registerEvent(cam.ds);
    const size_t payload =
        value<size_t>(streamInfo(cam.ds, STREAM_INFO_PAYLOAD_SIZE), INFO_DATATYPE_SIZET);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(g.DSQueueBuffer(cam.ds, allocate(cam.ds, payload)), 0);
    ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), 0);
    consumers.emplace_back([&, cam, event] {
      for (uint64_t frame = 1; frame <= 200; ++frame) {
        EVENT_NEW_BUFFER_DATA data{};
        size_t s = sizeof data;
        uint64_t id = 0;
        size_t idSize = sizeof id;
        if (g.EventGetData(event, &data, &s, 5000) != GC_ERR_SUCCESS ||
            g.DSGetBufferInfo(cam.ds, data.BufferHandle, BUFFER_INFO_FRAMEID, nullptr, &id,
                              &idSize) != GC_ERR_SUCCESS ||
            id != frame || g.DSQueueBuffer(cam.ds, data.BufferHandle) != GC_ERR_SUCCESS) {
          ++failures;
          return;
        }
      }
    });
  }
  for (auto& t : consumers) t.join();
  EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace grabkit::sim::test

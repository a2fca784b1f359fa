// Closing in any order: owned modules go with their parent, waiters wake up, and
// nothing leaks (the sanitizer build checks the last part).
#include <atomic>
#include <thread>

#include "sim_test.h"

namespace grabkit::sim::test {
namespace {

class CloseTest : public SimTest {
 protected:
  // An acquiring stream with announced user memory and producer memory.
  EVENT_HANDLE startStreaming(const Camera& cam, std::vector<uint8_t>& memory) {
    const EVENT_HANDLE event = registerEvent(cam.ds);
    size_t payload = 0;
    size_t size = sizeof payload;
    EXPECT_EQ(g.DSGetInfo(cam.ds, STREAM_INFO_PAYLOAD_SIZE, nullptr, &payload, &size), 0);
    memory.resize(payload);
    BUFFER_HANDLE b = nullptr;
    EXPECT_EQ(g.DSAnnounceBuffer(cam.ds, memory.data(), memory.size(), nullptr, &b), 0);
    allocate(cam.ds, payload);
    EXPECT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_ALL_TO_INPUT), 0);
    EXPECT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), 0);
    next(event);
    return event;
  }

  // A thread blocked in an endless EventGetData; returns its eventual result.
  std::thread waitForever(EVENT_HANDLE event, std::atomic<GC_ERROR>& result) {
    result = GC_ERR_SUCCESS;
    return std::thread([this, event, &result] {
      EVENT_NEW_BUFFER_DATA data{};
      size_t size = sizeof data;
      GC_ERROR r;
      // Frames already delivered are taken first; only the wait that blocks counts.
      while ((r = g.EventGetData(event, &data, &size, GENTL_INFINITE)) == GC_ERR_SUCCESS) {
      }
      result = r;
    });
  }
};

TEST_F(CloseTest, CloseLibWithEverythingRunningWakesWaitersAndInvalidatesHandles) {
  std::vector<uint8_t> memory[2];
  const Camera cams[] = {open("SimCam0"), open("SimCam3D")};
  const EVENT_HANDLE events[] = {startStreaming(cams[0], memory[0]),
                                 startStreaming(cams[1], memory[1])};
  std::atomic<GC_ERROR> result;
  std::thread waiter = waitForever(events[0], result);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));

  ASSERT_EQ(g.GCCloseLib(), GC_ERR_SUCCESS);
  waiter.join();
  EXPECT_EQ(result, GC_ERR_ABORT);

  ASSERT_EQ(g.GCInitLib(), GC_ERR_SUCCESS);
  uint32_t count = 0;
  EXPECT_EQ(g.TLGetNumInterfaces(tl, &count), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.DSStopAcquisition(cams[1].ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.EventKill(events[1]), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.GCReadPort(cams[0].port, reg::kWidth, &count, nullptr), GC_ERR_INVALID_HANDLE);
}

TEST_F(CloseTest, ClosingAParentClosesWhatItOwns) {
  std::vector<uint8_t> memory;
  Camera cam = open("SimCam0");
  ASSERT_EQ(write32(cam.port, reg::kWidth, 32), GC_ERR_SUCCESS);
  const EVENT_HANDLE event = startStreaming(cam, memory);
  ASSERT_EQ(g.TLClose(tl), GC_ERR_SUCCESS);
  for (void* gone : {tl, iface, cam.dev, cam.ds, cam.port}) {
    uint32_t word = 0;
    size_t size = sizeof word;
    EXPECT_EQ(g.GCReadPort(gone, 0, &word, &size), GC_ERR_INVALID_HANDLE);
  }
  EXPECT_EQ(g.EventFlush(event), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.DevClose(cam.dev), GC_ERR_INVALID_HANDLE);

  // Everything can be opened again, and a reopened camera starts from its defaults.
  tl = nullptr;
  cam = open("SimCam0");
  EXPECT_EQ(read32(cam.port, reg::kWidth), kWidth);
  const EVENT_HANDLE again = startStreaming(cam, memory);
  ASSERT_EQ(g.IFClose(iface), GC_ERR_SUCCESS);
  EXPECT_EQ(g.EventKill(again), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.DSClose(cam.ds), GC_ERR_INVALID_HANDLE);
}

TEST_F(CloseTest, ClosingTheStreamAbortsAWaitingConsumer) {
  std::vector<uint8_t> memory;
  const Camera cam = open("SimCam0");
  const EVENT_HANDLE event = startStreaming(cam, memory);
  std::atomic<GC_ERROR> result;
  std::thread waiter = waitForever(event, result);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(g.DSClose(cam.ds), GC_ERR_SUCCESS);
  waiter.join();
  EXPECT_EQ(result, GC_ERR_ABORT);

  // The device is still open and its stream can be opened and used again.
  DS_HANDLE ds = nullptr;
  ASSERT_EQ(g.DevOpenDataStream(cam.dev, "Stream0", &ds), GC_ERR_SUCCESS);
  EXPECT_EQ(streamCount(ds, STREAM_INFO_NUM_ANNOUNCED), 0u);
  ASSERT_EQ(g.DevClose(cam.dev), GC_ERR_SUCCESS);
  EXPECT_EQ(g.DSClose(ds), GC_ERR_INVALID_HANDLE);
}

TEST_F(CloseTest, UnregisteringTheEventAbortsAWaitingConsumer) {
  std::vector<uint8_t> memory;
  const Camera cam = open("SimCam3D");
  const EVENT_HANDLE event = startStreaming(cam, memory);
  std::atomic<GC_ERROR> result;
  std::thread waiter = waitForever(event, result);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(g.GCUnregisterEvent(cam.ds, EVENT_NEW_BUFFER), GC_ERR_SUCCESS);
  waiter.join();
  EXPECT_EQ(result, GC_ERR_ABORT);
  ASSERT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
}

}  // namespace
}  // namespace grabkit::sim::test

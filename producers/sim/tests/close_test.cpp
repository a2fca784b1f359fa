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
    memory.resize(payload(cam.ds));
    BUFFER_HANDLE b = nullptr;
    EXPECT_EQ(g.DSAnnounceBuffer(cam.ds, memory.data(), memory.size(), nullptr, &b), 0);
    EXPECT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_ALL_TO_INPUT), 0);
    start(cam.ds, 1);
    next(event);
    return event;
  }

  // Blocks a thread in an endless EventGetData, runs `abort`, and returns what the
  // wait ended with.
  GC_ERROR abortWaiter(EVENT_HANDLE event, const std::function<GC_ERROR()>& abort) {
    std::atomic<GC_ERROR> result{GC_ERR_SUCCESS};
    std::atomic<bool> blocking{false};
    std::thread waiter([&] {
      EVENT_NEW_BUFFER_DATA data{};
      size_t size = sizeof data;
      // Frames already delivered are taken first; only the wait that blocks counts.
      // A waiter that came too late would see a closed handle instead of the abort.
      while (g.EventGetData(event, &data, &size, 0) == GC_ERR_SUCCESS) {
      }
      blocking = true;
      GC_ERROR r;
      while ((r = g.EventGetData(event, &data, &size, GENTL_INFINITE)) == GC_ERR_SUCCESS) {
      }
      result = r;
    });
    EXPECT_TRUE(eventually([&] { return blocking.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(abort(), GC_ERR_SUCCESS);
    waiter.join();
    return result;
  }
};

TEST_F(CloseTest, CloseLibWithEverythingRunningWakesWaitersAndInvalidatesHandles) {
  std::vector<uint8_t> memory[2];
  const Camera cams[] = {open("SimCam0"), open("SimCam3D")};
  const EVENT_HANDLE events[] = {startStreaming(cams[0], memory[0]),
                                 startStreaming(cams[1], memory[1])};
  EXPECT_EQ(abortWaiter(events[0], [&] { return g.GCCloseLib(); }), GC_ERR_ABORT);

  ASSERT_EQ(g.GCInitLib(), GC_ERR_SUCCESS);
  uint32_t count = 0;
  EXPECT_EQ(g.TLGetNumInterfaces(tl, &count), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.DSStopAcquisition(cams[1].ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.EventKill(events[1]), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.GCReadPort(cams[0].port, reg::kWidth, &count, nullptr), GC_ERR_INVALID_HANDLE);
}

TEST_F(CloseTest, KillUnregisterAndStreamCloseAbortAWaitingConsumer) {
  std::vector<uint8_t> memory[2];
  const Camera cam = open("SimCam0");
  EVENT_HANDLE event = startStreaming(cam, memory[0]);
  EXPECT_EQ(abortWaiter(event, [&] { return g.EventKill(event); }), GC_ERR_ABORT);
  EXPECT_EQ(abortWaiter(event, [&] { return g.DSClose(cam.ds); }), GC_ERR_ABORT);
  // The device is still open and its stream can be opened again, empty.
  DS_HANDLE ds = nullptr;
  ASSERT_EQ(g.DevOpenDataStream(cam.dev, "Stream0", &ds), GC_ERR_SUCCESS);
  EXPECT_EQ(streamCount(ds, STREAM_INFO_NUM_ANNOUNCED), 0u);
  ASSERT_EQ(g.DevClose(cam.dev), GC_ERR_SUCCESS);
  EXPECT_EQ(g.DSClose(ds), GC_ERR_INVALID_HANDLE);

  const Camera cam3D = open("SimCam3D");
  event = startStreaming(cam3D, memory[1]);
  auto unregister = [&] { return g.GCUnregisterEvent(cam3D.ds, EVENT_NEW_BUFFER); };
  EXPECT_EQ(abortWaiter(event, unregister), GC_ERR_ABORT);
  EXPECT_EQ(g.DSStopAcquisition(cam3D.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
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

}  // namespace
}  // namespace grabkit::sim::test

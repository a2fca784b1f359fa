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
    allocate(cam.ds, memory.size());
    EXPECT_EQ(g.DSFlushQueue(cam.ds, ACQ_QUEUE_ALL_TO_INPUT), 0);
    EXPECT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), 0);
    next(event);
    return event;
  }

  // Blocks a thread in an endless EventGetData, runs `abort`, and returns what the
  // wait ended with.
  GC_ERROR abortWaiter(EVENT_HANDLE event, const std::function<GC_ERROR()>& abort) {
    std::atomic<GC_ERROR> result{GC_ERR_SUCCESS};
    std::thread waiter([&] {
      EVENT_NEW_BUFFER_DATA data{};
      size_t size = sizeof data;
      GC_ERROR r;
      // Frames already delivered are taken first; only the wait that blocks counts.
      while ((r = g.EventGetData(event, &data, &size, GENTL_INFINITE)) == GC_ERR_SUCCESS) {
      }
      result = r;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
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
  DS_HANDLE reopened = nullptr;
  const struct {
    const char* name;
    const char* device;
    std::function<GC_ERROR(const Camera&, EVENT_HANDLE)> abort;
    // Then the device is closed, taking what is still open with it.
    std::function<void(const Camera&)> after;
  } cases[] = {
      {"EventKill", "SimCam0", [&](const Camera&, EVENT_HANDLE e) { return g.EventKill(e); },
       [&](const Camera& cam) { EXPECT_TRUE(grabbing(cam.ds)); }},
      {"GCUnregisterEvent", "SimCam3D",
       [&](const Camera& cam, EVENT_HANDLE) {
         return g.GCUnregisterEvent(cam.ds, EVENT_NEW_BUFFER);
       },
       [&](const Camera& cam) {
         EXPECT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
       }},
      {"DSClose", "SimCam0", [&](const Camera& cam, EVENT_HANDLE) { return g.DSClose(cam.ds); },
       [&](const Camera& cam) {
         // The device is still open and its stream can be opened again, empty.
         ASSERT_EQ(g.DevOpenDataStream(cam.dev, "Stream0", &reopened), GC_ERR_SUCCESS);
         EXPECT_EQ(streamCount(reopened, STREAM_INFO_NUM_ANNOUNCED), 0u);
       }}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> memory;
    const Camera cam = open(c.device);
    const EVENT_HANDLE event = startStreaming(cam, memory);
    EXPECT_EQ(abortWaiter(event, [&] { return c.abort(cam, event); }), GC_ERR_ABORT);
    c.after(cam);
    ASSERT_EQ(g.DevClose(cam.dev), GC_ERR_SUCCESS);
  }
  EXPECT_EQ(g.DSClose(reopened), GC_ERR_INVALID_HANDLE);
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

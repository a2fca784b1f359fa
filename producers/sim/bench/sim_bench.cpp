// Throughput of grabkit-sim.cti as a consumer sees it: a 5-megapixel Mono8 camera
// at unlimited frame rate, four producer-allocated buffers, each re-queued as soon
// as its event arrives.
//
//   grabkit-sim-bench [seconds] [path/to/grabkit-sim.cti]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gentl_module.h"

namespace {

constexpr int kBuffers = 4;
constexpr uint32_t kWidth = 2592;
constexpr uint32_t kHeight = 1944;

bool ok(GC_ERROR code, const char* what) {
  if (code == GC_ERR_SUCCESS) return true;
  std::fprintf(stderr, "%s failed with %d\n", what, code);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const char* path = argc > 2 ? argv[2] : GRABKIT_SIM_CTI;
  setenv("GRABKIT_SIM_WIDTH", std::to_string(kWidth).c_str(), 1);
  setenv("GRABKIT_SIM_HEIGHT", std::to_string(kHeight).c_str(), 1);
  setenv("GRABKIT_SIM_PIXEL_FORMAT", "Mono8", 1);
  setenv("GRABKIT_SIM_FPS", "0", 1);

  const GenTLModule& g = GenTLModule::load(path);
  TL_HANDLE tl = nullptr;
  IF_HANDLE iface = nullptr;
  DEV_HANDLE dev = nullptr;
  DS_HANDLE ds = nullptr;
  EVENT_HANDLE event = nullptr;
  bool8_t changed = 0;
  size_t payload = 0;
  size_t size = sizeof payload;
  if (!ok(g.GCInitLib(), "GCInitLib") || !ok(g.TLOpen(&tl), "TLOpen") ||
      !ok(g.TLUpdateInterfaceList(tl, &changed, 1000), "TLUpdateInterfaceList") ||
      !ok(g.TLOpenInterface(tl, "SimInterface0", &iface), "TLOpenInterface") ||
      !ok(g.IFUpdateDeviceList(iface, &changed, 1000), "IFUpdateDeviceList") ||
      !ok(g.IFOpenDevice(iface, "SimCam0", DEVICE_ACCESS_EXCLUSIVE, &dev), "IFOpenDevice") ||
      !ok(g.DevOpenDataStream(dev, "Stream0", &ds), "DevOpenDataStream") ||
      !ok(g.DSGetInfo(ds, STREAM_INFO_PAYLOAD_SIZE, nullptr, &payload, &size), "DSGetInfo")) {
    return 1;
  }
  std::vector<BUFFER_HANDLE> buffers(kBuffers);
  for (BUFFER_HANDLE& b : buffers) {
    if (!ok(g.DSAllocAndAnnounceBuffer(ds, payload, nullptr, &b), "DSAllocAndAnnounceBuffer") ||
        !ok(g.DSQueueBuffer(ds, b), "DSQueueBuffer")) {
      return 1;
    }
  }
  if (!ok(g.GCRegisterEvent(ds, EVENT_NEW_BUFFER, &event), "GCRegisterEvent") ||
      !ok(g.DSStartAcquisition(ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE),
          "DSStartAcquisition")) {
    return 1;
  }

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  uint64_t frames = 0;
  uint64_t wrongPixels = 0;
  while (Clock::now() < end) {
    EVENT_NEW_BUFFER_DATA data{};
    size = sizeof data;
    if (!ok(g.EventGetData(event, &data, &size, 1000), "EventGetData")) return 1;
    // Spot-check the pattern so a producer that skips the work cannot look fast.
    uint64_t frameId = 0;
    const uint8_t* base = nullptr;
    size = sizeof frameId;
    g.DSGetBufferInfo(ds, data.BufferHandle, BUFFER_INFO_FRAMEID, nullptr, &frameId, &size);
    size = sizeof base;
    g.DSGetBufferInfo(ds, data.BufferHandle, BUFFER_INFO_BASE, nullptr, &base, &size);
    const uint32_t x = kWidth - 1, y = kHeight - 1;
    if (base[0] != static_cast<uint8_t>(frameId) ||
        base[size_t{y} * kWidth + x] != static_cast<uint8_t>(x + y + frameId)) {
      ++wrongPixels;
    }
    if (!ok(g.DSQueueBuffer(ds, data.BufferHandle), "DSQueueBuffer")) return 1;
    ++frames;
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  g.DSStopAcquisition(ds, ACQ_STOP_FLAGS_DEFAULT);
  uint64_t underruns = 0;
  size = sizeof underruns;
  g.DSGetInfo(ds, STREAM_INFO_NUM_UNDERRUN, nullptr, &underruns, &size);

  std::printf("grabkit-sim: %ux%u Mono8 (%zu bytes), %d buffers, %.1f s\n", kWidth, kHeight,
              payload, kBuffers, elapsed);
  std::printf("%llu frames, %.1f frames/s, %.2f GB/s, %llu underruns, %llu bad frames\n",
              static_cast<unsigned long long>(frames), frames / elapsed,
              frames * static_cast<double>(payload) / elapsed / 1e9,
              static_cast<unsigned long long>(underruns),
              static_cast<unsigned long long>(wrongPixels));

  g.DSFlushQueue(ds, ACQ_QUEUE_ALL_DISCARD);
  for (BUFFER_HANDLE b : buffers) g.DSRevokeBuffer(ds, b, nullptr, nullptr);
  g.GCUnregisterEvent(ds, EVENT_NEW_BUFFER);
  g.GCCloseLib();
  return wrongPixels == 0 ? 0 : 2;
}

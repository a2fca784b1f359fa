// The raw cost of the calls that the Java benchmarks make, straight from C++
// into grabkit-sim.cti: the floor every binding is compared with. Prints one
// "c.<name> <ns per call>" line per call, the fastest of several rounds, then
// one "acq.<shape>.<fill|nofill> <frames/s> <median us> <p99 us>" line per
// acquisition loop: wait, read the time stamp, (zero-fill,) queue again.
//
//   native_calls path/to/grabkit-sim.cti [rounds] [seconds per acquisition figure]
//   native_calls path/to/grabkit-sim.cti --acq vga|5mp|paced fill|nofill seconds
// The second form runs one acquisition figure alone, so that the Java side can
// take its turns with the C++ loop.
#include <dlfcn.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "GenTL.h"

namespace {

struct Entries {
#define GRABKIT_BENCH_ENTRY(name, params) P##name name = nullptr;
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_BENCH_ENTRY)
#undef GRABKIT_BENCH_ENTRY
};

[[noreturn]] void die(const char* what, int code) {
  std::fprintf(stderr, "native_calls: %s failed (%d)\n", what, code);
  std::exit(1);
}

void check(GC_ERROR code, const char* what) {
  if (code != GC_ERR_SUCCESS) die(what, code);
}

// Keeps the compiler from dropping a result.
volatile int64_t sink;

// Nanoseconds per call of `op`: the fastest of `rounds` rounds of ~50 ms each,
// the one least disturbed by whatever else the machine runs.
template <typename Op>
double perCall(int rounds, Op op) {
  using Clock = std::chrono::steady_clock;
  // Sizes a round so that it lasts about 50 ms.
  long n = 1000;
  for (;;) {
    auto start = Clock::now();
    for (long i = 0; i < n; ++i) op();
    auto took = std::chrono::duration<double>(Clock::now() - start).count();
    if (took > 0.05) break;
    n *= 2;
  }
  std::vector<double> ns;
  for (int r = 0; r < rounds; ++r) {
    auto start = Clock::now();
    for (long i = 0; i < n; ++i) op();
    ns.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
                 static_cast<double>(n));
  }
  std::sort(ns.begin(), ns.end());
  return ns.front();
}

uint64_t monotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

void writeRegister(const Entries& p, PORT_HANDLE port, uint64_t address, uint32_t value) {
  size_t size = sizeof value;
  check(p.GCWritePort(port, address, &value, &size), "GCWritePort");
}

// The loop the Java layers run too, on 8 buffers of our own memory: frames per
// second over `seconds`, and the latency from each buffer's time stamp (the
// camera's monotonic clock) to the loop holding it.
void acquisition(const Entries& p, DEV_HANDLE dev, DS_HANDLE ds, EVENT_HANDLE event,
                 const char* shape, uint32_t width, uint32_t height, uint32_t milliHz,
                 bool zeroFill, double seconds) {
  PORT_HANDLE port = nullptr;
  check(p.DevGetPort(dev, &port), "DevGetPort");
  writeRegister(p, port, 0x100, width);
  writeRegister(p, port, 0x104, height);
  writeRegister(p, port, 0x110, milliHz);
  size_t payload = 0;
  INFO_DATATYPE type = 0;
  size_t n = sizeof payload;
  check(p.DSGetInfo(ds, STREAM_INFO_PAYLOAD_SIZE, &type, &payload, &n), "DSGetInfo");
  std::vector<std::vector<uint8_t>> memory(8, std::vector<uint8_t>(payload));
  std::vector<BUFFER_HANDLE> buffers;
  for (auto& m : memory) {
    BUFFER_HANDLE b = nullptr;
    check(p.DSAnnounceBuffer(ds, m.data(), m.size(), &m, &b), "DSAnnounceBuffer");
    check(p.DSQueueBuffer(ds, b), "DSQueueBuffer");
    buffers.push_back(b);
  }
  check(p.DSStartAcquisition(ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), "DSStartAcquisition");
  auto frame = [&]() -> uint64_t {
    EVENT_NEW_BUFFER_DATA data{};
    size_t size = sizeof data;
    check(p.EventGetData(event, &data, &size, 5000), "EventGetData");
    uint64_t stamp = 0;
    size = sizeof stamp;
    check(p.DSGetBufferInfo(ds, data.BufferHandle, BUFFER_INFO_TIMESTAMP_NS, &type, &stamp, &size),
          "DSGetBufferInfo");
    const uint64_t latency = monotonicNs() - stamp;
    if (zeroFill)
      std::memset(static_cast<std::vector<uint8_t>*>(data.pUserPointer)->data(), 0, payload);
    check(p.DSQueueBuffer(ds, data.BufferHandle), "DSQueueBuffer");
    return latency;
  };
  for (int i = 0; i < 50; ++i) frame();
  std::vector<uint64_t> latencies;
  const uint64_t start = monotonicNs();
  const uint64_t end = start + static_cast<uint64_t>(seconds * 1e9);
  uint64_t now = start;
  while (now < end) {
    latencies.push_back(frame());
    now = monotonicNs();
  }
  check(p.DSStopAcquisition(ds, ACQ_STOP_FLAGS_KILL), "DSStopAcquisition");
  check(p.DSFlushQueue(ds, ACQ_QUEUE_ALL_DISCARD), "DSFlushQueue");
  for (BUFFER_HANDLE b : buffers) check(p.DSRevokeBuffer(ds, b, nullptr, nullptr), "DSRevoke");
  std::sort(latencies.begin(), latencies.end());
  std::printf("acq.%s.%s %.1f %.1f %.1f\n", shape, zeroFill ? "fill" : "nofill",
              static_cast<double>(latencies.size()) / ((now - start) / 1e9),
              latencies[latencies.size() / 2] / 1e3,
              latencies[static_cast<size_t>(latencies.size() * 0.99)] / 1e3);
  std::fflush(stdout);
}

// Nanoseconds per call of the four calls the Java benchmarks compare.
void calls(const Entries& p, DEV_HANDLE dev, EVENT_HANDLE event, int rounds) {
  std::printf("c.numeric %.1f\n", perCall(rounds, [&] {
                INFO_DATATYPE type = 0;
                uint64_t value = 0;
                size_t n = sizeof(value);
                p.DevGetInfo(dev, DEVICE_INFO_TIMESTAMP_FREQUENCY, &type, &value, &n);
                sink = static_cast<int64_t>(value);
              }));
  std::printf("c.string %.1f\n", perCall(rounds, [&] {
                INFO_DATATYPE type = 0;
                char text[1024];
                size_t n = sizeof(text);
                p.DevGetInfo(dev, DEVICE_INFO_MODEL, &type, text, &n);
                sink = text[0];
              }));
  // A handle value that no producer hands out.
  void* bogus = reinterpret_cast<void*>(uintptr_t{0x1234});
  std::printf("c.failing %.1f\n", perCall(rounds, [&] {
                INFO_DATATYPE type = 0;
                int32_t value = 0;
                size_t n = sizeof(value);
                sink = p.DevGetInfo(bogus, DEVICE_INFO_TIMESTAMP_FREQUENCY, &type, &value, &n);
              }));
  std::printf("c.poll %.1f\n", perCall(rounds, [&] {
                EVENT_NEW_BUFFER_DATA data{};
                size_t n = sizeof(data);
                sink = p.EventGetData(event, &data, &n, 0);
              }));
  // The numeric query from 1, 2, 4 and 8 threads at once: calls per second in
  // total, the best of three runs. What a binding's own scaling is measured
  // against, since the producer's locks are in every binding's figure.
  for (int threads : {1, 2, 4, 8}) {
    double best = 0;
    for (int run = 0; run < 3; ++run) {
      std::atomic<bool> stop{false};
      std::atomic<long> total{0};
      std::vector<std::thread> callers;
      for (int t = 0; t < threads; ++t) {
        callers.emplace_back([&] {
          long calls = 0;
          while (!stop.load(std::memory_order_relaxed)) {
            INFO_DATATYPE type = 0;
            uint64_t value = 0;
            size_t n = sizeof(value);
            p.DevGetInfo(dev, DEVICE_INFO_TIMESTAMP_FREQUENCY, &type, &value, &n);
            ++calls;
          }
          total += calls;
        });
      }
      const auto start = std::chrono::steady_clock::now();
      std::this_thread::sleep_for(std::chrono::milliseconds(rounds > 3 ? 500 : 100));
      stop = true;
      for (auto& caller : callers) caller.join();
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      best = std::max(best, static_cast<double>(total.load()) / seconds);
    }
    std::printf("c.threads.%d %.4g\n", threads, best);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: native_calls path/to/grabkit-sim.cti [rounds]\n");
    return 2;
  }
  const bool oneFigure = argc > 5 && std::strcmp(argv[2], "--acq") == 0;
  int rounds = argc > 2 && !oneFigure ? std::atoi(argv[2]) : 0;
  if (rounds < 1) rounds = 9;
  void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "native_calls: %s\n", dlerror());
    return 1;
  }
  Entries p;
#define GRABKIT_BENCH_RESOLVE(name, params) \
  p.name = reinterpret_cast<P##name>(dlsym(module, #name));
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_BENCH_RESOLVE)
#undef GRABKIT_BENCH_RESOLVE

  check(p.GCInitLib(), "GCInitLib");
  TL_HANDLE tl = nullptr;
  check(p.TLOpen(&tl), "TLOpen");
  uint32_t count = 0;
  check(p.TLUpdateInterfaceList(tl, nullptr, 0), "TLUpdateInterfaceList");
  check(p.TLGetNumInterfaces(tl, &count), "TLGetNumInterfaces");
  char id[1024];
  size_t size = sizeof(id);
  check(p.TLGetInterfaceID(tl, 0, id, &size), "TLGetInterfaceID");
  IF_HANDLE iface = nullptr;
  check(p.TLOpenInterface(tl, id, &iface), "TLOpenInterface");
  check(p.IFUpdateDeviceList(iface, nullptr, 0), "IFUpdateDeviceList");
  size = sizeof(id);
  check(p.IFGetDeviceID(iface, 0, id, &size), "IFGetDeviceID");
  DEV_HANDLE dev = nullptr;
  check(p.IFOpenDevice(iface, id, DEVICE_ACCESS_CONTROL, &dev), "IFOpenDevice");
  size = sizeof(id);
  check(p.DevGetDataStreamID(dev, 0, id, &size), "DevGetDataStreamID");
  DS_HANDLE ds = nullptr;
  check(p.DevOpenDataStream(dev, id, &ds), "DevOpenDataStream");
  EVENT_HANDLE event = nullptr;
  check(p.GCRegisterEvent(ds, EVENT_NEW_BUFFER, &event), "GCRegisterEvent");

  struct Shape {
    const char* name;
    uint32_t width, height, milliHz;
  };
  const Shape shapes[] = {
      {"vga", 640, 480, 0}, {"5mp", 2448, 2048, 0}, {"paced", 640, 480, 500000}};
  if (oneFigure) {
    for (const Shape& shape : shapes) {
      if (std::strcmp(shape.name, argv[3]) != 0) continue;
      acquisition(p, dev, ds, event, shape.name, shape.width, shape.height, shape.milliHz,
                  std::strcmp(argv[4], "fill") == 0, std::atof(argv[5]));
    }
  } else {
    calls(p, dev, event, rounds);
    const double seconds = argc > 3 ? std::atof(argv[3]) : 0;
    if (seconds > 0) {
      for (bool fill : {true, false}) {
        for (const Shape& shape : shapes) {
          acquisition(p, dev, ds, event, shape.name, shape.width, shape.height, shape.milliHz, fill,
                      seconds);
        }
      }
    }
  }

  p.GCUnregisterEvent(ds, EVENT_NEW_BUFFER);
  p.DSClose(ds);
  p.DevClose(dev);
  p.IFClose(iface);
  p.TLClose(tl);
  p.GCCloseLib();
  return 0;
}

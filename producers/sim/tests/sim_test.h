#ifndef GRABKIT_SIM_TESTS_SIM_TEST_H
#define GRABKIT_SIM_TESTS_SIM_TEST_H

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "gentl_module.h"
#include "pattern.h"
#include "registers.h"

namespace grabkit::sim::test {

inline const GenTLModule& gentl() {
  return GenTLModule::load(GRABKIT_SIM_CTI);
}

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;
constexpr uint32_t kMono8 = 0x01080001;
constexpr uint32_t kMono16 = 0x01100007;
constexpr uint32_t kRgb8 = 0x02180014;

// One answer of an info query, fetched as a careful consumer does: size first.
struct Answer {
  GC_ERROR error = GC_ERR_SUCCESS;
  INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
  std::vector<uint8_t> bytes;

  std::string text() const {
    EXPECT_EQ(error, GC_ERR_SUCCESS);
    EXPECT_EQ(type, INFO_DATATYPE_STRING);
    if (bytes.empty() || bytes.back() != 0) {
      ADD_FAILURE() << "string without NUL";
      return {};
    }
    return std::string(bytes.begin(), bytes.end() - 1);
  }
  // Consumers copy exactly as many bytes as the announced type has, so the size
  // is checked with the type. Widening by copying the low bytes needs a
  // little-endian host, as the producer's registers do.
  uint64_t number(INFO_DATATYPE expected) const {
    EXPECT_EQ(error, GC_ERR_SUCCESS);
    EXPECT_EQ(type, expected);
    const size_t size = expected == INFO_DATATYPE_BOOL8                                       ? 1
                        : expected == INFO_DATATYPE_INT32 || expected == INFO_DATATYPE_UINT32 ? 4
                                                                                              : 8;
    EXPECT_EQ(bytes.size(), size);
    uint64_t v = 0;
    std::memcpy(&v, bytes.data(), std::min(size, bytes.size()));
    return v;
  }
};

// Asks any of the *GetInfo functions: `args` are what comes before the type pointer.
template <class F, class... Args>
Answer ask(F f, Args... args) {
  Answer a;
  size_t size = 0;
  a.error = f(args..., &a.type, nullptr, &size);
  if (a.error != GC_ERR_SUCCESS) return a;
  a.bytes.resize(size);
  size_t written = size;
  a.error = f(args..., &a.type, a.bytes.data(), &written);
  EXPECT_EQ(written, size);
  return a;
}

// One row of an info table: strings compare `text`, everything else `value`.
struct Expected {
  const char* name;
  int32_t cmd;
  INFO_DATATYPE type;
  uint64_t value = 0;
  const char* text = nullptr;
};

template <class Query>
void expectInfo(Query query, std::initializer_list<Expected> rows) {
  for (const Expected& row : rows) {
    SCOPED_TRACE(row.name);
    const Answer a = query(row.cmd);
    if (row.type == INFO_DATATYPE_STRING) {
      EXPECT_EQ(a.text(), row.text);
    } else {
      EXPECT_EQ(a.number(row.type), row.value);
    }
  }
}

inline uint64_t ptr(const void* p) {
  return reinterpret_cast<uintptr_t>(p);
}

// The README's pattern, written from its formulas and independent of the writer's
// ramps and lookup tables.
inline uint32_t level(uint64_t raw, uint32_t depth, uint32_t channel, const Tone& t) {
  const auto gain = [](int32_t centiDb) {
    return static_cast<uint64_t>(std::llround(1000 * std::pow(10.0, centiDb / 2000.0)));
  };
  const uint64_t scaled = raw * t.exposure * gain(t.gain[0]) *
                              (channel == 0 ? 1000 : gain(t.gain[channel])) / 100000000000ull +
                          (uint64_t{t.blackLevel} << (depth - 8));
  return static_cast<uint32_t>(std::min<uint64_t>(scaled, (1u << depth) - 1));
}

inline std::vector<uint8_t> reference(const FormatInfo& format, uint32_t w, uint32_t h, uint64_t f,
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
          const bool lumaFirst = format.code == pfnc::kYCbCr422_8 || format.code == pfnc::kYuv422_8;
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

// The pattern of the test cameras' start values.
inline std::vector<uint8_t> expectedImage(uint32_t format, uint64_t frameId) {
  return reference(*formatInfo(format), kWidth, kHeight, frameId, {}, {});
}

// Index of the first byte that differs, or -1.
inline long firstDifference(const uint8_t* actual, const std::vector<uint8_t>& expected) {
  const auto at = std::mismatch(expected.begin(), expected.end(), actual).first;
  return at == expected.end() ? -1 : at - expected.begin();
}

// Registers are little-endian like the host.
inline uint32_t read32(void* port, uint64_t address) {
  uint32_t value = 0;
  size_t size = sizeof value;
  EXPECT_EQ(gentl().GCReadPort(port, address, &value, &size), GC_ERR_SUCCESS);
  return value;
}

inline uint64_t read64(void* port, uint64_t address) {
  return read32(port, address) | uint64_t{read32(port, address + 4)} << 32;
}

inline GC_ERROR write32(void* port, uint64_t address, uint32_t value) {
  size_t size = sizeof value;
  return gentl().GCWritePort(port, address, &value, &size);
}

inline uint64_t streamCount(DS_HANDLE ds, STREAM_INFO_CMD cmd) {
  return ask(gentl().DSGetInfo, ds, cmd).number(INFO_DATATYPE_UINT64);
}
inline size_t payload(DS_HANDLE ds) {
  return ask(gentl().DSGetInfo, ds, STREAM_INFO_PAYLOAD_SIZE).number(INFO_DATATYPE_SIZET);
}
inline bool grabbing(DS_HANDLE ds) {
  return ask(gentl().DSGetInfo, ds, STREAM_INFO_IS_GRABBING).number(INFO_DATATYPE_BOOL8) != 0;
}
inline uint64_t frameId(DS_HANDLE ds, BUFFER_HANDLE b) {
  return ask(gentl().DSGetBufferInfo, ds, b, BUFFER_INFO_FRAMEID).number(INFO_DATATYPE_UINT64);
}
inline bool flag(DS_HANDLE ds, BUFFER_HANDLE b, BUFFER_INFO_CMD cmd) {
  return ask(gentl().DSGetBufferInfo, ds, b, cmd).number(INFO_DATATYPE_BOOL8) != 0;
}
inline const uint8_t* base(DS_HANDLE ds, BUFFER_HANDLE b) {
  return reinterpret_cast<const uint8_t*>(
      ask(gentl().DSGetBufferInfo, ds, b, BUFFER_INFO_BASE).number(INFO_DATATYPE_PTR));
}

inline BUFFER_HANDLE allocate(DS_HANDLE ds, size_t size, void* user = nullptr) {
  BUFFER_HANDLE buffer = nullptr;
  EXPECT_EQ(gentl().DSAllocAndAnnounceBuffer(ds, size, user, &buffer), GC_ERR_SUCCESS);
  return buffer;
}

// Queues `buffers` producer buffers of the payload size and starts acquiring.
inline void start(DS_HANDLE ds, int buffers, uint64_t frames = GENTL_INFINITE) {
  for (int i = 0; i < buffers; ++i) {
    EXPECT_EQ(gentl().DSQueueBuffer(ds, allocate(ds, payload(ds))), GC_ERR_SUCCESS);
  }
  EXPECT_EQ(gentl().DSStartAcquisition(ds, ACQ_START_FLAGS_DEFAULT, frames), GC_ERR_SUCCESS);
}

inline EVENT_HANDLE registerEvent(DS_HANDLE ds) {
  EVENT_HANDLE event = nullptr;
  EXPECT_EQ(gentl().GCRegisterEvent(ds, EVENT_NEW_BUFFER, &event), GC_ERR_SUCCESS);
  return event;
}

// Waits for the next filled buffer; fails the test on anything else.
inline EVENT_NEW_BUFFER_DATA next(EVENT_HANDLE event) {
  EVENT_NEW_BUFFER_DATA data{};
  size_t size = sizeof data;
  EXPECT_EQ(gentl().EventGetData(event, &data, &size, 5000), GC_ERR_SUCCESS);
  EXPECT_EQ(size, sizeof data);
  return data;
}

// Polls until `done` or a generous deadline.
inline bool eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

struct Camera {
  DEV_HANDLE dev = nullptr;
  PORT_HANDLE port = nullptr;
  DS_HANDLE ds = nullptr;
};

// Each test runs against a freshly initialised producer with small frames and no
// frame-rate limit.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Grabkit::Platform::setEnvironment("GRABKIT_SIM_WIDTH", std::to_string(kWidth).c_str());
    Grabkit::Platform::setEnvironment("GRABKIT_SIM_HEIGHT", std::to_string(kHeight).c_str());
    Grabkit::Platform::setEnvironment("GRABKIT_SIM_FPS", "0");
    Grabkit::Platform::setEnvironment("GRABKIT_SIM_DEVICES", nullptr);
    Grabkit::Platform::setEnvironment("GRABKIT_SIM_PIXEL_FORMAT", nullptr);
    Grabkit::Platform::setEnvironment("GRABKIT_SIM_TEST_PATTERN", nullptr);
    configure();
    ASSERT_EQ(g.GCInitLib(), GC_ERR_SUCCESS);
  }
  // Closing the library with everything still open is itself part of the contract.
  void TearDown() override { g.GCCloseLib(); }
  // Runs before GCInitLib; tests adjust the GRABKIT_SIM_* variables here.
  virtual void configure() {}

  // Opens the system module and the interface once, then the device (and stream).
  Camera open(const char* deviceId, bool withStream = true,
              DEVICE_ACCESS_FLAGS flags = DEVICE_ACCESS_EXCLUSIVE) {
    Camera c;
    bool8_t changed = 0;
    if (tl == nullptr) {
      EXPECT_EQ(g.TLOpen(&tl), GC_ERR_SUCCESS);
      EXPECT_EQ(g.TLUpdateInterfaceList(tl, &changed, 1000), GC_ERR_SUCCESS);
      EXPECT_EQ(g.TLOpenInterface(tl, "SimInterface0", &iface), GC_ERR_SUCCESS);
      EXPECT_EQ(g.IFUpdateDeviceList(iface, &changed, 1000), GC_ERR_SUCCESS);
    }
    EXPECT_EQ(g.IFOpenDevice(iface, deviceId, flags, &c.dev), GC_ERR_SUCCESS);
    EXPECT_EQ(g.DevGetPort(c.dev, &c.port), GC_ERR_SUCCESS);
    if (withStream) {
      EXPECT_EQ(g.DevOpenDataStream(c.dev, "Stream0", &c.ds), GC_ERR_SUCCESS);
    }
    return c;
  }

  const GenTLModule& g = gentl();
  TL_HANDLE tl = nullptr;
  IF_HANDLE iface = nullptr;
};

// An open camera (SimCam0 unless a test says otherwise) with its new-buffer event registered.
class CameraFixture : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    cam = open(deviceId());
    event = registerEvent(cam.ds);
  }
  virtual const char* deviceId() const { return "SimCam0"; }

  Answer bufferInfo(BUFFER_HANDLE b, int32_t cmd) { return ask(g.DSGetBufferInfo, cam.ds, b, cmd); }

  Camera cam;
  EVENT_HANDLE event = nullptr;
};

}  // namespace grabkit::sim::test

#endif

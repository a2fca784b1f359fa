#ifndef GRABKIT_SIM_TESTS_SIM_TEST_H
#define GRABKIT_SIM_TESTS_SIM_TEST_H

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "gentl_module.h"
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

// The documented test pattern, computed independently of the producer.
inline std::vector<uint8_t> expectedImage(uint32_t format, uint64_t frameId) {
  std::vector<uint8_t> image;
  for (uint64_t y = 0; y < kHeight; ++y) {
    for (uint64_t x = 0; x < kWidth; ++x) {
      const uint64_t f = frameId;
      if (format == kMono8) {
        image.push_back(static_cast<uint8_t>(x + y + f));
      } else if (format == kMono16) {
        const uint64_t v = (x + y + f) * 64;
        image.insert(image.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
      } else {
        image.insert(image.end(), {static_cast<uint8_t>(x + f), static_cast<uint8_t>(y + f),
                                   static_cast<uint8_t>(x + y)});
      }
    }
  }
  return image;
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
    setenv("GRABKIT_SIM_WIDTH", std::to_string(kWidth).c_str(), 1);
    setenv("GRABKIT_SIM_HEIGHT", std::to_string(kHeight).c_str(), 1);
    setenv("GRABKIT_SIM_FPS", "0", 1);
    unsetenv("GRABKIT_SIM_DEVICES");
    unsetenv("GRABKIT_SIM_PIXEL_FORMAT");
    unsetenv("GRABKIT_SIM_TEST_PATTERN");
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

}  // namespace grabkit::sim::test

#endif

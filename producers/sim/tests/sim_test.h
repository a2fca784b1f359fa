#ifndef GRABKIT_SIM_TESTS_SIM_TEST_H
#define GRABKIT_SIM_TESTS_SIM_TEST_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
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

  template <class T>
  T as() const {
    T value{};
    EXPECT_EQ(bytes.size(), sizeof value);
    std::memcpy(&value, bytes.data(), std::min(sizeof value, bytes.size()));
    return value;
  }
  std::string text() const {
    EXPECT_EQ(type, INFO_DATATYPE_STRING);
    if (bytes.empty() || bytes.back() != 0) {
      ADD_FAILURE() << "string without NUL";
      return {};
    }
    return std::string(bytes.begin(), bytes.end() - 1);
  }
};

using Query = std::function<GC_ERROR(INFO_DATATYPE*, void*, size_t*)>;

inline Answer ask(const Query& query) {
  Answer a;
  size_t size = 0;
  a.error = query(&a.type, nullptr, &size);
  if (a.error != GC_ERR_SUCCESS) return a;
  a.bytes.resize(size);
  size_t written = size;
  a.error = query(&a.type, a.bytes.data(), &written);
  EXPECT_EQ(written, size);
  return a;
}

// Expect success and a given data type, then the value.
template <class T>
T value(const Answer& a, INFO_DATATYPE type) {
  EXPECT_EQ(a.error, GC_ERR_SUCCESS);
  EXPECT_EQ(a.type, type);
  return a.as<T>();
}

// The documented test pattern, computed independently of the producer.
std::vector<uint8_t> expectedImage(uint32_t pixelFormat, uint32_t width, uint32_t height,
                                   uint64_t frameId);
// Index of the first byte that differs, or -1.
long firstDifference(const uint8_t* actual, const std::vector<uint8_t>& expected);

struct Camera {
  DEV_HANDLE dev = nullptr;
  PORT_HANDLE port = nullptr;
  DS_HANDLE ds = nullptr;
};

// Each test runs against a freshly initialised producer with small frames and no
// frame-rate limit.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Runs before GCInitLib; tests adjust the GRABKIT_SIM_* variables here.
  virtual void configure() {}

  // Opens the system module and the interface once, then the device (and stream).
  Camera open(const char* deviceId, bool withStream = true,
              DEVICE_ACCESS_FLAGS flags = DEVICE_ACCESS_EXCLUSIVE);

  Answer streamInfo(DS_HANDLE ds, STREAM_INFO_CMD cmd);
  uint64_t streamCount(DS_HANDLE ds, STREAM_INFO_CMD cmd);
  Answer bufferInfo(DS_HANDLE ds, BUFFER_HANDLE buffer, BUFFER_INFO_CMD cmd);
  Answer partInfo(DS_HANDLE ds, BUFFER_HANDLE buffer, uint32_t part, BUFFER_PART_INFO_CMD cmd);
  Answer portInfo(PORT_HANDLE port, PORT_INFO_CMD cmd);
  Answer urlInfo(PORT_HANDLE port, URL_INFO_CMD cmd);

  uint32_t read32(PORT_HANDLE port, uint64_t address);
  uint64_t read64(PORT_HANDLE port, uint64_t address);
  GC_ERROR write32(PORT_HANDLE port, uint64_t address, uint32_t value);

  EVENT_HANDLE registerEvent(DS_HANDLE ds);
  BUFFER_HANDLE allocate(DS_HANDLE ds, size_t size, void* user = nullptr);
  // Waits for the next filled buffer; fails the test on anything else.
  EVENT_NEW_BUFFER_DATA next(EVENT_HANDLE event, uint64_t timeoutMs = 5000);
  // Polls until `done` or a generous deadline.
  static bool eventually(const std::function<bool()>& done);

  const GenTLModule& g = gentl();
  TL_HANDLE tl = nullptr;
  IF_HANDLE iface = nullptr;
};

}  // namespace grabkit::sim::test

#endif

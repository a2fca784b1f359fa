#include "sim_test.h"

#include <cstdlib>

namespace grabkit::sim::test {

std::vector<uint8_t> expectedImage(uint32_t pixelFormat, uint32_t width, uint32_t height,
                                   uint64_t f) {
  std::vector<uint8_t> image;
  for (uint64_t y = 0; y < height; ++y) {
    for (uint64_t x = 0; x < width; ++x) {
      if (pixelFormat == kMono8) {
        image.push_back(static_cast<uint8_t>((x + y + f) & 0xFF));
      } else if (pixelFormat == kMono16) {
        const uint64_t v = ((x + y + f) * 64) & 0xFFFF;
        image.push_back(static_cast<uint8_t>(v & 0xFF));
        image.push_back(static_cast<uint8_t>(v >> 8));
      } else {
        image.push_back(static_cast<uint8_t>((x + f) & 0xFF));
        image.push_back(static_cast<uint8_t>((y + f) & 0xFF));
        image.push_back(static_cast<uint8_t>((x + y) & 0xFF));
      }
    }
  }
  return image;
}

long firstDifference(const uint8_t* actual, const std::vector<uint8_t>& expected) {
  for (size_t i = 0; i < expected.size(); ++i) {
    if (actual[i] != expected[i]) return static_cast<long>(i);
  }
  return -1;
}

void SimTest::SetUp() {
  setenv("GRABKIT_SIM_WIDTH", std::to_string(kWidth).c_str(), 1);
  setenv("GRABKIT_SIM_HEIGHT", std::to_string(kHeight).c_str(), 1);
  setenv("GRABKIT_SIM_FPS", "0", 1);
  unsetenv("GRABKIT_SIM_DEVICES");
  unsetenv("GRABKIT_SIM_PIXEL_FORMAT");
  unsetenv("GRABKIT_SIM_TEST_PATTERN");
  configure();
  ASSERT_EQ(g.GCInitLib(), GC_ERR_SUCCESS);
}

void SimTest::TearDown() {
  // Closing the library with everything still open is itself part of the contract.
  g.GCCloseLib();
}

Camera SimTest::open(const char* deviceId, bool withStream, DEVICE_ACCESS_FLAGS flags) {
  Camera c;
  if (tl == nullptr) {
    EXPECT_EQ(g.TLOpen(&tl), GC_ERR_SUCCESS);
    bool8_t changed = 0;
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

Answer SimTest::streamInfo(DS_HANDLE ds, STREAM_INFO_CMD cmd) {
  return ask([&](INFO_DATATYPE* t, void* b, size_t* s) { return g.DSGetInfo(ds, cmd, t, b, s); });
}

uint64_t SimTest::streamCount(DS_HANDLE ds, STREAM_INFO_CMD cmd) {
  return value<uint64_t>(streamInfo(ds, cmd), INFO_DATATYPE_UINT64);
}

Answer SimTest::bufferInfo(DS_HANDLE ds, BUFFER_HANDLE buffer, BUFFER_INFO_CMD cmd) {
  return ask([&](INFO_DATATYPE* t, void* b, size_t* s) {
    return g.DSGetBufferInfo(ds, buffer, cmd, t, b, s);
  });
}

Answer SimTest::partInfo(DS_HANDLE ds, BUFFER_HANDLE buffer, uint32_t part,
                         BUFFER_PART_INFO_CMD cmd) {
  return ask([&](INFO_DATATYPE* t, void* b, size_t* s) {
    return g.DSGetBufferPartInfo(ds, buffer, part, cmd, t, b, s);
  });
}

Answer SimTest::portInfo(PORT_HANDLE port, PORT_INFO_CMD cmd) {
  return ask(
      [&](INFO_DATATYPE* t, void* b, size_t* s) { return g.GCGetPortInfo(port, cmd, t, b, s); });
}

Answer SimTest::urlInfo(PORT_HANDLE port, URL_INFO_CMD cmd) {
  return ask([&](INFO_DATATYPE* t, void* b, size_t* s) {
    return g.GCGetPortURLInfo(port, 0, cmd, t, b, s);
  });
}

uint32_t SimTest::read32(PORT_HANDLE port, uint64_t address) {
  uint8_t bytes[4] = {};
  size_t size = sizeof bytes;
  EXPECT_EQ(g.GCReadPort(port, address, bytes, &size), GC_ERR_SUCCESS);
  EXPECT_EQ(size, 4u);
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

uint64_t SimTest::read64(PORT_HANDLE port, uint64_t address) {
  return read32(port, address) | uint64_t{read32(port, address + 4)} << 32;
}

GC_ERROR SimTest::write32(PORT_HANDLE port, uint64_t address, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  size_t size = sizeof bytes;
  return g.GCWritePort(port, address, bytes, &size);
}

EVENT_HANDLE SimTest::registerEvent(DS_HANDLE ds) {
  EVENT_HANDLE event = nullptr;
  EXPECT_EQ(g.GCRegisterEvent(ds, EVENT_NEW_BUFFER, &event), GC_ERR_SUCCESS);
  return event;
}

BUFFER_HANDLE SimTest::allocate(DS_HANDLE ds, size_t size, void* user) {
  BUFFER_HANDLE buffer = nullptr;
  EXPECT_EQ(g.DSAllocAndAnnounceBuffer(ds, size, user, &buffer), GC_ERR_SUCCESS);
  return buffer;
}

EVENT_NEW_BUFFER_DATA SimTest::next(EVENT_HANDLE event, uint64_t timeoutMs) {
  EVENT_NEW_BUFFER_DATA data{};
  size_t size = sizeof data;
  EXPECT_EQ(g.EventGetData(event, &data, &size, timeoutMs), GC_ERR_SUCCESS);
  EXPECT_EQ(size, sizeof data);
  return data;
}

bool SimTest::eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

}  // namespace grabkit::sim::test

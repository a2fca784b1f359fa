// Registers of the remote device and the description file behind the port URL.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>

#include "sha1.h"
#include "sim_test.h"
#include "zip.h"

namespace grabkit::sim::test {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t le(const std::string& s, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

// Reads the whole description file through the port in pieces, as GenICam
// readers do, after checking that its URL, address, size and hash agree.
std::string readDescription(PORT_HANDLE port, const std::string& name) {
  const GenTLModule& g = gentl();
  uint32_t urls = 0;
  EXPECT_EQ(g.GCGetNumPortURLs(port, &urls), GC_ERR_SUCCESS);
  EXPECT_EQ(urls, 1u);
  const std::string url = ask(g.GCGetPortURLInfo, port, 0, URL_INFO_URL).text();
  char legacy[256];
  size_t size = sizeof legacy;
  EXPECT_EQ(g.GCGetPortURL(port, legacy, &size), GC_ERR_SUCCESS);
  EXPECT_EQ(url, legacy);
  std::smatch m;
  const std::regex format("Local:([^;]+);([0-9A-F]+);([0-9A-F]+)\\?SchemaVersion=1\\.1\\.0");
  EXPECT_TRUE(std::regex_match(url, m, format)) << url;
  if (m.empty()) return {};
  EXPECT_EQ(m[1], name);
  const uint64_t address = std::stoull(m[2], nullptr, 16);
  const uint64_t length = std::stoull(m[3], nullptr, 16);
  EXPECT_EQ(address, reg::kDescriptionFile);
  const auto int32 = INFO_DATATYPE_INT32;
  expectInfo(
      [&](int32_t cmd) { return ask(g.GCGetPortURLInfo, port, 0, cmd); },
      {{"FILENAME", URL_INFO_FILENAME, INFO_DATATYPE_STRING, 0, name.c_str()},
       {"FILE_REGISTER_ADDRESS", URL_INFO_FILE_REGISTER_ADDRESS, INFO_DATATYPE_UINT64, address},
       {"FILE_SIZE", URL_INFO_FILE_SIZE, INFO_DATATYPE_UINT64, length},
       {"SCHEME", URL_INFO_SCHEME, int32, URL_SCHEME_LOCAL},
       {"SCHEMA_VER_MAJOR", URL_INFO_SCHEMA_VER_MAJOR, int32, 1},
       {"SCHEMA_VER_MINOR", URL_INFO_SCHEMA_VER_MINOR, int32, 1},
       {"FILE_VER_MAJOR", URL_INFO_FILE_VER_MAJOR, int32, 1}});

  std::string file(length, '\0');
  for (uint64_t at = 0; at < length; at += 1000) {
    size_t piece = std::min<uint64_t>(1000, length - at);
    EXPECT_EQ(g.GCReadPort(port, address + at, &file[at], &piece), GC_ERR_SUCCESS);
  }
  size = 1;
  EXPECT_EQ(g.GCReadPort(port, address + length, legacy, &size), GC_ERR_INVALID_ADDRESS);
  const Answer hash = ask(g.GCGetPortURLInfo, port, 0, URL_INFO_FILE_SHA1_HASH);
  EXPECT_EQ(hash.type, INFO_DATATYPE_BUFFER);
  const auto digest = sha1(file.data(), file.size());
  EXPECT_EQ(hash.bytes, std::vector<uint8_t>(digest.begin(), digest.end()));
  return file;
}

// The one stored entry of the archive, after checking the headers around it.
std::string storedEntry(const std::string& zip, const std::string& name) {
  EXPECT_GT(zip.size(), 30 + name.size() + 22);
  if (zip.size() <= 30 + name.size() + 22) return {};
  const std::string data = zip.substr(30 + name.size() + le(zip, 28, 2), le(zip, 18, 4));
  EXPECT_EQ(le(zip, 0, 4), 0x04034b50u);
  EXPECT_EQ(le(zip, 8, 2), 0u);  // stored
  EXPECT_EQ(le(zip, 14, 4), crc32(data.data(), data.size()));
  EXPECT_EQ(le(zip, 22, 4), data.size());
  EXPECT_EQ(le(zip, 26, 2), name.size());
  EXPECT_EQ(zip.substr(30, name.size()), name);
  const size_t end = zip.size() - 22;
  EXPECT_EQ(le(zip, end, 4), 0x06054b50u);
  EXPECT_EQ(le(zip, end + 10, 2), 1u);  // one entry
  EXPECT_EQ(le(zip, le(zip, end + 16, 4), 4), 0x02014b50u);

  // The real unzip must agree, when it is installed.
  if (std::system("command -v unzip >/dev/null 2>&1") != 0) return data;
  char path[] = "/tmp/grabkit-sim-XXXXXX.zip";
  const int fd = mkstemps(path, 4);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, zip.data(), zip.size()), static_cast<ssize_t>(zip.size()));
  close(fd);
  std::string extracted;
  if (FILE* pipe = popen((std::string("unzip -p ") + path).c_str(), "r")) {
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) extracted.append(chunk, n);
    EXPECT_EQ(pclose(pipe), 0);
  }
  unlink(path);
  EXPECT_EQ(extracted, data);
  return data;
}

TEST_F(SimTest, DescriptionFilesAreTheGeneratedXmlAndMatchTheRegisterMap) {
  const struct {
    const char* device;
    const char* file;
    const char* xml;
  } cameras[] = {{"SimCam0", "GrabkitSimCam.xml", "GrabkitSimCam.xml"},
                 {"SimCam3D", "GrabkitSimCam3D.zip", "GrabkitSimCam3D.xml"}};
  const struct {
    const char* node;
    uint64_t address;
  } registers[] = {{"WidthReg", reg::kWidth},
                   {"HeightReg", reg::kHeight},
                   {"PixelFormatReg", reg::kPixelFormat},
                   {"TestPatternReg", reg::kTestPattern},
                   {"AcquisitionFrameRateReg", reg::kFrameRate},
                   {"AcquisitionModeReg", reg::kAcquisitionMode},
                   {"TLParamsLockedReg", reg::kTLParamsLocked},
                   {"AcquisitionStatusReg", reg::kAcquisitionStatus},
                   {"AcquisitionStartReg", reg::kAcquisitionStart},
                   {"AcquisitionStopReg", reg::kAcquisitionStop},
                   {"WidthMaxReg", reg::kWidthMax},
                   {"HeightMaxReg", reg::kHeightMax},
                   {"PayloadSizeReg", reg::kPayloadSize},
                   {"FrameCounterReg", reg::kFrameCounter},
                   {"DeviceVendorName", reg::kDeviceVendorName},
                   {"DeviceUserID", reg::kDeviceUserId}};
  for (const auto& c : cameras) {
    SCOPED_TRACE(c.device);
    const Camera cam = open(c.device, false);
    std::string xml = readDescription(cam.port, c.file);
    if (std::string(c.file) != c.xml) xml = storedEntry(xml, c.xml);
    EXPECT_EQ(xml, readFile(std::string(GRABKIT_SIM_XML_DIR "/") + c.xml));
    // The description and the register map must not drift apart.
    for (const auto& r : registers) {
      std::smatch m;
      const std::regex node(
          std::string("Name=\"") + r.node +
          "\"[^>]*>[^]*?<Address>0x([0-9A-F]+)</Address>\\s*<Length>(\\d+)</Length>");
      ASSERT_TRUE(std::regex_search(xml, m, node)) << r.node;
      EXPECT_EQ(std::stoull(m[1], nullptr, 16), r.address) << r.node;
      std::vector<uint8_t> bytes(std::stoul(m[2]));
      size_t size = bytes.size();
      EXPECT_EQ(g.GCReadPort(cam.port, r.address, bytes.data(), &size), GC_ERR_SUCCESS) << r.node;
    }
  }
}

TEST_F(SimTest, RegistersShapeThePayloadAndLockWhileAcquiring) {
  const Camera cam = open("SimCam0");
  EXPECT_EQ(read32(cam.port, reg::kWidth), kWidth);
  EXPECT_EQ(read32(cam.port, reg::kHeight), kHeight);
  EXPECT_EQ(read32(cam.port, reg::kPixelFormat), kMono8);
  EXPECT_EQ(read32(cam.port, reg::kWidthMax), reg::kMaxWidth);
  EXPECT_EQ(read32(cam.port, reg::kAcquisitionMode), reg::kContinuous);
  char vendor[reg::kStringLength] = {};
  size_t size = sizeof vendor;
  ASSERT_EQ(g.GCReadPort(cam.port, reg::kDeviceVendorName, vendor, &size), GC_ERR_SUCCESS);
  EXPECT_STREQ(vendor, "Grabkit");

  ASSERT_EQ(write32(cam.port, reg::kWidth, 100), GC_ERR_SUCCESS);
  EXPECT_EQ(payload(cam.ds), 100u * kHeight);
  ASSERT_EQ(write32(cam.port, reg::kHeight, 10), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kPixelFormat, kRgb8), GC_ERR_SUCCESS);
  EXPECT_EQ(payload(cam.ds), 3000u);
  EXPECT_EQ(read64(cam.port, reg::kPayloadSize), 3000u);

  // One read may span neighbouring registers; *size reports what was read.
  uint32_t pair[2] = {};
  size = sizeof pair;
  ASSERT_EQ(g.GCReadPort(cam.port, reg::kWidth, pair, &size), GC_ERR_SUCCESS);
  EXPECT_EQ(size, sizeof pair);
  EXPECT_EQ(pair[0], 100u);
  EXPECT_EQ(pair[1], 10u);
  uint32_t width = 0, height = 0;
  PORT_REGISTER_STACK_ENTRY entries[] = {
      {reg::kWidth, &width, 4}, {reg::kHeight, &height, 4}, {0x200, &height, 4}};
  size_t count = 3;
  EXPECT_EQ(g.GCReadPortStacked(cam.port, entries, &count), GC_ERR_INVALID_ADDRESS);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(width, 100u);
  EXPECT_EQ(height, 10u);

  EXPECT_EQ(write32(cam.port, reg::kWidth, 0), GC_ERR_INVALID_VALUE);
  EXPECT_EQ(write32(cam.port, reg::kWidth, reg::kMaxWidth + 1), GC_ERR_INVALID_VALUE);
  EXPECT_EQ(write32(cam.port, reg::kPixelFormat, 0x01080009), GC_ERR_INVALID_VALUE);
  EXPECT_EQ(write32(cam.port, reg::kTestPattern, 2), GC_ERR_INVALID_VALUE);
  EXPECT_EQ(write32(cam.port, reg::kAcquisitionMode, 0), GC_ERR_INVALID_VALUE);
  EXPECT_EQ(write32(cam.port, reg::kAcquisitionStart, 2), GC_ERR_INVALID_VALUE);
  EXPECT_EQ(write32(cam.port, reg::kWidthMax, 8), GC_ERR_ACCESS_DENIED);
  EXPECT_EQ(write32(cam.port, reg::kDescriptionFile, 0), GC_ERR_ACCESS_DENIED);
  EXPECT_EQ(write32(cam.port, reg::kWidth + 2, 8), GC_ERR_INVALID_ADDRESS);
  EXPECT_EQ(write32(cam.port, 0x200, 8), GC_ERR_INVALID_ADDRESS);
  const uint16_t half = 8;
  size = sizeof half;
  EXPECT_EQ(g.GCWritePort(cam.port, reg::kWidth, &half, &size), GC_ERR_INVALID_PARAMETER);
  uint64_t wide = 0;
  size = sizeof wide;
  EXPECT_EQ(g.GCReadPort(cam.port, reg::kRegistersEnd - 4, &wide, &size), GC_ERR_INVALID_ADDRESS);
  EXPECT_EQ(g.GCReadPort(cam.port, UINT64_MAX - 2, &wide, &size), GC_ERR_INVALID_ADDRESS);

  // Payload-shaping registers are locked while TLParamsLocked is set or the stream acquires.
  ASSERT_EQ(write32(cam.port, reg::kTLParamsLocked, 1), GC_ERR_SUCCESS);
  EXPECT_EQ(write32(cam.port, reg::kWidth, 64), GC_ERR_ACCESS_DENIED);
  ASSERT_EQ(write32(cam.port, reg::kTLParamsLocked, 0), GC_ERR_SUCCESS);
  const EVENT_HANDLE event = registerEvent(cam.ds);
  start(cam.ds, 2);
  EXPECT_EQ(write32(cam.port, reg::kPixelFormat, kMono8), GC_ERR_ACCESS_DENIED);
  ASSERT_EQ(write32(cam.port, reg::kAcquisitionStart, 1), GC_ERR_SUCCESS);
  EXPECT_EQ(read32(cam.port, reg::kAcquisitionStatus), 1u);
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, next(event).BufferHandle), GC_ERR_SUCCESS);

  // AcquisitionStop holds the sensor until AcquisitionStart; a frame already on its
  // way may still arrive, after that it is quiet.
  ASSERT_EQ(write32(cam.port, reg::kAcquisitionStop, 1), GC_ERR_SUCCESS);
  EXPECT_EQ(read32(cam.port, reg::kAcquisitionStatus), 0u);
  EVENT_NEW_BUFFER_DATA data{};
  size = sizeof data;
  for (int drained = 0; g.EventGetData(event, &data, &size, 100) == GC_ERR_SUCCESS;) {
    ASSERT_EQ(g.DSQueueBuffer(cam.ds, data.BufferHandle), GC_ERR_SUCCESS);
    ASSERT_LT(++drained, 3);
  }
  ASSERT_EQ(write32(cam.port, reg::kAcquisitionStart, 1), GC_ERR_SUCCESS);
  next(event);
  ASSERT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
  const uint64_t frames = read64(cam.port, reg::kFrameCounter);
  EXPECT_GE(frames, 2u);
  EXPECT_EQ(frames, streamCount(cam.ds, STREAM_INFO_NUM_DELIVERED));
  EXPECT_EQ(write32(cam.port, reg::kPixelFormat, kMono8), GC_ERR_SUCCESS);
}

}  // namespace
}  // namespace grabkit::sim::test

// Registers of the remote device, the description file behind the port URL, and
// the small maps of the module ports.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "sha1.h"
#include "sim_test.h"

namespace grabkit::sim::test {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Bitwise CRC-32, deliberately not the producer's table-driven one.
uint32_t slowCrc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

uint32_t le(const std::string& s, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

class PortTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    cam = open(deviceId());
  }
  virtual const char* deviceId() const { return "SimCam0"; }

  size_t payload() {
    return value<size_t>(streamInfo(cam.ds, STREAM_INFO_PAYLOAD_SIZE), INFO_DATATYPE_SIZET);
  }

  // Reads the whole description file through the port in pieces, as GenICam
  // readers do, after checking that its URL, address and size agree.
  std::string readDescription(const std::string& expectedName) {
    uint32_t urls = 0;
    EXPECT_EQ(g.GCGetNumPortURLs(cam.port, &urls), GC_ERR_SUCCESS);
    EXPECT_EQ(urls, 1u);
    const std::string url = urlInfo(cam.port, URL_INFO_URL).text();
    char legacy[256];
    size_t size = sizeof legacy;
    EXPECT_EQ(g.GCGetPortURL(cam.port, legacy, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(url, legacy);

    std::smatch m;
    EXPECT_TRUE(std::regex_match(
        url, m, std::regex("Local:([^;]+);([0-9A-F]+);([0-9A-F]+)\\?SchemaVersion=1\\.1\\.0")))
        << url;
    if (m.empty()) return {};
    EXPECT_EQ(m[1], expectedName);
    EXPECT_EQ(urlInfo(cam.port, URL_INFO_FILENAME).text(), expectedName);
    const uint64_t address = std::stoull(m[2], nullptr, 16);
    const uint64_t length = std::stoull(m[3], nullptr, 16);
    EXPECT_EQ(address, reg::kDescriptionFile);
    EXPECT_EQ(
        value<uint64_t>(urlInfo(cam.port, URL_INFO_FILE_REGISTER_ADDRESS), INFO_DATATYPE_UINT64),
        address);
    EXPECT_EQ(value<uint64_t>(urlInfo(cam.port, URL_INFO_FILE_SIZE), INFO_DATATYPE_UINT64), length);
    EXPECT_EQ(value<int32_t>(urlInfo(cam.port, URL_INFO_SCHEME), INFO_DATATYPE_INT32),
              URL_SCHEME_LOCAL);
    EXPECT_EQ(value<int32_t>(urlInfo(cam.port, URL_INFO_SCHEMA_VER_MAJOR), INFO_DATATYPE_INT32), 1);
    EXPECT_EQ(value<int32_t>(urlInfo(cam.port, URL_INFO_SCHEMA_VER_MINOR), INFO_DATATYPE_INT32), 1);
    EXPECT_EQ(value<int32_t>(urlInfo(cam.port, URL_INFO_FILE_VER_MAJOR), INFO_DATATYPE_INT32), 1);

    std::string file(length, '\0');
    for (uint64_t at = 0; at < length; at += 1000) {
      size_t piece = std::min<uint64_t>(1000, length - at);
      EXPECT_EQ(g.GCReadPort(cam.port, address + at, &file[at], &piece), GC_ERR_SUCCESS);
    }
    char past = 0;
    size = 1;
    EXPECT_EQ(g.GCReadPort(cam.port, address + length, &past, &size), GC_ERR_INVALID_ADDRESS);

    const Answer hash = urlInfo(cam.port, URL_INFO_FILE_SHA1_HASH);
    EXPECT_EQ(hash.type, INFO_DATATYPE_BUFFER);
    const auto digest = sha1(file.data(), file.size());
    EXPECT_EQ(hash.bytes, std::vector<uint8_t>(digest.begin(), digest.end()));
    return file;
  }

  Camera cam;
};

TEST_F(PortTest, RegistersShapeTheImageAndThePayload) {
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
  EXPECT_EQ(payload(), 100u * kHeight);
  ASSERT_EQ(write32(cam.port, reg::kHeight, 10), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kPixelFormat, kRgb8), GC_ERR_SUCCESS);
  EXPECT_EQ(payload(), 3000u);
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

  // Payload-shaping registers are locked while the stream acquires or TLParamsLocked is set.
  ASSERT_EQ(write32(cam.port, reg::kTLParamsLocked, 1), GC_ERR_SUCCESS);
  EXPECT_EQ(write32(cam.port, reg::kWidth, 64), GC_ERR_ACCESS_DENIED);
  ASSERT_EQ(write32(cam.port, reg::kTLParamsLocked, 0), GC_ERR_SUCCESS);
  const EVENT_HANDLE event = registerEvent(cam.ds);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(g.DSQueueBuffer(cam.ds, allocate(cam.ds, payload())), 0);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  EXPECT_EQ(write32(cam.port, reg::kPixelFormat, kMono8), GC_ERR_ACCESS_DENIED);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(g.DSQueueBuffer(cam.ds, next(event).BufferHandle), 0);
  ASSERT_EQ(g.DSStopAcquisition(cam.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
  EXPECT_GE(read64(cam.port, reg::kFrameCounter), 3u);
  EXPECT_EQ(write32(cam.port, reg::kPixelFormat, kMono8), GC_ERR_SUCCESS);
}

TEST_F(PortTest, AcquisitionStopHoldsTheSensorUntilStart) {
  const EVENT_HANDLE event = registerEvent(cam.ds);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(g.DSQueueBuffer(cam.ds, allocate(cam.ds, payload())), 0);
  ASSERT_EQ(g.DSStartAcquisition(cam.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kAcquisitionStart, 1), GC_ERR_SUCCESS);
  EXPECT_EQ(read32(cam.port, reg::kAcquisitionStatus), 1u);
  ASSERT_EQ(g.DSQueueBuffer(cam.ds, next(event).BufferHandle), GC_ERR_SUCCESS);

  ASSERT_EQ(write32(cam.port, reg::kAcquisitionStop, 1), GC_ERR_SUCCESS);
  EXPECT_EQ(read32(cam.port, reg::kAcquisitionStatus), 0u);
  // A frame already on its way may still arrive; after that the sensor is quiet.
  EVENT_NEW_BUFFER_DATA data{};
  size_t size = sizeof data;
  int drained = 0;
  while (g.EventGetData(event, &data, &size, 100) == GC_ERR_SUCCESS) {
    ASSERT_EQ(g.DSQueueBuffer(cam.ds, data.BufferHandle), GC_ERR_SUCCESS);
    ASSERT_LT(++drained, 3);
  }
  EXPECT_EQ(write32(cam.port, reg::kAcquisitionStart, 2), GC_ERR_INVALID_VALUE);
  ASSERT_EQ(write32(cam.port, reg::kAcquisitionStart, 1), GC_ERR_SUCCESS);
  next(event);
}

TEST_F(PortTest, DescriptionFileIsTheGeneratedXml) {
  const std::string file = readDescription("GrabkitSimCam.xml");
  EXPECT_EQ(file, readFile(GRABKIT_SIM_XML_DIR "/GrabkitSimCam.xml"));
  // The description and the register map must not drift apart.
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
  for (const auto& r : registers) {
    std::smatch m;
    const std::regex node(
        std::string("Name=\"") + r.node +
        "\"[^>]*>[^]*?<Address>0x([0-9A-F]+)</Address>\\s*<Length>(\\d+)</Length>");
    ASSERT_TRUE(std::regex_search(file, m, node)) << r.node;
    EXPECT_EQ(std::stoull(m[1], nullptr, 16), r.address) << r.node;
    std::vector<uint8_t> bytes(std::stoul(m[2]));
    size_t size = bytes.size();
    EXPECT_EQ(g.GCReadPort(cam.port, r.address, bytes.data(), &size), GC_ERR_SUCCESS) << r.node;
  }
}

class Port3DTest : public PortTest {
  const char* deviceId() const override { return "SimCam3D"; }
};

TEST_F(Port3DTest, DescriptionFileIsAZipHoldingTheGeneratedXml) {
  const std::string zip = readDescription("GrabkitSimCam3D.zip");
  const std::string xml = readFile(GRABKIT_SIM_XML_DIR "/GrabkitSimCam3D.xml");
  const std::string name = "GrabkitSimCam3D.xml";
  ASSERT_GT(zip.size(), 30 + name.size() + xml.size());
  EXPECT_EQ(le(zip, 0, 4), 0x04034b50u);
  EXPECT_EQ(le(zip, 8, 2), 0u);  // stored
  EXPECT_EQ(le(zip, 14, 4), slowCrc32(xml));
  EXPECT_EQ(le(zip, 18, 4), xml.size());
  EXPECT_EQ(le(zip, 22, 4), xml.size());
  ASSERT_EQ(le(zip, 26, 2), name.size());
  EXPECT_EQ(zip.substr(30, name.size()), name);
  EXPECT_EQ(zip.substr(30 + name.size() + le(zip, 28, 2), xml.size()), xml);
  const size_t end = zip.size() - 22;
  EXPECT_EQ(le(zip, end, 4), 0x06054b50u);
  EXPECT_EQ(le(zip, end + 10, 2), 1u);  // one entry
  EXPECT_EQ(le(zip, le(zip, end + 16, 4), 4), 0x02014b50u);

  // The real unzip must agree, when it is installed.
  if (std::system("command -v unzip >/dev/null 2>&1") != 0) return;
  char path[] = "/tmp/grabkit-sim-XXXXXX.zip";
  const int fd = mkstemps(path, 4);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, zip.data(), zip.size()), static_cast<ssize_t>(zip.size()));
  close(fd);
  std::string extracted;
  if (FILE* pipe = popen((std::string("unzip -p ") + path).c_str(), "r")) {
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) extracted.append(chunk, n);
    EXPECT_EQ(pclose(pipe), 0);
  }
  unlink(path);
  EXPECT_EQ(extracted, xml);
}

TEST_F(PortTest, ModulePortsAreSmallReadOnlyMaps) {
  const struct {
    void* port;
    uint32_t kind;
    const char* id;
  } modules[] = {{tl, 1, "GrabkitSim"},
                 {iface, 2, "SimInterface0"},
                 {cam.dev, 3, "SimCam0"},
                 {cam.ds, 4, "Stream0"}};
  for (const auto& m : modules) {
    EXPECT_EQ(read32(m.port, reg::kModuleGenTLVersion), 0x00010005u);
    EXPECT_EQ(read32(m.port, reg::kModuleKind), m.kind);
    char id[reg::kModuleIdLength];
    size_t size = sizeof id;
    ASSERT_EQ(g.GCReadPort(m.port, reg::kModuleId, id, &size), GC_ERR_SUCCESS);
    EXPECT_STREQ(id, m.id);
    EXPECT_EQ(write32(m.port, reg::kModuleKind, 0), GC_ERR_ACCESS_DENIED);
    uint32_t word = 0;
    size = sizeof word;
    EXPECT_EQ(g.GCReadPort(m.port, reg::kModuleMapEnd, &word, &size), GC_ERR_INVALID_ADDRESS);
    uint32_t urls = 1;
    ASSERT_EQ(g.GCGetNumPortURLs(m.port, &urls), GC_ERR_SUCCESS);
    EXPECT_EQ(urls, 0u);
    char url[64];
    size = sizeof url;
    EXPECT_EQ(g.GCGetPortURL(m.port, url, &size), GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(urlInfo(m.port, URL_INFO_URL).error, GC_ERR_INVALID_INDEX);
  }
  // The stream's map counts its announced buffers.
  allocate(cam.ds, 16);
  EXPECT_EQ(read32(cam.ds, reg::kModuleChildren), 1u);
}

}  // namespace
}  // namespace grabkit::sim::test

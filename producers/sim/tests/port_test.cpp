// Registers of the remote device and the description file behind the port URL.
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

#include "pattern.h"
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
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s.at(at + i));
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
  expectInfo(
      [&](int32_t cmd) { return ask(g.GCGetPortURLInfo, port, 0, cmd); },
      {{"FILENAME", URL_INFO_FILENAME, INFO_DATATYPE_STRING, 0, name.c_str()},
       {"FILE_REGISTER_ADDRESS", URL_INFO_FILE_REGISTER_ADDRESS, INFO_DATATYPE_UINT64, address},
       {"FILE_SIZE", URL_INFO_FILE_SIZE, INFO_DATATYPE_UINT64, length},
       {"SCHEME", URL_INFO_SCHEME, INFO_DATATYPE_INT32, URL_SCHEME_LOCAL}});

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

// The one stored entry of the archive, found as zip readers find it: from the end
// record through the central directory to the local header, which must agree.
std::string storedEntry(const std::string& zip, const std::string& name) {
  const size_t end = zip.size() - 22;  // no archive comment
  EXPECT_EQ(le(zip, end, 4), 0x06054b50u);
  EXPECT_EQ(le(zip, end + 10, 2), 1u);
  const size_t entry = le(zip, end + 16, 4);
  EXPECT_EQ(le(zip, end + 12, 4), end - entry);
  EXPECT_EQ(le(zip, entry, 4), 0x02014b50u);
  EXPECT_EQ(le(zip, entry + 10, 2), 0u);  // stored
  EXPECT_EQ(le(zip, entry + 20, 4), le(zip, entry + 24, 4));
  EXPECT_EQ(zip.substr(entry + 46, le(zip, entry + 28, 2)), name);
  const size_t local = le(zip, entry + 42, 4);
  EXPECT_EQ(le(zip, local, 4), 0x04034b50u);
  EXPECT_EQ(zip.substr(local + 8, 18), zip.substr(entry + 10, 18));  // method to sizes
  EXPECT_EQ(zip.substr(local + 30, le(zip, local + 26, 2)), name);
  const size_t data = local + 30 + le(zip, local + 26, 2) + le(zip, local + 28, 2);
  const std::string xml = zip.substr(data, le(zip, entry + 24, 4));
  EXPECT_EQ(le(zip, entry + 16, 4), crc32(xml.data(), xml.size()));
  return xml;
}

TEST_F(SimTest, DescriptionFilesAreTheGeneratedXmlAndMatchTheRegisterMap) {
  const struct {
    const char* device;
    const char* file;
    const char* xml;
  } cameras[] = {{"SimCam0", "GrabkitSimCam.xml", "GrabkitSimCam.xml"},
                 {"SimCam3D", "GrabkitSimCam3D.zip", "GrabkitSimCam3D.xml"}};
  // Names the register map and the description file must agree on.
  const struct {
    const char* node;
    uint64_t address;
  } registers[] = {{"WidthReg", reg::kWidth},
                   {"PixelFormatReg", reg::kPixelFormat},
                   {"AcquisitionModeReg", reg::kAcquisitionMode},
                   {"TLParamsLockedReg", reg::kTLParamsLocked},
                   {"OffsetYReg", reg::kOffsetY},
                   {"BinningVerticalReg", reg::kImageControl},
                   {"ExposureTimeReg", reg::kExposureTime},
                   {"GainReg", reg::kGain},
                   {"DeviceTemperatureReg", reg::kDeviceTemperature},
                   {"UserSetSaveReg", reg::kUserSetSave},
                   {"ChunkEnableReg", reg::kChunkEnable},
                   {"DeviceUserID", reg::kDeviceUserId}};
  for (const auto& c : cameras) {
    SCOPED_TRACE(c.device);
    const Camera cam = open(c.device, false);
    std::string xml = readDescription(cam.port, c.file);
    if (std::string(c.file) != c.xml) xml = storedEntry(xml, c.xml);
    EXPECT_EQ(xml, readFile(std::string(GRABKIT_SIM_XML_DIR "/") + c.xml));
    for (const auto& r : registers) {
      std::smatch m;
      const std::regex node(std::string("Name=\"") + r.node +
                            "\"[^>]*>[^]*?<Address>0x([0-9A-F]+)</Address>");
      ASSERT_TRUE(std::regex_search(xml, m, node)) << r.node;
      EXPECT_EQ(std::stoull(m[1], nullptr, 16), r.address) << r.node;
    }
    // Every register of the device port that the file names is served.
    const std::regex element(
        "<(IntReg|MaskedIntReg|FloatReg|StringReg|StructReg)[^>]*>([^]*?)</\\1>");
    const std::regex fields("<Address>0x([0-9A-F]+)</Address>[^]*?<Length>(\\d+)</Length>");
    int served = 0;
    for (std::sregex_iterator it(xml.begin(), xml.end(), element), end; it != end; ++it) {
      const std::string body = (*it)[2];
      std::smatch f;
      if (body.find("<pPort>Device</pPort>") == std::string::npos) continue;
      ASSERT_TRUE(std::regex_search(body, f, fields)) << body;
      std::vector<uint8_t> bytes(std::stoul(f[2]));
      size_t size = bytes.size();
      EXPECT_EQ(g.GCReadPort(cam.port, std::stoull(f[1], nullptr, 16), bytes.data(), &size),
                GC_ERR_SUCCESS)
          << body;
      ++served;
    }
    EXPECT_GT(served, 40);
  }
}

TEST_F(SimTest, EveryEnumerationValueTheCameraAcceptsHasAnEntry) {
  const Camera cam = open("SimCam0", false);
  const std::string xml = readDescription(cam.port, "GrabkitSimCam.xml");
  const struct {
    const char* enumeration;
    uint64_t address;
  } enumerations[] = {
      {"PixelFormat", reg::kPixelFormat},         {"TestPattern", reg::kTestPattern},
      {"AcquisitionMode", reg::kAcquisitionMode}, {"ExposureAuto", reg::kExposureAuto},
      {"GainSelector", reg::kGainSelector},       {"ChunkSelector", reg::kChunkSelector},
      {"UserSetSelector", reg::kUserSetSelector}};
  std::vector<uint32_t> candidates;
  for (uint32_t v = 0; v < 64; ++v) candidates.push_back(v);
  for (const FormatInfo& f : formats()) candidates.push_back(f.code);
  for (const auto& e : enumerations) {
    SCOPED_TRACE(e.enumeration);
    std::smatch block;
    ASSERT_TRUE(std::regex_search(
        xml, block,
        std::regex(std::string("<Enumeration Name=\"") + e.enumeration + "\"[^]*?</Enumeration>")));
    std::set<uint64_t> entries;
    const std::string body = block[0];
    const std::regex value("<Value>(0x[0-9A-F]+|\\d+)</Value>");
    for (std::sregex_iterator it(body.begin(), body.end(), value), end; it != end; ++it) {
      entries.insert(std::stoull((*it)[1], nullptr, 0));
    }
    const uint32_t start = read32(cam.port, e.address);
    EXPECT_EQ(entries.count(start), 1u) << "start value " << start;
    for (const uint32_t v : candidates) {
      if (write32(cam.port, e.address, v) == GC_ERR_SUCCESS) {
        EXPECT_EQ(entries.count(read32(cam.port, e.address)), 1u) << "value " << v;
      }
    }
    write32(cam.port, e.address, start);
  }
}

TEST_F(SimTest, RegistersShapeThePayloadAndLockWhileAcquiring) {
  const Camera cam = open("SimCam0");
  ASSERT_EQ(write32(cam.port, reg::kWidth, 100), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kHeight, 10), GC_ERR_SUCCESS);
  ASSERT_EQ(write32(cam.port, reg::kPixelFormat, kRgb8), GC_ERR_SUCCESS);
  EXPECT_EQ(payload(cam.ds), 3000u);
  EXPECT_EQ(read64(cam.port, reg::kPayloadSize), 3000u);

  // One read may span neighbouring registers; *size reports what was read.
  uint32_t pair[2] = {};
  size_t size = sizeof pair;
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
  EXPECT_EQ(write32(cam.port, reg::kPixelFormat, 0x01080099), GC_ERR_INVALID_VALUE);
  EXPECT_EQ(write32(cam.port, reg::kTestPattern, 2), GC_ERR_INVALID_VALUE);
  EXPECT_EQ(write32(cam.port, reg::kAcquisitionMode, 3), GC_ERR_INVALID_VALUE);
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

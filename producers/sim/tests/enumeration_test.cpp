// Library life cycle, module enumeration, info values, module ports and argument checking.
#include <climits>

#include "sim_test.h"

namespace grabkit::sim::test {
namespace {

std::string lastErrorText(GC_ERROR* code) {
  char text[512];
  size_t size = sizeof text;
  EXPECT_EQ(gentl().GCGetLastError(code, text, &size), GC_ERR_SUCCESS);
  return text;
}

TEST(LibraryLifeCycle, OnlyStaticInformationBeforeInit) {
  const GenTLModule& g = gentl();
  EXPECT_EQ(ask(g.GCGetInfo, TL_INFO_VENDOR).text(), "Grabkit");
  TL_HANDLE tl = nullptr;
  EXPECT_EQ(g.TLOpen(&tl), GC_ERR_NOT_INITIALIZED);
  EXPECT_EQ(g.GCCloseLib(), GC_ERR_NOT_INITIALIZED);
  GC_ERROR code = GC_ERR_SUCCESS;
  EXPECT_NE(lastErrorText(&code).find("GCCloseLib"), std::string::npos);
  EXPECT_EQ(code, GC_ERR_NOT_INITIALIZED);

  ASSERT_EQ(g.GCInitLib(), GC_ERR_SUCCESS);
  EXPECT_EQ(g.GCInitLib(), GC_ERR_RESOURCE_IN_USE);
  EXPECT_EQ(g.GCCloseLib(), GC_ERR_SUCCESS);
  EXPECT_EQ(g.TLOpen(&tl), GC_ERR_NOT_INITIALIZED);
}

TEST_F(SimTest, SystemInfoIsTheSameWithAndWithoutAHandle) {
  ASSERT_EQ(g.TLOpen(&tl), GC_ERR_SUCCESS);
  const std::string real = Grabkit::Platform::realPath(GRABKIT_SIM_CTI);
  const std::initializer_list<Expected> rows = {
      {"ID", TL_INFO_ID, INFO_DATATYPE_STRING, 0, "GrabkitSim"},
      {"NAME", TL_INFO_NAME, INFO_DATATYPE_STRING, 0, "grabkit-sim.cti"},
      {"PATHNAME", TL_INFO_PATHNAME, INFO_DATATYPE_STRING, 0, real.c_str()},
      {"GENTL_VER_MAJOR", TL_INFO_GENTL_VER_MAJOR, INFO_DATATYPE_UINT32, 1},
      {"GENTL_VER_MINOR", TL_INFO_GENTL_VER_MINOR, INFO_DATATYPE_UINT32, 5}};
  expectInfo([&](int32_t cmd) { return ask(g.TLGetInfo, tl, cmd); }, rows);
  expectInfo([&](int32_t cmd) { return ask(g.GCGetInfo, cmd); }, rows);

  // *size is capacity in and bytes written out; strings count their NUL.
  char text[8];
  size_t size = 7;
  EXPECT_EQ(g.TLGetInfo(tl, TL_INFO_VENDOR, nullptr, text, &size), GC_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(g.TLGetInfo(tl, TL_INFO_VENDOR, nullptr, text, &size), GC_ERR_SUCCESS);
  EXPECT_STREQ(text, "Grabkit");
  EXPECT_EQ(g.TLGetInfo(tl, TL_INFO_VENDOR, nullptr, text, nullptr), GC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(g.TLGetInfo(tl, 999, nullptr, text, &size), GC_ERR_NOT_IMPLEMENTED);
}

// Lists the devices of an opened interface in order; the index past them is refused.
std::vector<std::string> deviceIds(IF_HANDLE iface) {
  uint32_t count = 0;
  EXPECT_EQ(gentl().IFGetNumDevices(iface, &count), GC_ERR_SUCCESS);
  std::vector<std::string> ids;
  char id[64];
  for (size_t size = sizeof id; ids.size() <= count; size = sizeof id) {
    const GC_ERROR error = gentl().IFGetDeviceID(iface, ids.size(), id, &size);
    EXPECT_EQ(error, ids.size() < count ? GC_ERR_SUCCESS : GC_ERR_INVALID_INDEX);
    if (error != GC_ERR_SUCCESS) break;
    ids.push_back(id);
  }
  return ids;
}

TEST_F(SimTest, EnumeratesOneInterfaceWithTwoCameras) {
  ASSERT_EQ(g.TLOpen(&tl), GC_ERR_SUCCESS);
  // Only the first update reports a change: the lists are complete from the start.
  bool8_t changed = 0;
  ASSERT_EQ(g.TLUpdateInterfaceList(tl, &changed, 100), GC_ERR_SUCCESS);
  EXPECT_EQ(changed, 1);
  ASSERT_EQ(g.TLUpdateInterfaceList(tl, &changed, 100), GC_ERR_SUCCESS);
  EXPECT_EQ(changed, 0);
  uint32_t count = 0;
  ASSERT_EQ(g.TLGetNumInterfaces(tl, &count), GC_ERR_SUCCESS);
  EXPECT_EQ(count, 1u);
  char id[64];
  size_t size = sizeof id;
  ASSERT_EQ(g.TLGetInterfaceID(tl, 0, id, &size), GC_ERR_SUCCESS);
  EXPECT_STREQ(id, "SimInterface0");
  EXPECT_EQ(size, sizeof "SimInterface0");
  EXPECT_EQ(g.TLGetInterfaceID(tl, 1, id, &size), GC_ERR_INVALID_INDEX);
  EXPECT_EQ(ask(g.TLGetInterfaceInfo, tl, "SimInterface0", INTERFACE_INFO_ID).text(),
            "SimInterface0");
  EXPECT_EQ(ask(g.TLGetInterfaceInfo, tl, "Nope", INTERFACE_INFO_ID).error, GC_ERR_INVALID_ID);

  ASSERT_EQ(g.TLOpenInterface(tl, "SimInterface0", &iface), GC_ERR_SUCCESS);
  IF_HANDLE again = nullptr;
  EXPECT_EQ(g.TLOpenInterface(tl, "SimInterface0", &again), GC_ERR_RESOURCE_IN_USE);
  EXPECT_EQ(ask(g.IFGetInfo, iface, INTERFACE_INFO_ID).text(), "SimInterface0");
  ASSERT_EQ(g.IFUpdateDeviceList(iface, &changed, 100), GC_ERR_SUCCESS);
  EXPECT_EQ(changed, 1);
  ASSERT_EQ(g.IFUpdateDeviceList(iface, &changed, 100), GC_ERR_SUCCESS);
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(deviceIds(iface), (std::vector<std::string>{"SimCam0", "SimCam3D"}));

  EXPECT_EQ(ask(g.IFGetDeviceInfo, iface, "SimCam0", DEVICE_INFO_MODEL).text(), "SimCam");
  EXPECT_EQ(ask(g.IFGetDeviceInfo, iface, "SimCam3D", DEVICE_INFO_MODEL).text(), "SimCam3D");
  EXPECT_EQ(ask(g.IFGetDeviceInfo, iface, "SimCam9", DEVICE_INFO_ID).error, GC_ERR_INVALID_ID);
}

class ManyCamerasTest : public SimTest {
  void configure() override { Grabkit::Platform::setEnvironment("GRABKIT_SIM_DEVICES", "3"); }
};

TEST_F(ManyCamerasTest, EnvironmentAddsTwoDimensionalCameras) {
  open("SimCam2");
  EXPECT_EQ(deviceIds(iface),
            (std::vector<std::string>{"SimCam0", "SimCam1", "SimCam2", "SimCam3D"}));
}

TEST_F(SimTest, AccessStatusFollowsOpenAndClose) {
  Camera cam = open("SimCam0", false);
  auto status = [&] {
    return ask(g.IFGetDeviceInfo, iface, "SimCam0", DEVICE_INFO_ACCESS_STATUS)
        .number(INFO_DATATYPE_INT32);
  };
  EXPECT_EQ(status(), DEVICE_ACCESS_STATUS_OPEN_READWRITE);
  EXPECT_EQ(ask(g.DevGetInfo, cam.dev, DEVICE_INFO_ACCESS_STATUS).number(INFO_DATATYPE_INT32),
            DEVICE_ACCESS_STATUS_OPEN_READWRITE);
  DEV_HANDLE second = nullptr;
  EXPECT_EQ(g.IFOpenDevice(iface, "SimCam0", DEVICE_ACCESS_CONTROL, &second),
            GC_ERR_RESOURCE_IN_USE);
  ASSERT_EQ(g.DevClose(cam.dev), GC_ERR_SUCCESS);
  EXPECT_EQ(status(), DEVICE_ACCESS_STATUS_READWRITE);

  // Read-only access: visible in the status and enforced on the registers.
  cam = open("SimCam0", false, DEVICE_ACCESS_READONLY);
  EXPECT_EQ(status(), DEVICE_ACCESS_STATUS_OPEN_READ);
  EXPECT_EQ(ask(g.GCGetPortInfo, cam.port, PORT_INFO_ACCESS_WRITE).number(INFO_DATATYPE_BOOL8), 0u);
  EXPECT_EQ(write32(cam.port, reg::kWidth, 32), GC_ERR_ACCESS_DENIED);
  EXPECT_EQ(read32(cam.port, reg::kWidth), kWidth);
}

TEST_F(SimTest, EveryModuleIsAPortWithASmallReadOnlyMapAndKnowsItsParent) {
  const Camera cam = open("SimCam0");
  void* parent = nullptr;
  ASSERT_EQ(g.IFGetParentTL(iface, &parent), GC_ERR_SUCCESS);
  EXPECT_EQ(parent, tl);
  ASSERT_EQ(g.DevGetParentIF(cam.dev, &parent), GC_ERR_SUCCESS);
  EXPECT_EQ(parent, iface);
  ASSERT_EQ(g.DSGetParentDev(cam.ds, &parent), GC_ERR_SUCCESS);
  EXPECT_EQ(parent, cam.dev);

  const struct {
    void* port;
    const char* module;
    const char* id;
    uint32_t kind;  // 0: the remote device, which has its own register map
  } ports[] = {{tl, "TLSystem", "GrabkitSim", 1},
               {iface, "TLInterface", "SimInterface0", 2},
               {cam.dev, "TLDevice", "SimCam0", 3},
               {cam.ds, "TLDataStream", "Stream0", 4},
               {cam.port, "Device", "SimCam0", 0}};
  // Real addresses: a consumer that keeps only 32 bits of a handle breaks visibly,
  // where the heap lies above 4 GiB (on Linux; Windows starts it low).
  const auto probe = std::make_unique<int>();
  const bool highHeap = ptr(probe.get()) > uint64_t{UINT32_MAX};
  for (const auto& p : ports) {
    SCOPED_TRACE(p.module);
    if (highHeap) {
      EXPECT_GT(ptr(p.port), uint64_t{UINT32_MAX});
    }
    EXPECT_EQ(ask(g.GCGetPortInfo, p.port, PORT_INFO_MODULE).text(), p.module);
    EXPECT_EQ(ask(g.GCGetPortInfo, p.port, PORT_INFO_ID).text(), p.id);
    const Answer writable = ask(g.GCGetPortInfo, p.port, PORT_INFO_ACCESS_WRITE);
    EXPECT_EQ(writable.number(INFO_DATATYPE_BOOL8), p.kind == 0);
    if (p.kind == 0) continue;
    EXPECT_EQ(read32(p.port, reg::kModuleKind), p.kind);
    char id[reg::kModuleIdLength];
    size_t size = sizeof id;
    ASSERT_EQ(g.GCReadPort(p.port, reg::kModuleId, id, &size), GC_ERR_SUCCESS);
    EXPECT_STREQ(id, p.id);
    EXPECT_EQ(write32(p.port, reg::kModuleKind, 0), GC_ERR_ACCESS_DENIED);
    size = 4;
    EXPECT_EQ(g.GCReadPort(p.port, reg::kModuleMapEnd, id, &size), GC_ERR_INVALID_ADDRESS);
    uint32_t urls = 1;
    ASSERT_EQ(g.GCGetNumPortURLs(p.port, &urls), GC_ERR_SUCCESS);
    EXPECT_EQ(urls, 0u);
    size = sizeof id;
    EXPECT_EQ(g.GCGetPortURL(p.port, id, &size), GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(ask(g.GCGetPortURLInfo, p.port, 0, URL_INFO_URL).error, GC_ERR_INVALID_INDEX);
  }
  EXPECT_EQ(ask(g.GCGetPortInfo, cam.port, PORT_INFO_PORTNAME).text(), "Device");
  // The stream's map counts its announced buffers.
  allocate(cam.ds, 16);
  EXPECT_EQ(read32(cam.ds, reg::kModuleChildren), 1u);
}

TEST_F(SimTest, RejectsBadHandlesIdsAndArguments) {
  const Camera cam = open("SimCam0");
  int local = 0;
  uint32_t count = 0;
  EXPECT_EQ(g.DevGetNumDataStreams(nullptr, &count), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.DevGetNumDataStreams(&local, &count), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.DevGetNumDataStreams(cam.ds, &count), GC_ERR_INVALID_HANDLE);  // wrong kind
  EXPECT_EQ(g.DSStopAcquisition(cam.port, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_INVALID_HANDLE);
  GC_ERROR code = GC_ERR_SUCCESS;
  EXPECT_NE(lastErrorText(&code).find("DSStopAcquisition"), std::string::npos);
  EXPECT_EQ(code, GC_ERR_INVALID_HANDLE);

  EXPECT_EQ(g.DevGetNumDataStreams(cam.dev, nullptr), GC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(g.TLGetNumInterfaces(tl, nullptr), GC_ERR_INVALID_PARAMETER);
  TL_HANDLE second = nullptr;
  EXPECT_EQ(g.TLOpen(&second), GC_ERR_RESOURCE_IN_USE);
  EXPECT_EQ(g.TLOpen(nullptr), GC_ERR_INVALID_PARAMETER);

  DEV_HANDLE dev = nullptr;
  EXPECT_EQ(g.IFOpenDevice(iface, nullptr, DEVICE_ACCESS_EXCLUSIVE, &dev),
            GC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(g.IFOpenDevice(iface, "SimCam3D", DEVICE_ACCESS_NONE, &dev), GC_ERR_INVALID_PARAMETER);
  DS_HANDLE ds = nullptr;
  EXPECT_EQ(g.DevOpenDataStream(cam.dev, "Stream1", &ds), GC_ERR_INVALID_ID);
  EXPECT_EQ(g.DevOpenDataStream(cam.dev, "Stream0", &ds), GC_ERR_RESOURCE_IN_USE);
  char id[16];
  size_t size = sizeof id;
  EXPECT_EQ(g.DevGetDataStreamID(cam.dev, 1, id, &size), GC_ERR_INVALID_INDEX);
  ASSERT_EQ(g.DevGetDataStreamID(cam.dev, 0, id, &size), GC_ERR_SUCCESS);
  EXPECT_STREQ(id, "Stream0");

  BUFFER_HANDLE buffer = nullptr;
  EXPECT_EQ(g.DSAnnounceBuffer(cam.ds, nullptr, 16, nullptr, &buffer), GC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(g.DSAllocAndAnnounceBuffer(cam.ds, 0, nullptr, &buffer), GC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(g.DSQueueBuffer(cam.ds, &local), GC_ERR_INVALID_HANDLE);

  // A closed module's handle is stale, not dangerous.
  ASSERT_EQ(g.DSClose(cam.ds), GC_ERR_SUCCESS);
  EXPECT_EQ(g.DSClose(cam.ds), GC_ERR_INVALID_HANDLE);
  EXPECT_EQ(g.DSGetParentDev(cam.ds, &dev), GC_ERR_INVALID_HANDLE);
}

}  // namespace
}  // namespace grabkit::sim::test

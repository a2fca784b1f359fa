// Library life cycle, module enumeration, info values and argument checking.
#include <climits>
#include <cstdlib>

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
  const Answer vendor = ask(
      [&](INFO_DATATYPE* t, void* b, size_t* s) { return g.GCGetInfo(TL_INFO_VENDOR, t, b, s); });
  EXPECT_EQ(vendor.text(), "Grabkit");

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

TEST_F(SimTest, SystemInfoValuesTypesAndSizes) {
  ASSERT_EQ(g.TLOpen(&tl), GC_ERR_SUCCESS);
  const struct {
    TL_INFO_CMD cmd;
    INFO_DATATYPE type;
  } commands[] = {
      {TL_INFO_ID, INFO_DATATYPE_STRING},
      {TL_INFO_VENDOR, INFO_DATATYPE_STRING},
      {TL_INFO_MODEL, INFO_DATATYPE_STRING},
      {TL_INFO_VERSION, INFO_DATATYPE_STRING},
      {TL_INFO_TLTYPE, INFO_DATATYPE_STRING},
      {TL_INFO_NAME, INFO_DATATYPE_STRING},
      {TL_INFO_PATHNAME, INFO_DATATYPE_STRING},
      {TL_INFO_DISPLAYNAME, INFO_DATATYPE_STRING},
      {TL_INFO_CHAR_ENCODING, INFO_DATATYPE_INT32},
      {TL_INFO_GENTL_VER_MAJOR, INFO_DATATYPE_UINT32},
      {TL_INFO_GENTL_VER_MINOR, INFO_DATATYPE_UINT32},
  };
  for (const auto& c : commands) {
    const Answer global =
        ask([&](INFO_DATATYPE* t, void* b, size_t* s) { return g.GCGetInfo(c.cmd, t, b, s); });
    const Answer viaHandle =
        ask([&](INFO_DATATYPE* t, void* b, size_t* s) { return g.TLGetInfo(tl, c.cmd, t, b, s); });
    EXPECT_EQ(global.error, GC_ERR_SUCCESS) << c.cmd;
    EXPECT_EQ(global.type, c.type) << c.cmd;
    EXPECT_EQ(global.bytes, viaHandle.bytes) << c.cmd;
  }
  auto info = [&](TL_INFO_CMD cmd) {
    return ask([&](INFO_DATATYPE* t, void* b, size_t* s) { return g.TLGetInfo(tl, cmd, t, b, s); });
  };
  EXPECT_EQ(info(TL_INFO_TLTYPE).text(), "Custom");
  EXPECT_EQ(info(TL_INFO_NAME).text(), "grabkit-sim.cti");
  char real[PATH_MAX];
  ASSERT_NE(realpath(GRABKIT_SIM_CTI, real), nullptr);
  EXPECT_EQ(info(TL_INFO_PATHNAME).text(), real);
  EXPECT_EQ(info(TL_INFO_GENTL_VER_MAJOR).as<uint32_t>(), 1u);
  EXPECT_EQ(info(TL_INFO_GENTL_VER_MINOR).as<uint32_t>(), 5u);

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

TEST_F(SimTest, EnumeratesOneInterfaceWithTwoCameras) {
  ASSERT_EQ(g.TLOpen(&tl), GC_ERR_SUCCESS);
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
  size = sizeof id;
  EXPECT_EQ(g.TLGetInterfaceID(tl, 1, id, &size), GC_ERR_INVALID_INDEX);
  const Answer tlType = ask([&](INFO_DATATYPE* t, void* b, size_t* s) {
    return g.TLGetInterfaceInfo(tl, "SimInterface0", INTERFACE_INFO_TLTYPE, t, b, s);
  });
  EXPECT_EQ(tlType.text(), "Custom");
  size = sizeof id;
  EXPECT_EQ(g.TLGetInterfaceInfo(tl, "Nope", INTERFACE_INFO_ID, nullptr, id, &size),
            GC_ERR_INVALID_ID);

  ASSERT_EQ(g.TLOpenInterface(tl, "SimInterface0", &iface), GC_ERR_SUCCESS);
  IF_HANDLE again = nullptr;
  EXPECT_EQ(g.TLOpenInterface(tl, "SimInterface0", &again), GC_ERR_RESOURCE_IN_USE);
  const Answer ifId = ask([&](INFO_DATATYPE* t, void* b, size_t* s) {
    return g.IFGetInfo(iface, INTERFACE_INFO_ID, t, b, s);
  });
  EXPECT_EQ(ifId.text(), "SimInterface0");
  ASSERT_EQ(g.IFUpdateDeviceList(iface, &changed, 100), GC_ERR_SUCCESS);
  EXPECT_EQ(changed, 1);
  ASSERT_EQ(g.IFUpdateDeviceList(iface, &changed, 100), GC_ERR_SUCCESS);
  EXPECT_EQ(changed, 0);
  ASSERT_EQ(g.IFGetNumDevices(iface, &count), GC_ERR_SUCCESS);
  ASSERT_EQ(count, 2u);
  const char* expected[] = {"SimCam0", "SimCam3D"};
  for (uint32_t i = 0; i < 2; ++i) {
    size = sizeof id;
    ASSERT_EQ(g.IFGetDeviceID(iface, i, id, &size), GC_ERR_SUCCESS);
    EXPECT_STREQ(id, expected[i]);
  }
  size = sizeof id;
  EXPECT_EQ(g.IFGetDeviceID(iface, 2, id, &size), GC_ERR_INVALID_INDEX);

  auto device = [&](const char* dev, DEVICE_INFO_CMD cmd) {
    return ask([&](INFO_DATATYPE* t, void* b, size_t* s) {
      return g.IFGetDeviceInfo(iface, dev, cmd, t, b, s);
    });
  };
  EXPECT_EQ(device("SimCam0", DEVICE_INFO_VENDOR).text(), "Grabkit");
  EXPECT_EQ(device("SimCam0", DEVICE_INFO_MODEL).text(), "SimCam");
  EXPECT_EQ(device("SimCam3D", DEVICE_INFO_MODEL).text(), "SimCam3D");
  EXPECT_EQ(device("SimCam0", DEVICE_INFO_TLTYPE).text(), "Custom");
  EXPECT_FALSE(device("SimCam0", DEVICE_INFO_SERIAL_NUMBER).text().empty());
  EXPECT_EQ(value<int32_t>(device("SimCam0", DEVICE_INFO_ACCESS_STATUS), INFO_DATATYPE_INT32),
            DEVICE_ACCESS_STATUS_READWRITE);
  EXPECT_EQ(
      value<uint64_t>(device("SimCam0", DEVICE_INFO_TIMESTAMP_FREQUENCY), INFO_DATATYPE_UINT64),
      1000000000u);
  EXPECT_EQ(device("SimCam9", DEVICE_INFO_ID).error, GC_ERR_INVALID_ID);
}

TEST_F(SimTest, AccessStatusFollowsOpenAndClose) {
  Camera cam = open("SimCam0", false);
  auto status = [&] {
    return value<int32_t>(ask([&](INFO_DATATYPE* t, void* b, size_t* s) {
                            return g.IFGetDeviceInfo(iface, "SimCam0", DEVICE_INFO_ACCESS_STATUS, t,
                                                     b, s);
                          }),
                          INFO_DATATYPE_INT32);
  };
  EXPECT_EQ(status(), DEVICE_ACCESS_STATUS_OPEN_READWRITE);
  const Answer viaDevice = ask([&](INFO_DATATYPE* t, void* b, size_t* s) {
    return g.DevGetInfo(cam.dev, DEVICE_INFO_ACCESS_STATUS, t, b, s);
  });
  EXPECT_EQ(value<int32_t>(viaDevice, INFO_DATATYPE_INT32), DEVICE_ACCESS_STATUS_OPEN_READWRITE);
  DEV_HANDLE second = nullptr;
  EXPECT_EQ(g.IFOpenDevice(iface, "SimCam0", DEVICE_ACCESS_CONTROL, &second),
            GC_ERR_RESOURCE_IN_USE);
  ASSERT_EQ(g.DevClose(cam.dev), GC_ERR_SUCCESS);
  EXPECT_EQ(status(), DEVICE_ACCESS_STATUS_READWRITE);

  // Read-only access: visible in the status and enforced on the registers.
  cam = open("SimCam0", false, DEVICE_ACCESS_READONLY);
  EXPECT_EQ(status(), DEVICE_ACCESS_STATUS_OPEN_READ);
  EXPECT_EQ(value<bool8_t>(portInfo(cam.port, PORT_INFO_ACCESS_WRITE), INFO_DATATYPE_BOOL8), 0);
  EXPECT_EQ(write32(cam.port, reg::kWidth, 32), GC_ERR_ACCESS_DENIED);
  EXPECT_EQ(read32(cam.port, reg::kWidth), kWidth);
}

class ManyCamerasTest : public SimTest {
  void configure() override { setenv("GRABKIT_SIM_DEVICES", "3", 1); }
};

TEST_F(ManyCamerasTest, EnvironmentAddsTwoDimensionalCameras) {
  open("SimCam2");
  uint32_t count = 0;
  ASSERT_EQ(g.IFGetNumDevices(iface, &count), GC_ERR_SUCCESS);
  ASSERT_EQ(count, 4u);
  const char* expected[] = {"SimCam0", "SimCam1", "SimCam2", "SimCam3D"};
  for (uint32_t i = 0; i < count; ++i) {
    char id[32];
    size_t size = sizeof id;
    ASSERT_EQ(g.IFGetDeviceID(iface, i, id, &size), GC_ERR_SUCCESS);
    EXPECT_STREQ(id, expected[i]);
  }
}

TEST_F(SimTest, EveryModuleIsAPortAndKnowsItsParent) {
  const Camera cam = open("SimCam0");
  TL_HANDLE parentTl = nullptr;
  IF_HANDLE parentIf = nullptr;
  DEV_HANDLE parentDev = nullptr;
  ASSERT_EQ(g.IFGetParentTL(iface, &parentTl), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DevGetParentIF(cam.dev, &parentIf), GC_ERR_SUCCESS);
  ASSERT_EQ(g.DSGetParentDev(cam.ds, &parentDev), GC_ERR_SUCCESS);
  EXPECT_EQ(parentTl, tl);
  EXPECT_EQ(parentIf, iface);
  EXPECT_EQ(parentDev, cam.dev);
  EXPECT_NE(cam.port, cam.dev);
  // Real addresses: a consumer that keeps only 32 bits of a handle breaks visibly.
  for (void* handle : {tl, iface, cam.dev, cam.port, cam.ds}) {
    EXPECT_GT(reinterpret_cast<uintptr_t>(handle), uintptr_t{UINT32_MAX});
  }

  const struct {
    void* port;
    const char* module;
    const char* id;
  } ports[] = {{tl, "TLSystem", "GrabkitSim"},
               {iface, "TLInterface", "SimInterface0"},
               {cam.dev, "TLDevice", "SimCam0"},
               {cam.ds, "TLDataStream", "Stream0"},
               {cam.port, "Device", "SimCam0"}};
  for (const auto& p : ports) {
    EXPECT_EQ(portInfo(p.port, PORT_INFO_MODULE).text(), p.module);
    EXPECT_EQ(portInfo(p.port, PORT_INFO_ID).text(), p.id);
    EXPECT_EQ(portInfo(p.port, PORT_INFO_VENDOR).text(), "Grabkit");
    EXPECT_EQ(value<bool8_t>(portInfo(p.port, PORT_INFO_LITTLE_ENDIAN), INFO_DATATYPE_BOOL8), 1);
    EXPECT_EQ(value<bool8_t>(portInfo(p.port, PORT_INFO_BIG_ENDIAN), INFO_DATATYPE_BOOL8), 0);
    EXPECT_EQ(value<bool8_t>(portInfo(p.port, PORT_INFO_ACCESS_READ), INFO_DATATYPE_BOOL8), 1);
  }
  EXPECT_EQ(portInfo(cam.port, PORT_INFO_PORTNAME).text(), "Device");
  EXPECT_EQ(value<bool8_t>(portInfo(cam.port, PORT_INFO_ACCESS_WRITE), INFO_DATATYPE_BOOL8), 1);
  EXPECT_EQ(value<bool8_t>(portInfo(tl, PORT_INFO_ACCESS_WRITE), INFO_DATATYPE_BOOL8), 0);
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

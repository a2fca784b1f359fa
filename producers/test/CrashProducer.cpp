// grabkit-crash.cti: the simulated camera, with devices that misbehave the way
// third-party producers have been seen to. It forwards every call to
// grabkit-sim.cti (beside it, or GRABKIT_CRASH_SIM) and lists the first three
// simulated cameras under names that say what each does:
//   segv-in-info          SIGSEGV in DevGetInfo(DEVICE_INFO_TIMESTAMP_FREQUENCY)
//   abort-in-acquisition  abort() in EventGetData on its stream
//   hang-in-info          never returns from DevGetInfo(DEVICE_INFO_TIMESTAMP_FREQUENCY)
// Only meant to run in a helper process: in-process it takes the application down.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "GenTL.h"

namespace {
const char* const kNames[] = {"segv-in-info", "abort-in-acquisition", "hang-in-info"};
constexpr uint32_t kDevices = 3;
enum Mode { kSegv, kAbort, kHang, kNone };

struct Sim {
#define GRABKIT_CRASH_MEMBER(name, params) P##name name = nullptr;
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_CRASH_MEMBER)
#undef GRABKIT_CRASH_MEMBER
};
Sim sim;
std::mutex mutex;
// What each opened module of a misbehaving device is.
std::set<DEV_HANDLE> segvDevices, hangDevices, abortDevices;
std::set<DS_HANDLE> abortStreams;
std::set<EVENT_HANDLE> abortEvents;

Mode modeOf(const char* name) {
  for (int i = 0; i < 3; i++) {
    if (name != nullptr && strcmp(name, kNames[i]) == 0) return static_cast<Mode>(i);
  }
  return kNone;
}

std::string simId(const char* name) {
  Mode m = modeOf(name);
  return m == kNone ? (name != nullptr ? name : "") : "SimCam" + std::to_string(m);
}

// Writes our name for a simulated camera's ID, where one was answered.
GC_ERROR renamed(GC_ERROR rc, void* buffer, size_t* size, size_t capacity) {
  if (rc != GC_ERR_SUCCESS || buffer == nullptr || size == nullptr) return rc;
  const char* id = static_cast<const char*>(buffer);
  for (uint32_t i = 0; i < kDevices; i++) {
    if (id == "SimCam" + std::to_string(i)) {
      size_t need = strlen(kNames[i]) + 1;
      if (capacity < need) return GC_ERR_BUFFER_TOO_SMALL;
      memcpy(buffer, kNames[i], need);
      *size = need;
    }
  }
  return rc;
}

bool load() {
  if (sim.GCInitLib != nullptr) return true;
  std::string path;
  if (const char* configured = getenv("GRABKIT_CRASH_SIM")) {
    path = configured;
  } else {
    Dl_info self{};
    dladdr(reinterpret_cast<void*>(&load), &self);
    path = self.dli_fname != nullptr ? self.dli_fname : "";
    path = path.substr(0, path.rfind('/') + 1) + "../sim/grabkit-sim.cti";
  }
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return false;
#define GRABKIT_CRASH_RESOLVE(name, params) \
  sim.name = reinterpret_cast<P##name>(dlsym(library, #name));
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_CRASH_RESOLVE)
#undef GRABKIT_CRASH_RESOLVE
  return sim.GCInitLib != nullptr;
}

[[noreturn]] void misbehave(Mode mode) {
  fprintf(stderr, "grabkit-crash: %s now\n", kNames[mode]);
  fflush(stderr);
  if (mode == kAbort) abort();
  if (mode == kSegv) {
    // A real fault: an address in the unmapped first page, which neither the
    // compiler nor the sanitizers' null checks see coming.
    volatile char* nowhere = reinterpret_cast<char*>(strtoul("16", nullptr, 10));
    *nowhere = 1;
  }
  while (true) pause();
}
}  // namespace

extern "C" {

GC_ERROR GCInitLib(void) {
  setenv("GRABKIT_SIM_DEVICES", "3", 0);
  return load() ? sim.GCInitLib() : GC_ERR_NOT_AVAILABLE;
}

GC_ERROR IFGetNumDevices(IF_HANDLE hIface, uint32_t* piNumDevices) {
  GC_ERROR rc = sim.IFGetNumDevices(hIface, piNumDevices);
  if (rc == GC_ERR_SUCCESS && piNumDevices != nullptr && *piNumDevices > kDevices) {
    *piNumDevices = kDevices;
  }
  return rc;
}

GC_ERROR IFGetDeviceID(IF_HANDLE hIface, uint32_t iIndex, char* sIDeviceID, size_t* piSize) {
  if (iIndex >= kDevices) return GC_ERR_INVALID_INDEX;
  if (sIDeviceID == nullptr && piSize != nullptr) {
    *piSize = strlen(kNames[iIndex]) + 1;
    return GC_ERR_SUCCESS;
  }
  size_t capacity = piSize != nullptr ? *piSize : 0;
  return renamed(sim.IFGetDeviceID(hIface, iIndex, sIDeviceID, piSize), sIDeviceID, piSize,
                 capacity);
}

GC_ERROR IFGetDeviceInfo(IF_HANDLE hIface, const char* sDeviceID, DEVICE_INFO_CMD iInfoCmd,
                         INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  std::string id = simId(sDeviceID);
  if (iInfoCmd == DEVICE_INFO_ID && pBuffer == nullptr && piSize != nullptr &&
      modeOf(sDeviceID) != kNone) {
    *piSize = strlen(sDeviceID) + 1;
    return GC_ERR_SUCCESS;
  }
  size_t capacity = piSize != nullptr ? *piSize : 0;
  GC_ERROR rc = sim.IFGetDeviceInfo(hIface, id.c_str(), iInfoCmd, piType, pBuffer, piSize);
  return iInfoCmd == DEVICE_INFO_ID ? renamed(rc, pBuffer, piSize, capacity) : rc;
}

GC_ERROR IFOpenDevice(IF_HANDLE hIface, const char* sDeviceID, DEVICE_ACCESS_FLAGS iOpenFlags,
                      DEV_HANDLE* phDevice) {
  GC_ERROR rc = sim.IFOpenDevice(hIface, simId(sDeviceID).c_str(), iOpenFlags, phDevice);
  if (rc == GC_ERR_SUCCESS && phDevice != nullptr) {
    std::lock_guard<std::mutex> lock(mutex);
    Mode m = modeOf(sDeviceID);
    if (m == kSegv) segvDevices.insert(*phDevice);
    if (m == kHang) hangDevices.insert(*phDevice);
    if (m == kAbort) abortDevices.insert(*phDevice);
  }
  return rc;
}

GC_ERROR DevGetInfo(DEV_HANDLE hDevice, DEVICE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                    void* pBuffer, size_t* piSize) {
  if (iInfoCmd == DEVICE_INFO_TIMESTAMP_FREQUENCY) {
    std::unique_lock<std::mutex> lock(mutex);
    if (segvDevices.count(hDevice) != 0) misbehave(kSegv);
    if (hangDevices.count(hDevice) != 0) misbehave(kHang);
  }
  size_t capacity = piSize != nullptr ? *piSize : 0;
  GC_ERROR rc = sim.DevGetInfo(hDevice, iInfoCmd, piType, pBuffer, piSize);
  if (iInfoCmd == DEVICE_INFO_ID && pBuffer == nullptr && piSize != nullptr) {
    *piSize += 32;  // room for our longer names
  }
  return iInfoCmd == DEVICE_INFO_ID ? renamed(rc, pBuffer, piSize, capacity) : rc;
}

GC_ERROR DevOpenDataStream(DEV_HANDLE hDevice, const char* sDataStreamID, DS_HANDLE* phDataStream) {
  GC_ERROR rc = sim.DevOpenDataStream(hDevice, sDataStreamID, phDataStream);
  std::lock_guard<std::mutex> lock(mutex);
  if (rc == GC_ERR_SUCCESS && phDataStream != nullptr && abortDevices.count(hDevice) != 0) {
    abortStreams.insert(*phDataStream);
  }
  return rc;
}

GC_ERROR GCRegisterEvent(EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID, EVENT_HANDLE* phEvent) {
  GC_ERROR rc = sim.GCRegisterEvent(hEventSrc, iEventID, phEvent);
  std::lock_guard<std::mutex> lock(mutex);
  if (rc == GC_ERR_SUCCESS && phEvent != nullptr && abortStreams.count(hEventSrc) != 0) {
    abortEvents.insert(*phEvent);
  }
  return rc;
}

GC_ERROR EventGetData(EVENT_HANDLE hEvent, void* pBuffer, size_t* piSize, uint64_t iTimeout) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (abortEvents.count(hEvent) != 0) misbehave(kAbort);
  }
  return sim.EventGetData(hEvent, pBuffer, piSize, iTimeout);
}

// Everything else is the simulated camera's.
#define GRABKIT_CRASH_FORWARD_0(name) \
  GC_ERROR name(void) {               \
    return sim.name();                \
  }
GRABKIT_CRASH_FORWARD_0(GCCloseLib)
#undef GRABKIT_CRASH_FORWARD_0

#define GRABKIT_CRASH_FORWARD(name, params, args)                        \
  GC_ERROR name params {                                                 \
    return sim.name == nullptr ? GC_ERR_NOT_IMPLEMENTED : sim.name args; \
  }
GRABKIT_CRASH_FORWARD(GCGetInfo, (TL_INFO_CMD c, INFO_DATATYPE* t, void* b, size_t* s),
                      (c, t, b, s))
GRABKIT_CRASH_FORWARD(GCGetLastError, (GC_ERROR * c, char* t, size_t* s), (c, t, s))
GRABKIT_CRASH_FORWARD(GCReadPort, (PORT_HANDLE p, uint64_t a, void* b, size_t* s), (p, a, b, s))
GRABKIT_CRASH_FORWARD(GCWritePort, (PORT_HANDLE p, uint64_t a, const void* b, size_t* s),
                      (p, a, b, s))
GRABKIT_CRASH_FORWARD(GCGetPortURL, (PORT_HANDLE p, char* u, size_t* s), (p, u, s))
GRABKIT_CRASH_FORWARD(GCGetPortInfo,
                      (PORT_HANDLE p, PORT_INFO_CMD c, INFO_DATATYPE* t, void* b, size_t* s),
                      (p, c, t, b, s))
GRABKIT_CRASH_FORWARD(GCUnregisterEvent, (EVENTSRC_HANDLE h, EVENT_TYPE e), (h, e))
GRABKIT_CRASH_FORWARD(EventGetDataInfo,
                      (EVENT_HANDLE e, const void* i, size_t n, EVENT_DATA_INFO_CMD c,
                       INFO_DATATYPE* t, void* b, size_t* s),
                      (e, i, n, c, t, b, s))
GRABKIT_CRASH_FORWARD(EventGetInfo,
                      (EVENT_HANDLE e, EVENT_INFO_CMD c, INFO_DATATYPE* t, void* b, size_t* s),
                      (e, c, t, b, s))
GRABKIT_CRASH_FORWARD(EventFlush, (EVENT_HANDLE e), (e))
GRABKIT_CRASH_FORWARD(EventKill, (EVENT_HANDLE e), (e))
GRABKIT_CRASH_FORWARD(TLOpen, (TL_HANDLE * h), (h))
GRABKIT_CRASH_FORWARD(TLClose, (TL_HANDLE h), (h))
GRABKIT_CRASH_FORWARD(TLGetInfo, (TL_HANDLE h, TL_INFO_CMD c, INFO_DATATYPE* t, void* b, size_t* s),
                      (h, c, t, b, s))
GRABKIT_CRASH_FORWARD(TLGetNumInterfaces, (TL_HANDLE h, uint32_t* n), (h, n))
GRABKIT_CRASH_FORWARD(TLGetInterfaceID, (TL_HANDLE h, uint32_t i, char* d, size_t* s), (h, i, d, s))
GRABKIT_CRASH_FORWARD(TLGetInterfaceInfo,
                      (TL_HANDLE h, const char* i, INTERFACE_INFO_CMD c, INFO_DATATYPE* t, void* b,
                       size_t* s),
                      (h, i, c, t, b, s))
GRABKIT_CRASH_FORWARD(TLOpenInterface, (TL_HANDLE h, const char* i, IF_HANDLE* f), (h, i, f))
GRABKIT_CRASH_FORWARD(TLUpdateInterfaceList, (TL_HANDLE h, bool8_t* c, uint64_t t), (h, c, t))
GRABKIT_CRASH_FORWARD(IFClose, (IF_HANDLE h), (h))
GRABKIT_CRASH_FORWARD(IFGetInfo,
                      (IF_HANDLE h, INTERFACE_INFO_CMD c, INFO_DATATYPE* t, void* b, size_t* s),
                      (h, c, t, b, s))
GRABKIT_CRASH_FORWARD(IFUpdateDeviceList, (IF_HANDLE h, bool8_t* c, uint64_t t), (h, c, t))
GRABKIT_CRASH_FORWARD(DevGetPort, (DEV_HANDLE d, PORT_HANDLE* p), (d, p))
GRABKIT_CRASH_FORWARD(DevGetNumDataStreams, (DEV_HANDLE d, uint32_t* n), (d, n))
GRABKIT_CRASH_FORWARD(DevGetDataStreamID, (DEV_HANDLE d, uint32_t i, char* s, size_t* n),
                      (d, i, s, n))
GRABKIT_CRASH_FORWARD(DevClose, (DEV_HANDLE d), (d))
GRABKIT_CRASH_FORWARD(DSAnnounceBuffer, (DS_HANDLE d, void* b, size_t n, void* p, BUFFER_HANDLE* h),
                      (d, b, n, p, h))
GRABKIT_CRASH_FORWARD(DSAllocAndAnnounceBuffer, (DS_HANDLE d, size_t n, void* p, BUFFER_HANDLE* h),
                      (d, n, p, h))
GRABKIT_CRASH_FORWARD(DSFlushQueue, (DS_HANDLE d, ACQ_QUEUE_TYPE o), (d, o))
GRABKIT_CRASH_FORWARD(DSStartAcquisition, (DS_HANDLE d, ACQ_START_FLAGS f, uint64_t n), (d, f, n))
GRABKIT_CRASH_FORWARD(DSStopAcquisition, (DS_HANDLE d, ACQ_STOP_FLAGS f), (d, f))
GRABKIT_CRASH_FORWARD(DSGetInfo,
                      (DS_HANDLE d, STREAM_INFO_CMD c, INFO_DATATYPE* t, void* b, size_t* s),
                      (d, c, t, b, s))
GRABKIT_CRASH_FORWARD(DSGetBufferID, (DS_HANDLE d, uint32_t i, BUFFER_HANDLE* h), (d, i, h))
GRABKIT_CRASH_FORWARD(DSClose, (DS_HANDLE d), (d))
GRABKIT_CRASH_FORWARD(DSRevokeBuffer, (DS_HANDLE d, BUFFER_HANDLE h, void** b, void** p),
                      (d, h, b, p))
GRABKIT_CRASH_FORWARD(DSQueueBuffer, (DS_HANDLE d, BUFFER_HANDLE h), (d, h))
GRABKIT_CRASH_FORWARD(DSGetBufferInfo,
                      (DS_HANDLE d, BUFFER_HANDLE h, BUFFER_INFO_CMD c, INFO_DATATYPE* t, void* b,
                       size_t* s),
                      (d, h, c, t, b, s))
GRABKIT_CRASH_FORWARD(GCGetNumPortURLs, (PORT_HANDLE p, uint32_t* n), (p, n))
GRABKIT_CRASH_FORWARD(GCGetPortURLInfo,
                      (PORT_HANDLE p, uint32_t i, URL_INFO_CMD c, INFO_DATATYPE* t, void* b,
                       size_t* s),
                      (p, i, c, t, b, s))
GRABKIT_CRASH_FORWARD(GCReadPortStacked, (PORT_HANDLE p, PORT_REGISTER_STACK_ENTRY* e, size_t* n),
                      (p, e, n))
GRABKIT_CRASH_FORWARD(GCWritePortStacked, (PORT_HANDLE p, PORT_REGISTER_STACK_ENTRY* e, size_t* n),
                      (p, e, n))
GRABKIT_CRASH_FORWARD(DSGetBufferChunkData,
                      (DS_HANDLE d, BUFFER_HANDLE h, SINGLE_CHUNK_DATA* c, size_t* n), (d, h, c, n))
GRABKIT_CRASH_FORWARD(IFGetParentTL, (IF_HANDLE i, TL_HANDLE* t), (i, t))
GRABKIT_CRASH_FORWARD(DevGetParentIF, (DEV_HANDLE d, IF_HANDLE* i), (d, i))
GRABKIT_CRASH_FORWARD(DSGetParentDev, (DS_HANDLE d, DEV_HANDLE* h), (d, h))
GRABKIT_CRASH_FORWARD(DSGetNumBufferParts, (DS_HANDLE d, BUFFER_HANDLE h, uint32_t* n), (d, h, n))
GRABKIT_CRASH_FORWARD(DSGetBufferPartInfo,
                      (DS_HANDLE d, BUFFER_HANDLE h, uint32_t i, BUFFER_PART_INFO_CMD c,
                       INFO_DATATYPE* t, void* b, size_t* s),
                      (d, h, i, c, t, b, s))
#undef GRABKIT_CRASH_FORWARD
}

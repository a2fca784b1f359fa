#include "CallLayer.h"

#include <algorithm>
#include <cstring>

#include "../diag/Trace.h"
#include "../jni/Handles.h"
#include "Errors.h"
#include "Producer.h"

namespace Grabkit {

namespace {
// No size probe and no retry: one fixed area per string query.
// fn(lead..., area, &size), checked.
template <typename Fn, typename... Lead>
std::string textQuery(Fn&& fn, Lead... lead) {
  TextArea area;
  checkError(fn(lead..., area.data, &area.size));
  return std::string(area.data, area.terminate());
}

// fn(lead..., &type, area, &size), checked; the reported type is not used.
template <typename Fn, typename... Lead>
std::string infoText(Fn&& fn, Lead... lead) {
  TextArea area;
  checkError(infoTextCode(area, fn, lead...));
  return std::string(area.data, area.terminate());
}

template <typename CountFn, typename Handle>
std::vector<std::string> idList(CountFn&& count, const char* countName,
                                std::string (*id)(Handle, uint32_t), Handle h) {
  uint32_t n = outputValue<uint32_t>(count, h);
  if (n > kMaxListCount) {
    producerFault(std::string(countName) + " reported " + std::to_string(n) +
                  " entries; more than " + std::to_string(kMaxListCount) + " are refused");
  }
  std::vector<std::string> ids;
  for (uint32_t i = 0; i < n; ++i) ids.push_back(id(h, i));
  return ids;
}

// fn(h, &changed, timeout), checked.
template <typename Fn, typename Handle>
bool changedFlag(Fn&& fn, Handle h, uint64_t timeout) {
  bool8_t changed = 0;
  checkError(fn(h, &changed, timeout));
  return changed != 0;
}
// An object the producer just made, booked on the handle it was made on (the
// call's first argument; a system has none).
inline void* parentOf() {
  return nullptr;
}
template <typename First, typename... Rest>
void* parentOf(First first, Rest...) {
  return first;
}
template <typename Fn, typename... Args>
void* born(Fn&& make, Args... args) {
  void* handle = outputValue<void*>(make, args...);
  make.producer().opened(handle, parentOf(args...));
  return handle;
}

// A count the producer reports back for an area of `given` bytes.
size_t reported(const char* function, size_t count, size_t given) {
  if (count > given) {
    producerFault(std::string(function) + " reported " + std::to_string(count) + " bytes for a " +
                  std::to_string(given) + "-byte buffer");
  }
  return count;
}
}  // namespace

void producerFault(const std::string& message) {
  throw ErrorException(message);
}

std::string GCGetInfoString(TL_INFO_CMD cmd) {
  return infoText(GRABKIT_PRODUCER(GCGetInfo), cmd);
}

std::string GCGetLastErrorMessage() {
  GC_ERROR code = GC_ERR_SUCCESS;
  return textQuery(GRABKIT_PRODUCER(GCGetLastError), &code);
}

GC_ERROR GCGetLastError() {
  GC_ERROR code = GC_ERR_SUCCESS;
  textQuery(GRABKIT_PRODUCER(GCGetLastError), &code);
  return code;
}

std::string GCGetPortURL(PORT_HANDLE hPort) {
  return textQuery(GRABKIT_PRODUCER(GCGetPortURL), hPort);
}

std::string GCGetPortURLInfoString(PORT_HANDLE hPort, uint32_t urlIndex, URL_INFO_CMD cmd) {
  return infoText(GRABKIT_PRODUCER(GCGetPortURLInfo), hPort, urlIndex, cmd);
}

std::string GCGetPortInfoString(PORT_HANDLE hPort, PORT_INFO_CMD cmd) {
  return infoText(GRABKIT_PRODUCER(GCGetPortInfo), hPort, cmd);
}

std::string TLGetInterfaceID(TL_HANDLE hTL, uint32_t index) {
  return textQuery(GRABKIT_PRODUCER(TLGetInterfaceID), hTL, index);
}

std::string TLGetInterfaceInfoString(TL_HANDLE hTL, INTERFACE_INFO_CMD cmd,
                                     std::string interfaceId) {
  return infoText(GRABKIT_PRODUCER(TLGetInterfaceInfo), hTL, interfaceId.c_str(), cmd);
}

std::string IFGetInfoString(IF_HANDLE hIF, INTERFACE_INFO_CMD cmd) {
  return infoText(GRABKIT_PRODUCER(IFGetInfo), hIF, cmd);
}

std::string IFGetDeviceID(IF_HANDLE hIF, uint32_t index) {
  return textQuery(GRABKIT_PRODUCER(IFGetDeviceID), hIF, index);
}

std::string IFGetDeviceInfoString(IF_HANDLE hIF, DEVICE_INFO_CMD cmd, std::string deviceId) {
  return infoText(GRABKIT_PRODUCER(IFGetDeviceInfo), hIF, deviceId.c_str(), cmd);
}

std::string DevGetDataStreamID(DEV_HANDLE hDev, uint32_t index) {
  return textQuery(GRABKIT_PRODUCER(DevGetDataStreamID), hDev, index);
}

std::string DevGetInfoString(DEV_HANDLE hDev, DEVICE_INFO_CMD cmd) {
  return infoText(GRABKIT_PRODUCER(DevGetInfo), hDev, cmd);
}

std::string DSGetInfoString(DS_HANDLE hDS, STREAM_INFO_CMD cmd) {
  return infoText(GRABKIT_PRODUCER(DSGetInfo), hDS, cmd);
}

std::string DSGetBufferInfoString(DS_HANDLE hDS, BUFFER_HANDLE hBuffer, BUFFER_INFO_CMD cmd) {
  return infoText(GRABKIT_PRODUCER(DSGetBufferInfo), hDS, hBuffer, cmd);
}

int32_t IFGetDeviceInfoInt32(IF_HANDLE hIF, DEVICE_INFO_CMD cmd, std::string deviceId) {
  return infoValue<int32_t>(GRABKIT_PRODUCER(IFGetDeviceInfo), hIF, deviceId.c_str(), cmd);
}

uint32_t IFGetDeviceInfoUint32(IF_HANDLE hIF, DEVICE_INFO_CMD cmd, std::string deviceId) {
  return static_cast<uint32_t>(IFGetDeviceInfoInt32(hIF, cmd, std::move(deviceId)));
}

uint64_t IFGetDeviceInfoUint64(IF_HANDLE hIF, DEVICE_INFO_CMD cmd, std::string deviceId) {
  return infoValue<uint64_t>(GRABKIT_PRODUCER(IFGetDeviceInfo), hIF, deviceId.c_str(), cmd);
}

size_t GCReadPort(PORT_HANDLE hPort, uint64_t address, void* buffer, size_t size) {
  size_t count = size;
  checkError(GRABKIT_PRODUCER(GCReadPort)(hPort, address, buffer, &count));
  return reported("GCReadPort", count, size);
}

size_t GCWritePort(PORT_HANDLE hPort, uint64_t address, const void* buffer, size_t size) {
  size_t count = size;
  checkError(GRABKIT_PRODUCER(GCWritePort)(hPort, address, buffer, &count));
  return reported("GCWritePort", count, size);
}

size_t GCGetPortURLInfoBuffer(PORT_HANDLE hPort, uint32_t urlIndex, URL_INFO_CMD cmd, void* buffer,
                              size_t size) {
  INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
  size_t count = size;
  checkError(GRABKIT_PRODUCER(GCGetPortURLInfo)(hPort, urlIndex, cmd, &type, buffer, &count));
  return reported("GCGetPortURLInfo", count, size);
}

bool TLUpdateInterfaceList(TL_HANDLE hTL, uint64_t timeout) {
  return changedFlag(GRABKIT_PRODUCER(TLUpdateInterfaceList), hTL, timeout);
}

bool IFUpdateDeviceList(IF_HANDLE hIF, uint64_t timeout) {
  return changedFlag(GRABKIT_PRODUCER(IFUpdateDeviceList), hIF, timeout);
}

TL_HANDLE TLOpen() {
  trace("TLOpen()");
  return born(GRABKIT_PRODUCER(TLOpen));
}

IF_HANDLE TLOpenInterface(TL_HANDLE hTL, std::string interfaceId) {
  trace("TLOpenInterface()");
  return born(GRABKIT_PRODUCER(TLOpenInterface), hTL, interfaceId.c_str());
}

DEV_HANDLE IFOpenDevice(IF_HANDLE hIF, std::string deviceId, DEVICE_ACCESS_FLAGS accessFlags) {
  trace("IFOpenDevice()");
  return born(GRABKIT_PRODUCER(IFOpenDevice), hIF, deviceId.c_str(), accessFlags);
}

DS_HANDLE DevOpenDataStream(DEV_HANDLE hDev, std::string streamId) {
  trace("DevOpenDataStream()");
  return born(GRABKIT_PRODUCER(DevOpenDataStream), hDev, streamId.c_str());
}

// A close writes its trace line before the producer is asked; what the
// producer closed, and closed with it, no longer needs a name in Java, and a
// closed stream's announced memory is the program's again.
template <typename Fn>
int32_t closeModule(const char* traceLine, Fn&& close, void* h) {
  trace("%s", traceLine);
  Retirement closing(close.producer(), h);
  int32_t code = close(h);
  if (code == GC_ERR_SUCCESS) closing.commit();
  return code;
}

int32_t TLClose(TL_HANDLE h) {
  return closeModule("TLClose()", GRABKIT_PRODUCER(TLClose), h);
}
int32_t IFClose(IF_HANDLE h) {
  return closeModule("IFClose()", GRABKIT_PRODUCER(IFClose), h);
}
int32_t DevClose(DEV_HANDLE h) {
  return closeModule("DevClose()", GRABKIT_PRODUCER(DevClose), h);
}
int32_t DSClose(DS_HANDLE h) {
  return closeModule("DSClose()", GRABKIT_PRODUCER(DSClose), h);
}

std::vector<std::string> TLGetInterfaceList(TL_HANDLE hTL) {
  return idList(GRABKIT_PRODUCER(TLGetNumInterfaces), "TLGetNumInterfaces", &TLGetInterfaceID, hTL);
}

std::vector<std::string> IFGetDeviceList(IF_HANDLE hIF) {
  return idList(GRABKIT_PRODUCER(IFGetNumDevices), "IFGetNumDevices", &IFGetDeviceID, hIF);
}

std::vector<std::string> DevGetDataStreamList(DEV_HANDLE hDev) {
  return idList(GRABKIT_PRODUCER(DevGetNumDataStreams), "DevGetNumDataStreams", &DevGetDataStreamID,
                hDev);
}

BUFFER_HANDLE DSAnnounceBuffer(DS_HANDLE hDS, void* memory, size_t size, void* user,
                               std::shared_ptr<void> keepAlive) {
  auto announce = GRABKIT_PRODUCER(DSAnnounceBuffer);
  auto buffer = born(announce, hDS, memory, size, user);
  announce.producer().recordAnnouncement(buffer, Announcement{memory, size, std::move(keepAlive)});
  return buffer;
}

BUFFER_HANDLE DSAllocAndAnnounceBuffer(DS_HANDLE hDS, size_t size, void* user) {
  auto announce = GRABKIT_PRODUCER(DSAllocAndAnnounceBuffer);
  auto buffer = born(announce, hDS, size, user);
  announce.producer().recordAnnouncement(buffer, Announcement{nullptr, size, nullptr});
  return buffer;
}

void clearAnnounced(DS_HANDLE hDS, BUFFER_HANDLE hBuffer) {
  auto info = GRABKIT_PRODUCER(DSGetBufferInfo);
  void* base = infoValue<void*>(info, hDS, hBuffer, BUFFER_INFO_BASE);
  uint64_t length = infoValue<uint64_t>(info, hDS, hBuffer, BUFFER_INFO_SIZE);
  Announcement a;
  if (!info.producer().findAnnouncement(hBuffer, a)) return;
  if (a.base != nullptr) {
    memset(a.base, 0, a.size);
  } else if (base != nullptr && length <= a.size) {
    memset(base, 0, length);
  }
}

int32_t DSQueueBuffer(DS_HANDLE hDS, BUFFER_HANDLE hBuffer, bool clear) {
  if (clear) clearAnnounced(hDS, hBuffer);
  return GRABKIT_PRODUCER(DSQueueBuffer)(hDS, hBuffer);
}

void* DSRevokeBuffer(DS_HANDLE hDS, BUFFER_HANDLE hBuffer) {
  auto revoke = GRABKIT_PRODUCER(DSRevokeBuffer);
  void* memory = nullptr;
  void* userData = nullptr;
  Retirement revoking(revoke.producer(), hBuffer);
  checkError(revoke(hDS, hBuffer, &memory, &userData));
  revoking.commit();
  return userData;
}

uint64_t checkedExtent(const char* function, uint64_t value, BUFFER_HANDLE hBuffer) {
  std::shared_ptr<ProducerFunctions> p = producerInScope();
  Announcement a;
  if (p && p->findAnnouncement(hBuffer, a) && value > a.size) {
    producerFault(std::string(function) + " reported " + std::to_string(value) + " bytes for a " +
                  std::to_string(a.size) + "-byte buffer");
  }
  return value;
}

std::vector<SINGLE_CHUNK_DATA> DSGetBufferChunkData(DS_HANDLE hDS, BUFFER_HANDLE hBuffer) {
  auto get = GRABKIT_PRODUCER(DSGetBufferChunkData);
  size_t count = 0;
  checkError(get(hDS, hBuffer, nullptr, &count));
  if (count > kMaxListCount) {
    producerFault("DSGetBufferChunkData reported " + std::to_string(count) + " chunks; more than " +
                  std::to_string(kMaxListCount) + " are refused");
  }
  std::vector<SINGLE_CHUNK_DATA> chunks(count);
  if (count == 0) return chunks;
  const size_t room = count;
  checkError(get(hDS, hBuffer, chunks.data(), &count));
  if (count > room) {
    producerFault("DSGetBufferChunkData reported " + std::to_string(count) +
                  " chunks for room of " + std::to_string(room));
  }
  chunks.resize(count);
  for (const SINGLE_CHUNK_DATA& c : chunks) {
    uint64_t end = static_cast<uint64_t>(c.ChunkOffset) + c.ChunkLength;
    if (c.ChunkOffset < 0 || end < c.ChunkLength) {
      producerFault("DSGetBufferChunkData reported chunk " + std::to_string(c.ChunkID) +
                    " at offset " + std::to_string(c.ChunkOffset) + " with " +
                    std::to_string(c.ChunkLength) + " bytes");
    }
    checkedExtent("DSGetBufferChunkData", end, hBuffer);
  }
  return chunks;
}

EVENT_HANDLE GCRegisterEvent(EVENTSRC_HANDLE source, EVENT_TYPE type) {
  return born(GRABKIT_PRODUCER(GCRegisterEvent), source, type);
}

uint64_t DSGetBufferPartDataOffset(DS_HANDLE hDS, BUFFER_HANDLE hBuffer, uint32_t partIndex) {
  INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
  uint64_t base = 0;
  uint64_t partBase = 0;
  size_t size = sizeof(base);
  checkError(
      GRABKIT_PRODUCER(DSGetBufferInfo)(hDS, hBuffer, BUFFER_INFO_BASE, &type, &base, &size));
  // The part query gets the size that the buffer query reported, but never
  // more than its 8-byte area holds.
  size = std::min(size, sizeof(partBase));
  checkError(GRABKIT_PRODUCER(DSGetBufferPartInfo)(hDS, hBuffer, partIndex, BUFFER_PART_INFO_BASE,
                                                   &type, &partBase, &size));
  return partBase - base;
}

NewBufferEvent EventNewBufferGetData(EVENT_HANDLE hEvent, uint64_t timeout) {
  NewBufferEvent event;
  checkError(EventNewBufferCode(hEvent, timeout, event));
  return event;
}

int32_t EventNewBufferCode(EVENT_HANDLE hEvent, uint64_t timeout, NewBufferEvent& event) {
  auto get = GRABKIT_PRODUCER(EventGetData);
  // Counted as a waiter first, so that a close that begins now kills this
  // wait instead of waiting out its time-out.
  struct Waiting {
    ProducerFunctions& p;
    EVENT_HANDLE e;
    ~Waiting() { p.waiting(e, -1); }
  } waiting{get.producer(), hEvent};
  get.producer().waiting(hEvent, +1);
  event = NewBufferEvent{};
  size_t size = sizeof(event);
  int32_t code = get(hEvent, &event, &size, timeout);
  // GenTL's error codes are the caller's to check; any other code is
  // checked here, as it may count as success and then promises a record.
  if (errorKind(code) >= 0) return code;
  checkError(code);
  if (size < sizeof(event)) {
    producerFault("EventGetData delivered " + std::to_string(size) + " bytes for a " +
                  std::to_string(sizeof(event)) + "-byte new-buffer event");
  }
  if (event.BufferHandle == nullptr) {
    producerFault("EventGetData delivered a new-buffer event without a buffer handle");
  }
  return code;
}

}  // namespace Grabkit

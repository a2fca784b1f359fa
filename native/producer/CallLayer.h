// The calls into the producer that turn one producer call (or a short, fixed
// sequence of them) into a value of our own types: a string, a number, a
// handle or a list of IDs. Each checks the producer's code before it reads any
// output; both the low-level exports and the object model call these.
//
// The functions keep the names of the producer functions they wrap; inside
// namespace Grabkit they hide the C prototypes of GenTL.h.
#ifndef GRABKIT_PRODUCER_CALLLAYER_H
#define GRABKIT_PRODUCER_CALLLAYER_H

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Errors.h"
#include "GenTL.h"

namespace Grabkit {

// One fixed-width value of an information function:
// fn(lead..., &type, &value, &size), the value preset to zero and the size to
// its width, checked. Neither the reported type nor the reported size is used.
// The area behind the value is wider than the size says, so that a producer
// that writes its own idea of the width does not overwrite our stack.
// infoCode leaves the check to the caller: `out` is the value, or zero when
// the code is an error.
template <typename T, typename Fn, typename... Lead>
int32_t infoCode(T& out, Fn&& fn, Lead... lead) {
  static_assert(sizeof(T) <= 16, "information values are at most 16 bytes");
  INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
  union {
    T value;
    unsigned char guard[64];
  } area{};
  size_t size = sizeof(T);
  int32_t code = fn(lead..., &type, &area.value, &size);
  out = area.value;
  return code;
}

template <typename T, typename Fn, typename... Lead>
T infoValue(Fn&& fn, Lead... lead) {
  T value;
  checkError(infoCode(value, fn, lead...));
  return value;
}

// The area of a string query: 1024 bytes, zeroed, so that a producer that
// writes less than it says (no NUL, or nothing at all) yields only what it
// wrote and never what an earlier call left on the stack. The last byte is
// never part of the text, so a producer that leaves no NUL cannot make us
// read past the area.
struct TextArea {
  // Zeroed by the C library's memset, which picks the widest stores the CPU
  // has. A size the compiler knows would have it inline a string instruction
  // that is several times slower at this length.
  TextArea() {
    size_t length = sizeof(data);
    asm("" : "+r"(length));
    std::memset(data, 0, length);
  }

  char data[1024];
  size_t size = sizeof(data);

  // The text's length, after which data[length] is a NUL.
  size_t terminate() {
    data[sizeof(data) - 1] = '\0';
    return strnlen(data, sizeof(data) - 1);
  }
};

// fn(lead..., &type, area.data, &area.size), unchecked; the reported type is
// not used.
template <typename Fn, typename... Lead>
int32_t infoTextCode(TextArea& area, Fn&& fn, Lead... lead) {
  INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
  return fn(lead..., &type, area.data, &area.size);
}

// The one output of fn(lead..., &out), checked. It starts zeroed (a null
// handle, a count of 0) in case a producer reports success without writing.
template <typename T, typename Fn, typename... Lead>
T outputValue(Fn&& fn, Lead... lead) {
  T out{};
  checkError(fn(lead..., &out));
  return out;
}

// String queries: a 1024-byte area, the text up to the first NUL. A producer
// that fills the whole area without a NUL gets its first 1023 bytes back.
std::string GCGetInfoString(TL_INFO_CMD cmd);
std::string GCGetLastErrorMessage();
// The code half of the same producer call; the text is dropped.
GC_ERROR GCGetLastError();
std::string GCGetPortURL(PORT_HANDLE hPort);
std::string GCGetPortURLInfoString(PORT_HANDLE hPort, uint32_t urlIndex, URL_INFO_CMD cmd);
std::string GCGetPortInfoString(PORT_HANDLE hPort, PORT_INFO_CMD cmd);
std::string TLGetInterfaceID(TL_HANDLE hTL, uint32_t index);
std::string TLGetInterfaceInfoString(TL_HANDLE hTL, INTERFACE_INFO_CMD cmd,
                                     std::string interfaceId);
std::string IFGetInfoString(IF_HANDLE hIF, INTERFACE_INFO_CMD cmd);
std::string IFGetDeviceID(IF_HANDLE hIF, uint32_t index);
std::string IFGetDeviceInfoString(IF_HANDLE hIF, DEVICE_INFO_CMD cmd, std::string deviceId);
std::string DevGetDataStreamID(DEV_HANDLE hDev, uint32_t index);
std::string DevGetInfoString(DEV_HANDLE hDev, DEVICE_INFO_CMD cmd);
std::string DSGetInfoString(DS_HANDLE hDS, STREAM_INFO_CMD cmd);
std::string DSGetBufferInfoString(DS_HANDLE hDS, BUFFER_HANDLE hBuffer, BUFFER_INFO_CMD cmd);

// Typed device information (the producer's IFGetDeviceInfo; note the ID
// comes before the command there). Uint32 reads the same 4 bytes unsigned.
int32_t IFGetDeviceInfoInt32(IF_HANDLE hIF, DEVICE_INFO_CMD cmd, std::string deviceId);
uint32_t IFGetDeviceInfoUint32(IF_HANDLE hIF, DEVICE_INFO_CMD cmd, std::string deviceId);
uint64_t IFGetDeviceInfoUint64(IF_HANDLE hIF, DEVICE_INFO_CMD cmd, std::string deviceId);

// Register access and URL files: `size` bytes at `buffer`; the result is the
// count that the producer reports back, which must not exceed `size`.
size_t GCReadPort(PORT_HANDLE hPort, uint64_t address, void* buffer, size_t size);
size_t GCWritePort(PORT_HANDLE hPort, uint64_t address, const void* buffer, size_t size);
size_t GCGetPortURLInfoBuffer(PORT_HANDLE hPort, uint32_t urlIndex, URL_INFO_CMD cmd, void* buffer,
                              size_t size);

// The producer's changed flag, preset to false.
bool TLUpdateInterfaceList(TL_HANDLE hTL, uint64_t timeout);
bool IFUpdateDeviceList(IF_HANDLE hIF, uint64_t timeout);

// Opens: trace line "<name>()" first (also when the producer then refuses),
// the handle starts null.
TL_HANDLE TLOpen();
IF_HANDLE TLOpenInterface(TL_HANDLE hTL, std::string interfaceId);
DEV_HANDLE IFOpenDevice(IF_HANDLE hIF, std::string deviceId, DEVICE_ACCESS_FLAGS accessFlags);
DS_HANDLE DevOpenDataStream(DEV_HANDLE hDev, std::string streamId);

// Closes: trace line "<name>()", then the producer's code, unchecked.
int32_t TLClose(TL_HANDLE hTL);
int32_t IFClose(IF_HANDLE hIF);
int32_t DevClose(DEV_HANDLE hDev);
int32_t DSClose(DS_HANDLE hDS);

// ID lists: the count, then one ID query per index in ascending order. A
// failing ID query ends the call; the partial list is dropped. A count above
// kMaxListCount is refused before any ID is asked for.
constexpr uint32_t kMaxListCount = 65536;
std::vector<std::string> TLGetInterfaceList(TL_HANDLE hTL);
std::vector<std::string> IFGetDeviceList(IF_HANDLE hIF);
std::vector<std::string> DevGetDataStreamList(DEV_HANDLE hDev);

// Announcements, recorded with the load so that queueing zero-fills only
// memory the library announced and `keepAlive` (the owner of the caller's
// memory) lives until the buffer is revoked or its stream closed.
BUFFER_HANDLE DSAnnounceBuffer(DS_HANDLE hDS, void* memory, size_t size, void* user,
                               std::shared_ptr<void> keepAlive = nullptr);
BUFFER_HANDLE DSAllocAndAnnounceBuffer(DS_HANDLE hDS, size_t size, void* user);

// Zero-fills a buffer's memory (after asking BUFFER_INFO_BASE and
// BUFFER_INFO_SIZE, whose failure throws): only memory the library announced
// is zeroed, at the address and size it recorded; a producer-allocated buffer
// only when the producer's answers fit what it was asked to allocate.
void clearAnnounced(DS_HANDLE hDS, BUFFER_HANDLE hBuffer);

// With `clear` the buffer's memory (BUFFER_INFO_BASE, BUFFER_INFO_SIZE) is
// zeroed first; a failure of either query throws before anything is queued.
// Only memory the library announced is zeroed, at the address and size it
// recorded; a producer-allocated buffer only when the producer's answers fit
// what it was asked to allocate. The queue call's own code is returned
// unchecked.
int32_t DSQueueBuffer(DS_HANDLE hDS, BUFFER_HANDLE hBuffer, bool clear = true);

// The user pointer given at announcement; the buffer pointer that the
// producer hands back is dropped.
void* DSRevokeBuffer(DS_HANDLE hDS, BUFFER_HANDLE hBuffer);

// A byte count or offset within a buffer that `function` reported: refused
// when it exceeds the size the library announced for the buffer.
uint64_t checkedExtent(const char* function, uint64_t value, BUFFER_HANDLE hBuffer);

// The chunks of a filled buffer: the count, then the list. A count above
// kMaxListCount, more chunks than there was room for, or a chunk that does
// not lie inside the buffer the library announced is refused.
std::vector<SINGLE_CHUNK_DATA> DSGetBufferChunkData(DS_HANDLE hDS, BUFFER_HANDLE hBuffer);

// Event registration, so that closing the load can wake the waiters.
EVENT_HANDLE GCRegisterEvent(EVENTSRC_HANDLE source, EVENT_TYPE type);

// A producer answer that breaks the contract of its function: reaches Java as
// ErrorException with a message that names the function.
[[noreturn]] void producerFault(const std::string& message);

// Part base minus buffer base, modulo 2^64. The part query gets the size
// variable as the buffer query left it.
uint64_t DSGetBufferPartDataOffset(DS_HANDLE hDS, BUFFER_HANDLE hBuffer, uint32_t partIndex);

// What EventGetData delivers for a new-buffer event, in the producer's layout.
struct NewBufferEvent {
  BUFFER_HANDLE BufferHandle = nullptr;
  void* userData = nullptr;
};
static_assert(sizeof(NewBufferEvent) == 16, "EventGetData writes 16 bytes");

// Waits up to `timeout` ms; a time-out throws TimeoutException. A record the
// producer did not fill (fewer than 16 bytes, or no buffer handle) is refused.
NewBufferEvent EventNewBufferGetData(EVENT_HANDLE hEvent, uint64_t timeout);
// The same wait with the producer's code returned for the caller to check;
// `event` is only valid when it is success.
int32_t EventNewBufferCode(EVENT_HANDLE hEvent, uint64_t timeout, NewBufferEvent& event);

}  // namespace Grabkit

#endif

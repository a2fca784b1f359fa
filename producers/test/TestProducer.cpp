// A GenTL producer for tests: it records every call with its input arguments
// and answers with what the test scripted for the function and its selector
// (success and no output unless told otherwise). It never looks behind a
// handle, so tests can hand out any value, wide or small. Tests reach the
// control functions below by loading the same file.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "GenTL.h"
#include "TestControl.h"

namespace {
struct Answer {
  GC_ERROR code = GC_ERR_SUCCESS;
  bool writes = false;
  std::string output;
};

// Calls of one function that a test holds inside the producer. A release or a
// reset moves the generation on, which frees exactly the calls that entered
// before it, even if the test holds the function again at once.
struct Gate {
  bool held = false;
  uint64_t generation = 0;
  int entered = 0;
};

struct Event {
  int waiting = 0;
  uint64_t kills = 0;
  // A kill that found nobody waiting aborts the next wait instead.
  bool pending = false;
};

std::mutex mutex;
// Wakes held calls, event waits and tests that wait for calls to enter.
std::condition_variable changed;
std::map<std::pair<std::string, int64_t>, Answer> answers;
std::map<std::pair<std::string, int64_t>, size_t> reportedSizes;
// Never erased: blocked calls keep references to their entries.
std::map<std::string, Gate> gates;
std::map<EVENT_HANDLE, Event> events;
bool waitForKill = false;
std::string names;
std::string lines;

template <typename T>
std::string format(T value) {
  if constexpr (std::is_same_v<T, const char*>) {
    return value == nullptr ? "NULL" : '"' + std::string(value) + '"';
  } else if constexpr (std::is_pointer_v<T>) {
    char text[24];
    snprintf(text, sizeof(text), "0x%" PRIxPTR, reinterpret_cast<uintptr_t>(value));
    return text;
  } else {
    return std::to_string(value);
  }
}

// A size argument as it was on entry.
size_t in(const size_t* size) {
  return size == nullptr ? 0 : *size;
}

size_t copyLog(const std::string& log, char* text, size_t capacity) {
  std::lock_guard<std::mutex> lock(mutex);
  if (text != nullptr && capacity > 0) {
    size_t n = std::min(capacity - 1, log.size());
    memcpy(text, log.data(), n);
    text[n] = '\0';
  }
  return log.size() + 1;
}

template <typename Map, typename Value = typename Map::mapped_type>
std::optional<Value> scripted(const Map& map, const char* name, int64_t selector) {
  auto found = map.find({name, selector});
  if (found == map.end()) found = map.find({name, GRABKIT_TEST_ANY});
  if (found == map.end()) return std::nullopt;
  return found->second;
}

// A wait of `ms` milliseconds, cut to a length far beyond any test so that the
// deadline cannot overflow.
std::chrono::milliseconds bounded(uint64_t ms) {
  return std::chrono::milliseconds(std::min(ms, uint64_t{1} << 40));
}

// Blocks a held call until the test releases it.
void hold(std::unique_lock<std::mutex>& lock, Gate& gate) {
  uint64_t generation = gate.generation;
  ++gate.entered;
  changed.notify_all();
  changed.wait(lock, [&] { return gate.generation != generation; });
  --gate.entered;
}

// What EventGetData's waits for: the event and the caller's timeout.
struct EventWait {
  EVENT_HANDLE event;
  uint64_t timeout;
};

// An EventGetData that waits ends with success when released, otherwise with
// the code of whatever ended the wait.
GC_ERROR awaitEvent(std::unique_lock<std::mutex>& lock, Gate& gate, const EventWait& wait) {
  Event& event = events[wait.event];
  if (event.pending) {
    event.pending = false;
    return GC_ERR_ABORT;
  }
  if (!gate.held && !waitForKill) return GC_ERR_SUCCESS;
  uint64_t generation = gate.generation;
  uint64_t kills = event.kills;
  auto over = [&] { return gate.generation != generation || event.kills != kills; };
  ++gate.entered;
  ++event.waiting;
  changed.notify_all();
  bool ended = true;
  if (wait.timeout == GENTL_INFINITE) {
    changed.wait(lock, over);
  } else {
    ended = changed.wait_for(lock, bounded(wait.timeout), over);
  }
  --event.waiting;
  --gate.entered;
  if (event.kills != kills) return GC_ERR_ABORT;
  return ended ? GC_ERR_SUCCESS : GC_ERR_TIMEOUT;
}

void kill(EVENT_HANDLE handle) {
  std::lock_guard<std::mutex> lock(mutex);
  Event& event = events[handle];
  if (event.waiting > 0) {
    ++event.kills;
    changed.notify_all();
  } else {
    event.pending = true;
  }
}

// One call: logs itself, waits while the test holds it, then hands out the
// scripted output piece by piece and converts to the scripted code. The
// answer is looked up only after the wait, so a test can script it while the
// call is held.
class Call {
 public:
  template <typename... Args>
  Call(const char* name, int64_t selector, Args... args) {
    enter(nullptr, name, selector, join(args...));
  }

  template <typename... Args>
  Call(const EventWait& wait, const char* name, int64_t selector, Args... args) {
    enter(&wait, name, selector, join(args...));
  }

  // Fixed-width outputs, in parameter order.
  template <typename... Out>
  Call& out(Out*... outputs) {
    (copy(outputs, sizeof(Out)), ...);
    return *this;
  }

  // A value area of *size bytes takes the rest; *size becomes the count, or
  // the size the test scripted. The reported data type is left alone: callers
  // do not read it.
  // How many bytes the script hands out; a scripted size lie wins.
  size_t scriptedSize() const {
    if (reported_) return *reported_;
    return answer_.writes ? answer_.output.size() : 0;
  }

  Call& area(void* buffer, size_t* size) {
    if (size == nullptr) return *this;
    if (answer_.writes && buffer != nullptr) *size = copy(buffer, *size);
    if (reported_) *size = *reported_;
    return *this;
  }

  operator GC_ERROR() const { return answer_.code; }

 private:
  template <typename... Args>
  static std::string join(Args... args) {
    std::string arguments;
    ((arguments += (arguments.empty() ? "" : ", ") + format(args)), ...);
    return arguments;
  }

  void enter(const EventWait* wait, const char* name, int64_t selector,
             const std::string& arguments) {
    std::unique_lock<std::mutex> lock(mutex);
    names += name + std::string("\n");
    lines += name + ("(" + arguments + ")\n");
    Gate& gate = gates[name];
    if (wait != nullptr) {
      // An ended wait delivers nothing, as a real producer's would.
      answer_.code = awaitEvent(lock, gate, *wait);
      if (answer_.code != GC_ERR_SUCCESS) return;
    } else if (gate.held) {
      hold(lock, gate);
    }
    if (auto answer = scripted(answers, name, selector)) answer_ = *answer;
    reported_ = scripted(reportedSizes, name, selector);
  }

  size_t copy(void* to, size_t capacity) {
    if (!answer_.writes || to == nullptr) return 0;
    size_t n = std::min(capacity, answer_.output.size() - std::min(used_, answer_.output.size()));
    memcpy(to, answer_.output.data() + used_, n);
    used_ += n;
    return n;
  }

  Answer answer_;
  std::optional<size_t> reported_;
  size_t used_ = 0;
};

constexpr int64_t kAny = GRABKIT_TEST_ANY;
}  // namespace

extern "C" {

GC_ERROR GCGetInfo(TL_INFO_CMD cmd, INFO_DATATYPE* type, void* buffer, size_t* size) {
  return Call(__func__, cmd, cmd, in(size)).area(buffer, size);
}
GC_ERROR GCGetLastError(GC_ERROR* code, char* text, size_t* size) {
  return Call(__func__, kAny, in(size)).out(code).area(text, size);
}
GC_ERROR GCInitLib() {
  return Call(__func__, kAny);
}
GC_ERROR GCCloseLib() {
  return Call(__func__, kAny);
}
GC_ERROR GCReadPort(PORT_HANDLE port, uint64_t address, void* buffer, size_t* size) {
  return Call(__func__, address, port, address, buffer, in(size)).area(buffer, size);
}
GC_ERROR GCWritePort(PORT_HANDLE port, uint64_t address, const void* buffer, size_t* size) {
  return Call(__func__, address, port, address, buffer, in(size)).out(size);
}
GC_ERROR GCGetPortURL(PORT_HANDLE port, char* url, size_t* size) {
  return Call(__func__, kAny, port, in(size)).area(url, size);
}
GC_ERROR GCGetPortInfo(PORT_HANDLE port, PORT_INFO_CMD cmd, INFO_DATATYPE* type, void* buffer,
                       size_t* size) {
  return Call(__func__, cmd, port, cmd, in(size)).area(buffer, size);
}
GC_ERROR GCRegisterEvent(EVENTSRC_HANDLE source, EVENT_TYPE type, EVENT_HANDLE* event) {
  return Call(__func__, type, source, type).out(event);
}
GC_ERROR GCUnregisterEvent(EVENTSRC_HANDLE source, EVENT_TYPE type) {
  return Call(__func__, type, source, type);
}
GC_ERROR EventGetData(EVENT_HANDLE event, void* buffer, size_t* size, uint64_t timeout) {
  return Call(EventWait{event, timeout}, __func__, kAny, event, in(size), timeout)
      .area(buffer, size);
}
GC_ERROR EventGetDataInfo(EVENT_HANDLE event, const void* data, size_t dataSize,
                          EVENT_DATA_INFO_CMD cmd, INFO_DATATYPE* type, void* buffer,
                          size_t* size) {
  return Call(__func__, cmd, event, data, dataSize, cmd, in(size)).area(buffer, size);
}
GC_ERROR EventGetInfo(EVENT_HANDLE event, EVENT_INFO_CMD cmd, INFO_DATATYPE* type, void* buffer,
                      size_t* size) {
  return Call(__func__, cmd, event, cmd, in(size)).area(buffer, size);
}
GC_ERROR EventFlush(EVENT_HANDLE event) {
  return Call(__func__, kAny, event);
}
GC_ERROR EventKill(EVENT_HANDLE event) {
  GC_ERROR code = Call(__func__, kAny, event);
  // A kill that the test made fail leaves the waits alone.
  if (code == GC_ERR_SUCCESS) kill(event);
  return code;
}
GC_ERROR TLOpen(TL_HANDLE* system) {
  return Call(__func__, kAny).out(system);
}
GC_ERROR TLClose(TL_HANDLE system) {
  return Call(__func__, kAny, system);
}
GC_ERROR TLGetInfo(TL_HANDLE system, TL_INFO_CMD cmd, INFO_DATATYPE* type, void* buffer,
                   size_t* size) {
  return Call(__func__, cmd, system, cmd, in(size)).area(buffer, size);
}
GC_ERROR TLGetNumInterfaces(TL_HANDLE system, uint32_t* count) {
  return Call(__func__, kAny, system).out(count);
}
GC_ERROR TLGetInterfaceID(TL_HANDLE system, uint32_t index, char* id, size_t* size) {
  return Call(__func__, index, system, index, in(size)).area(id, size);
}
GC_ERROR TLGetInterfaceInfo(TL_HANDLE system, const char* id, INTERFACE_INFO_CMD cmd,
                            INFO_DATATYPE* type, void* buffer, size_t* size) {
  return Call(__func__, cmd, system, id, cmd, in(size)).area(buffer, size);
}
GC_ERROR TLOpenInterface(TL_HANDLE system, const char* id, IF_HANDLE* iface) {
  return Call(__func__, kAny, system, id).out(iface);
}
GC_ERROR TLUpdateInterfaceList(TL_HANDLE system, bool8_t* changed, uint64_t timeout) {
  return Call(__func__, kAny, system, timeout).out(changed);
}
GC_ERROR IFClose(IF_HANDLE iface) {
  return Call(__func__, kAny, iface);
}
GC_ERROR IFGetInfo(IF_HANDLE iface, INTERFACE_INFO_CMD cmd, INFO_DATATYPE* type, void* buffer,
                   size_t* size) {
  return Call(__func__, cmd, iface, cmd, in(size)).area(buffer, size);
}
GC_ERROR IFGetNumDevices(IF_HANDLE iface, uint32_t* count) {
  return Call(__func__, kAny, iface).out(count);
}
GC_ERROR IFGetDeviceID(IF_HANDLE iface, uint32_t index, char* id, size_t* size) {
  return Call(__func__, index, iface, index, in(size)).area(id, size);
}
GC_ERROR IFUpdateDeviceList(IF_HANDLE iface, bool8_t* changed, uint64_t timeout) {
  return Call(__func__, kAny, iface, timeout).out(changed);
}
GC_ERROR IFGetDeviceInfo(IF_HANDLE iface, const char* id, DEVICE_INFO_CMD cmd, INFO_DATATYPE* type,
                         void* buffer, size_t* size) {
  return Call(__func__, cmd, iface, id, cmd, in(size)).area(buffer, size);
}
GC_ERROR IFOpenDevice(IF_HANDLE iface, const char* id, DEVICE_ACCESS_FLAGS flags,
                      DEV_HANDLE* device) {
  return Call(__func__, kAny, iface, id, flags).out(device);
}
GC_ERROR DevGetPort(DEV_HANDLE device, PORT_HANDLE* port) {
  return Call(__func__, kAny, device).out(port);
}
GC_ERROR DevGetNumDataStreams(DEV_HANDLE device, uint32_t* count) {
  return Call(__func__, kAny, device).out(count);
}
GC_ERROR DevGetDataStreamID(DEV_HANDLE device, uint32_t index, char* id, size_t* size) {
  return Call(__func__, index, device, index, in(size)).area(id, size);
}
GC_ERROR DevOpenDataStream(DEV_HANDLE device, const char* id, DS_HANDLE* stream) {
  return Call(__func__, kAny, device, id).out(stream);
}
GC_ERROR DevGetInfo(DEV_HANDLE device, DEVICE_INFO_CMD cmd, INFO_DATATYPE* type, void* buffer,
                    size_t* size) {
  return Call(__func__, cmd, device, cmd, in(size)).area(buffer, size);
}
GC_ERROR DevClose(DEV_HANDLE device) {
  return Call(__func__, kAny, device);
}
GC_ERROR DSAnnounceBuffer(DS_HANDLE stream, void* memory, size_t size, void* user,
                          BUFFER_HANDLE* buffer) {
  return Call(__func__, kAny, stream, memory, size, user).out(buffer);
}
GC_ERROR DSAllocAndAnnounceBuffer(DS_HANDLE stream, size_t size, void* user,
                                  BUFFER_HANDLE* buffer) {
  return Call(__func__, kAny, stream, size, user).out(buffer);
}
GC_ERROR DSFlushQueue(DS_HANDLE stream, ACQ_QUEUE_TYPE operation) {
  return Call(__func__, operation, stream, operation);
}
GC_ERROR DSStartAcquisition(DS_HANDLE stream, ACQ_START_FLAGS flags, uint64_t count) {
  return Call(__func__, kAny, stream, flags, count);
}
GC_ERROR DSStopAcquisition(DS_HANDLE stream, ACQ_STOP_FLAGS flags) {
  return Call(__func__, kAny, stream, flags);
}
GC_ERROR DSGetInfo(DS_HANDLE stream, STREAM_INFO_CMD cmd, INFO_DATATYPE* type, void* buffer,
                   size_t* size) {
  return Call(__func__, cmd, stream, cmd, in(size)).area(buffer, size);
}
GC_ERROR DSGetBufferID(DS_HANDLE stream, uint32_t index, BUFFER_HANDLE* buffer) {
  return Call(__func__, index, stream, index).out(buffer);
}
GC_ERROR DSClose(DS_HANDLE stream) {
  return Call(__func__, kAny, stream);
}
GC_ERROR DSRevokeBuffer(DS_HANDLE stream, BUFFER_HANDLE buffer, void** memory, void** user) {
  return Call(__func__, kAny, stream, buffer).out(memory, user);
}
GC_ERROR DSQueueBuffer(DS_HANDLE stream, BUFFER_HANDLE buffer) {
  return Call(__func__, kAny, stream, buffer);
}
GC_ERROR DSGetBufferInfo(DS_HANDLE stream, BUFFER_HANDLE buffer, BUFFER_INFO_CMD cmd,
                         INFO_DATATYPE* type, void* value, size_t* size) {
  return Call(__func__, cmd, stream, buffer, cmd, in(size)).area(value, size);
}
GC_ERROR GCGetNumPortURLs(PORT_HANDLE port, uint32_t* count) {
  return Call(__func__, kAny, port).out(count);
}
GC_ERROR GCGetPortURLInfo(PORT_HANDLE port, uint32_t index, URL_INFO_CMD cmd, INFO_DATATYPE* type,
                          void* buffer, size_t* size) {
  return Call(__func__, cmd, port, index, cmd, in(size)).area(buffer, size);
}
GC_ERROR GCReadPortStacked(PORT_HANDLE port, PORT_REGISTER_STACK_ENTRY* entries, size_t* count) {
  return Call(__func__, kAny, port, entries, in(count));
}
GC_ERROR GCWritePortStacked(PORT_HANDLE port, PORT_REGISTER_STACK_ENTRY* entries, size_t* count) {
  return Call(__func__, kAny, port, entries, in(count));
}
GC_ERROR DSGetBufferChunkData(DS_HANDLE stream, BUFFER_HANDLE buffer, SINGLE_CHUNK_DATA* chunks,
                              size_t* count) {
  // The scripted bytes are the chunk list: a query without a list gets its
  // count, a list gets as many entries as it has room for.
  size_t room = in(count) * sizeof(SINGLE_CHUNK_DATA);
  Call call(__func__, kAny, stream, buffer, chunks, in(count));
  if (count != nullptr && chunks == nullptr) {
    *count = call.scriptedSize() / sizeof(SINGLE_CHUNK_DATA);
  } else {
    call.area(chunks, &room);
    if (count != nullptr) *count = room / sizeof(SINGLE_CHUNK_DATA);
  }
  return call;
}
GC_ERROR IFGetParentTL(IF_HANDLE iface, TL_HANDLE* system) {
  return Call(__func__, kAny, iface).out(system);
}
GC_ERROR DevGetParentIF(DEV_HANDLE device, IF_HANDLE* iface) {
  return Call(__func__, kAny, device).out(iface);
}
GC_ERROR DSGetParentDev(DS_HANDLE stream, DEV_HANDLE* device) {
  return Call(__func__, kAny, stream).out(device);
}
GC_ERROR DSGetNumBufferParts(DS_HANDLE stream, BUFFER_HANDLE buffer, uint32_t* count) {
  return Call(__func__, kAny, stream, buffer).out(count);
}
GC_ERROR DSGetBufferPartInfo(DS_HANDLE stream, BUFFER_HANDLE buffer, uint32_t part,
                             BUFFER_PART_INFO_CMD cmd, INFO_DATATYPE* type, void* value,
                             size_t* size) {
  return Call(__func__, cmd, stream, buffer, part, cmd, in(size)).area(value, size);
}

void GrabkitTest_reset() {
  std::lock_guard<std::mutex> lock(mutex);
  answers.clear();
  reportedSizes.clear();
  for (auto& [name, gate] : gates) {
    gate.held = false;
    ++gate.generation;
  }
  for (auto& [handle, event] : events) event.pending = false;
  waitForKill = false;
  names.clear();
  lines.clear();
  changed.notify_all();
}

void GrabkitTest_setResult(const char* function, GC_ERROR code) {
  std::lock_guard<std::mutex> lock(mutex);
  answers[{function, GRABKIT_TEST_ANY}].code = code;
}

void GrabkitTest_setAnswer(const char* function, int64_t selector, GC_ERROR code,
                           const void* output, size_t size) {
  std::lock_guard<std::mutex> lock(mutex);
  Answer& answer = answers[{function, selector}];
  answer.code = code;
  answer.writes = output != nullptr;
  answer.output = output == nullptr ? "" : std::string(static_cast<const char*>(output), size);
}

void GrabkitTest_setReportedSize(const char* function, int64_t selector, size_t size) {
  std::lock_guard<std::mutex> lock(mutex);
  reportedSizes[{function, selector}] = size;
}

void GrabkitTest_hold(const char* function) {
  std::lock_guard<std::mutex> lock(mutex);
  gates[function].held = true;
}

void GrabkitTest_release(const char* function) {
  std::lock_guard<std::mutex> lock(mutex);
  Gate& gate = gates[function];
  gate.held = false;
  ++gate.generation;
  changed.notify_all();
}

int GrabkitTest_entered(const char* function) {
  std::lock_guard<std::mutex> lock(mutex);
  return gates[function].entered;
}

bool GrabkitTest_awaitEntered(const char* function, int count, uint64_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex);
  Gate& gate = gates[function];
  return changed.wait_for(lock, bounded(timeoutMs), [&] { return gate.entered >= count; });
}

void GrabkitTest_setWaitForKill(bool wait) {
  std::lock_guard<std::mutex> lock(mutex);
  waitForKill = wait;
}

size_t GrabkitTest_callLog(char* text, size_t capacity) {
  return copyLog(names, text, capacity);
}

size_t GrabkitTest_argumentLog(char* text, size_t capacity) {
  return copyLog(lines, text, capacity);
}

}  // extern "C"

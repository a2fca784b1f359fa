// grabkit-producer-host: loads one producer and answers the calls that
// grabkit-isolated.cti forwards, one thread per connection of the application.
// Started by the shim as: grabkit-producer-host <producer.cti> <parent pid>,
// with descriptor 3 the socket on which the shim sends new connections.
#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "GenTL.h"
#include "Lineage.h"
#include "Mappings.h"
#include "Wire.h"

namespace {
using namespace Grabkit;
using namespace Grabkit::Isolation;

struct Functions {
#define GRABKIT_ISOLATION_MEMBER(name, params) P##name name = nullptr;
  GRABKIT_GENTL_FUNCTIONS(GRABKIT_ISOLATION_MEMBER)
#undef GRABKIT_ISOLATION_MEMBER
};
Functions P;
// Why the producer did not load; every call then answers with it.
std::string loadError;

// The largest value one info query may answer; more is a broken request.
constexpr uint64_t kMaxValue = 64u << 20;

// What the helper keeps of an object the producer opened: an announced
// buffer's mapping, or for a new-buffer event (booked on its stream) that
// delivered buffers are read ahead.
struct Booked {
  OwnedMapping region;
  bool newBufferEvent = false;
};
using Books = Lineage<Booked>;
std::mutex booksMutex;
Books books;

// An object the producer just made on `parent`.
template <typename Handle>
GC_ERROR opened(GC_ERROR rc, Handle* handle, void* parent, Booked record = {}) {
  if (rc != GC_ERR_SUCCESS || handle == nullptr) return rc;
  Books::Taken stale;  // let go after unlocking
  std::lock_guard<std::mutex> lock(booksMutex);
  stale = books.open(*handle, parent, std::move(record));
  return rc;
}

// `close()` lets go of `handle`, and of what the producer opened on it.
template <typename Close>
GC_ERROR retire(void* handle, Close close) {
  Books::Retirement closing(booksMutex, books, handle);
  GC_ERROR rc = close();
  if (rc == GC_ERR_SUCCESS) closing.commit();
  return rc;
}

// Calls with one value out: the flag says whether the caller passed a pointer.
template <typename T, typename Call>
void withOutput(Reader& in, Writer& out, Call call) {
  bool wanted = in.get<uint8_t>() != 0;
  T value{};
  GC_ERROR rc = call(wanted ? &value : nullptr);
  out.put<int32_t>(rc).put<T>(value);
}

thread_local std::vector<unsigned char> valueBuffer;

template <typename Call>
void info(Reader& in, Writer& out, Call call) {
  bool wantType = in.get<uint8_t>() != 0;
  bool wantBuffer = in.get<uint8_t>() != 0;
  bool wantSize = in.get<uint8_t>() != 0;
  uint64_t capacity = std::min(in.get<uint64_t>(), kMaxValue);
  valueBuffer.resize(std::max<uint64_t>(capacity, 1));
  INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
  size_t size = static_cast<size_t>(capacity);
  GC_ERROR rc = call(wantType ? &type : nullptr,
                     wantBuffer ? static_cast<void*>(valueBuffer.data()) : nullptr,
                     wantSize ? &size : nullptr);
  out.put<int32_t>(rc).put<int32_t>(type).put<uint64_t>(size);
  bool filled = wantBuffer && rc == GC_ERR_SUCCESS;
  out.blob(filled ? valueBuffer.data() : nullptr, filled ? std::min<uint64_t>(size, capacity) : 0);
}

#define CALL(name, ...) (P.name == nullptr ? GC_ERR_NOT_IMPLEMENTED : P.name(__VA_ARGS__))

void announce(Reader& in, Writer& out, int fd) {
  DS_HANDLE stream = in.handle();
  auto size = static_cast<size_t>(in.get<uint64_t>());
  uint64_t offset = in.get<uint64_t>();
  void* user = in.handle();
  bool wanted = in.get<uint8_t>() != 0;
  BUFFER_HANDLE handle = nullptr;
  if (fd < 0 || size == 0) {
    out.put<int32_t>(GC_ERR_INVALID_PARAMETER).handle(nullptr).handle(nullptr);
    return;
  }
  uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  uint64_t start = offset / page * page;
  size_t length = size + static_cast<size_t>(offset - start);
  void* map =
      mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(start));
  if (map == MAP_FAILED) {
    out.put<int32_t>(GC_ERR_RESOURCE_EXHAUSTED).handle(nullptr).handle(nullptr);
    return;
  }
  void* base = static_cast<char*>(map) + (offset - start);
  OwnedMapping region(map, length);
  GC_ERROR rc = CALL(DSAnnounceBuffer, stream, base, size, user, wanted ? &handle : nullptr);
  // The shim always asks for the handle: without it, nothing could ever let the mapping go.
  if (wanted) opened(rc, &handle, stream, Booked{std::move(region), false});
  out.put<int32_t>(rc).handle(handle).handle(base);
}

// After a delivery: the delivered buffer's handle and what a frame reads of it.
void prefetch(EVENT_HANDLE event, GC_ERROR rc, size_t delivered, Writer& out) {
  DS_HANDLE stream = nullptr;
  bool known = false;
  if (rc == GC_ERR_SUCCESS && delivered >= sizeof(EVENT_NEW_BUFFER_DATA)) {
    std::lock_guard<std::mutex> lock(booksMutex);
    Books::Entry* found = books.find(event);
    known = found != nullptr && found->record.newBufferEvent;
    if (known) stream = found->parent;
  }
  out.put<uint8_t>(known);
  if (!known) return;
  EVENT_NEW_BUFFER_DATA data;
  memcpy(&data, valueBuffer.data(), sizeof(data));
  out.handle(data.BufferHandle);
  for (BUFFER_INFO_CMD cmd : kPrefetched) {
    unsigned char value[kPrefetchedSize] = {};
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = sizeof(value);
    GC_ERROR got = CALL(DSGetBufferInfo, stream, data.BufferHandle, cmd, &type, value, &size);
    bool ok = got == GC_ERR_SUCCESS && size <= sizeof(value);
    out.put<uint8_t>(ok).put<int32_t>(type).put<uint64_t>(ok ? size : 0);
    out.blob(ok ? value : nullptr, ok ? size : 0);
  }
}

void dispatch(Fn fn, Reader& in, Writer& out, int fd) {
  switch (fn) {
    case Fn::GCGetInfo: {
      auto cmd = in.get<int32_t>();
      return info(in, out, [&](auto t, auto b, auto s) { return CALL(GCGetInfo, cmd, t, b, s); });
    }
    case Fn::GCGetLastError: {
      bool wantCode = in.get<uint8_t>() != 0;
      GC_ERROR code = GC_ERR_SUCCESS;
      info(in, out, [&](auto, auto b, auto s) {
        return CALL(GCGetLastError, wantCode ? &code : nullptr, static_cast<char*>(b), s);
      });
      out.put<int32_t>(code);
      return;
    }
    case Fn::GCInitLib:
      out.put<int32_t>(CALL(GCInitLib));
      return;
    case Fn::GCCloseLib: {
      // The producer closed everything with itself.
      GC_ERROR rc = CALL(GCCloseLib);
      Books::Taken gone;
      if (rc == GC_ERR_SUCCESS) {
        std::lock_guard<std::mutex> lock(booksMutex);
        gone = books.takeAll();
      }
      out.put<int32_t>(rc);
      return;
    }
    case Fn::GCReadPort: {
      auto h = in.handle();
      auto address = in.get<uint64_t>();
      return info(in, out,
                  [&](auto, auto b, auto s) { return CALL(GCReadPort, h, address, b, s); });
    }
    case Fn::GCWritePort: {
      auto h = in.handle();
      auto address = in.get<uint64_t>();
      size_t n = 0;
      const unsigned char* data = in.blob(n);
      return withOutput<size_t>(in, out, [&](size_t* s) {
        if (s != nullptr) *s = n;
        return CALL(GCWritePort, h, address, data, s);
      });
    }
    case Fn::GCGetPortURL: {
      auto h = in.handle();
      return info(in, out, [&](auto, auto b, auto s) {
        return CALL(GCGetPortURL, h, static_cast<char*>(b), s);
      });
    }
    case Fn::GCGetPortInfo: {
      auto h = in.handle();
      auto cmd = in.get<int32_t>();
      return info(in, out,
                  [&](auto t, auto b, auto s) { return CALL(GCGetPortInfo, h, cmd, t, b, s); });
    }
    case Fn::GCRegisterEvent: {
      auto h = in.handle();
      auto type = in.get<int32_t>();
      return withOutput<EVENT_HANDLE>(in, out, [&](EVENT_HANDLE* e) {
        GC_ERROR rc = CALL(GCRegisterEvent, h, type, e);
        if (type == EVENT_NEW_BUFFER) return opened(rc, e, h, Booked{{}, true});
        // Not booked (their sources need not be), but what was booked at the value is stale.
        if (rc == GC_ERR_SUCCESS && e != nullptr) Books::Retirement(booksMutex, books, *e).commit();
        return rc;
      });
    }
    case Fn::GCUnregisterEvent: {
      auto h = in.handle();
      auto type = in.get<int32_t>();
      bool newBuffer = type == EVENT_NEW_BUFFER;
      Books::Retirement unregistering(booksMutex, books, [&](Books& b) {
        return newBuffer ? b.noteChildren(
                               h, [](const Books::Entry& e) { return e.record.newBufferEvent; })
                         : Books::Noted();
      });
      GC_ERROR rc = CALL(GCUnregisterEvent, h, type);
      if (rc == GC_ERR_SUCCESS) unregistering.commit();
      out.put<int32_t>(rc);
      return;
    }
    case Fn::EventGetData: {
      auto h = in.handle();
      auto timeout = in.get<uint64_t>();
      GC_ERROR rc = GC_ERR_ERROR;
      size_t delivered = 0;
      info(in, out, [&](auto, auto b, auto s) {
        rc = CALL(EventGetData, h, b, s, timeout);
        delivered = b != nullptr && s != nullptr ? *s : 0;
        return rc;
      });
      return prefetch(h, rc, delivered, out);
    }
    case Fn::EventGetDataInfo: {
      auto h = in.handle();
      size_t n = 0;
      const unsigned char* data = in.blob(n);
      auto cmd = in.get<int32_t>();
      return info(in, out, [&](auto t, auto b, auto s) {
        return CALL(EventGetDataInfo, h, data, n, cmd, t, b, s);
      });
    }
    case Fn::EventGetInfo: {
      auto h = in.handle();
      auto cmd = in.get<int32_t>();
      return info(in, out,
                  [&](auto t, auto b, auto s) { return CALL(EventGetInfo, h, cmd, t, b, s); });
    }
    case Fn::EventFlush:
      out.put<int32_t>(CALL(EventFlush, in.handle()));
      return;
    case Fn::EventKill:
      out.put<int32_t>(CALL(EventKill, in.handle()));
      return;
    case Fn::TLOpen:
      return withOutput<TL_HANDLE>(
          in, out, [&](TL_HANDLE* h) { return opened(CALL(TLOpen, h), h, nullptr); });
    case Fn::TLClose: {
      auto h = in.handle();
      out.put<int32_t>(retire(h, [&] { return CALL(TLClose, h); }));
      return;
    }
    case Fn::TLGetInfo: {
      auto h = in.handle();
      auto cmd = in.get<int32_t>();
      return info(in, out,
                  [&](auto t, auto b, auto s) { return CALL(TLGetInfo, h, cmd, t, b, s); });
    }
    case Fn::TLGetNumInterfaces: {
      auto h = in.handle();
      return withOutput<uint32_t>(in, out,
                                  [&](uint32_t* n) { return CALL(TLGetNumInterfaces, h, n); });
    }
    case Fn::TLGetInterfaceID: {
      auto h = in.handle();
      auto index = in.get<uint32_t>();
      return info(in, out, [&](auto, auto b, auto s) {
        return CALL(TLGetInterfaceID, h, index, static_cast<char*>(b), s);
      });
    }
    case Fn::TLGetInterfaceInfo: {
      auto h = in.handle();
      const char* id = in.text();
      auto cmd = in.get<int32_t>();
      return info(in, out, [&](auto t, auto b, auto s) {
        return CALL(TLGetInterfaceInfo, h, id, cmd, t, b, s);
      });
    }
    case Fn::TLOpenInterface: {
      auto h = in.handle();
      const char* id = in.text();
      return withOutput<IF_HANDLE>(
          in, out, [&](IF_HANDLE* i) { return opened(CALL(TLOpenInterface, h, id, i), i, h); });
    }
    case Fn::TLUpdateInterfaceList: {
      auto h = in.handle();
      auto timeout = in.get<uint64_t>();
      return withOutput<bool8_t>(
          in, out, [&](bool8_t* c) { return CALL(TLUpdateInterfaceList, h, c, timeout); });
    }
    case Fn::IFClose: {
      auto h = in.handle();
      out.put<int32_t>(retire(h, [&] { return CALL(IFClose, h); }));
      return;
    }
    case Fn::IFGetInfo: {
      auto h = in.handle();
      auto cmd = in.get<int32_t>();
      return info(in, out,
                  [&](auto t, auto b, auto s) { return CALL(IFGetInfo, h, cmd, t, b, s); });
    }
    case Fn::IFGetNumDevices: {
      auto h = in.handle();
      return withOutput<uint32_t>(in, out,
                                  [&](uint32_t* n) { return CALL(IFGetNumDevices, h, n); });
    }
    case Fn::IFGetDeviceID: {
      auto h = in.handle();
      auto index = in.get<uint32_t>();
      return info(in, out, [&](auto, auto b, auto s) {
        return CALL(IFGetDeviceID, h, index, static_cast<char*>(b), s);
      });
    }
    case Fn::IFUpdateDeviceList: {
      auto h = in.handle();
      auto timeout = in.get<uint64_t>();
      return withOutput<bool8_t>(
          in, out, [&](bool8_t* c) { return CALL(IFUpdateDeviceList, h, c, timeout); });
    }
    case Fn::IFGetDeviceInfo: {
      auto h = in.handle();
      const char* id = in.text();
      auto cmd = in.get<int32_t>();
      return info(in, out, [&](auto t, auto b, auto s) {
        return CALL(IFGetDeviceInfo, h, id, cmd, t, b, s);
      });
    }
    case Fn::IFOpenDevice: {
      auto h = in.handle();
      const char* id = in.text();
      auto flags = in.get<int32_t>();
      return withOutput<DEV_HANDLE>(in, out, [&](DEV_HANDLE* d) {
        return opened(CALL(IFOpenDevice, h, id, flags, d), d, h);
      });
    }
    case Fn::DevGetPort: {
      auto h = in.handle();
      return withOutput<PORT_HANDLE>(in, out,
                                     [&](PORT_HANDLE* p) { return CALL(DevGetPort, h, p); });
    }
    case Fn::DevGetNumDataStreams: {
      auto h = in.handle();
      return withOutput<uint32_t>(in, out,
                                  [&](uint32_t* n) { return CALL(DevGetNumDataStreams, h, n); });
    }
    case Fn::DevGetDataStreamID: {
      auto h = in.handle();
      auto index = in.get<uint32_t>();
      return info(in, out, [&](auto, auto b, auto s) {
        return CALL(DevGetDataStreamID, h, index, static_cast<char*>(b), s);
      });
    }
    case Fn::DevOpenDataStream: {
      auto h = in.handle();
      const char* id = in.text();
      return withOutput<DS_HANDLE>(
          in, out, [&](DS_HANDLE* d) { return opened(CALL(DevOpenDataStream, h, id, d), d, h); });
    }
    case Fn::DevGetInfo: {
      auto h = in.handle();
      auto cmd = in.get<int32_t>();
      return info(in, out,
                  [&](auto t, auto b, auto s) { return CALL(DevGetInfo, h, cmd, t, b, s); });
    }
    case Fn::DevClose: {
      auto h = in.handle();
      out.put<int32_t>(retire(h, [&] { return CALL(DevClose, h); }));
      return;
    }
    case Fn::DSAnnounceBuffer:
    case Fn::DSAllocAndAnnounceBuffer:
      return announce(in, out, fd);
    case Fn::DSFlushQueue: {
      auto h = in.handle();
      out.put<int32_t>(CALL(DSFlushQueue, h, in.get<int32_t>()));
      return;
    }
    case Fn::DSStartAcquisition: {
      auto h = in.handle();
      auto flags = in.get<int32_t>();
      out.put<int32_t>(CALL(DSStartAcquisition, h, flags, in.get<uint64_t>()));
      return;
    }
    case Fn::DSStopAcquisition: {
      auto h = in.handle();
      out.put<int32_t>(CALL(DSStopAcquisition, h, in.get<int32_t>()));
      return;
    }
    case Fn::DSGetInfo: {
      auto h = in.handle();
      auto cmd = in.get<int32_t>();
      return info(in, out,
                  [&](auto t, auto b, auto s) { return CALL(DSGetInfo, h, cmd, t, b, s); });
    }
    case Fn::DSGetBufferID: {
      auto h = in.handle();
      auto index = in.get<uint32_t>();
      return withOutput<BUFFER_HANDLE>(
          in, out, [&](BUFFER_HANDLE* b) { return CALL(DSGetBufferID, h, index, b); });
    }
    case Fn::DSClose: {
      auto h = in.handle();
      out.put<int32_t>(retire(h, [&] { return CALL(DSClose, h); }));
      return;
    }
    case Fn::DSRevokeBuffer: {
      auto h = in.handle();
      auto buffer = in.handle();
      void* memory = nullptr;
      void* user = nullptr;
      GC_ERROR rc = retire(buffer, [&] { return CALL(DSRevokeBuffer, h, buffer, &memory, &user); });
      out.put<int32_t>(rc).handle(user);
      return;
    }
    case Fn::DSQueueBuffer: {
      auto h = in.handle();
      out.put<int32_t>(CALL(DSQueueBuffer, h, in.handle()));
      return;
    }
    case Fn::DSGetBufferInfo: {
      auto h = in.handle();
      auto buffer = in.handle();
      auto cmd = in.get<int32_t>();
      return info(in, out, [&](auto t, auto b, auto s) {
        return CALL(DSGetBufferInfo, h, buffer, cmd, t, b, s);
      });
    }
    case Fn::GCGetNumPortURLs: {
      auto h = in.handle();
      return withOutput<uint32_t>(in, out,
                                  [&](uint32_t* n) { return CALL(GCGetNumPortURLs, h, n); });
    }
    case Fn::GCGetPortURLInfo: {
      auto h = in.handle();
      auto index = in.get<uint32_t>();
      auto cmd = in.get<int32_t>();
      return info(in, out, [&](auto t, auto b, auto s) {
        return CALL(GCGetPortURLInfo, h, index, cmd, t, b, s);
      });
    }
    case Fn::GCReadPortStacked:
    case Fn::GCWritePortStacked: {
      auto h = in.handle();
      bool hasEntries = in.get<uint8_t>() != 0;
      bool hasCount = in.get<uint8_t>() != 0;
      size_t count = static_cast<size_t>(std::min<uint64_t>(in.get<uint64_t>(), 1u << 20));
      bool reading = fn == Fn::GCReadPortStacked;
      std::vector<PORT_REGISTER_STACK_ENTRY> entries(count);
      std::vector<std::vector<unsigned char>> data(count);
      for (size_t i = 0; i < count && !in.failed(); i++) {
        entries[i].Address = in.get<uint64_t>();
        if (reading) {
          data[i].resize(static_cast<size_t>(std::min<uint64_t>(in.get<uint64_t>(), kMaxValue)));
        } else {
          size_t n = 0;
          const unsigned char* bytes = in.blob(n);
          if (bytes != nullptr) data[i].assign(bytes, bytes + n);
        }
        entries[i].pBuffer = data[i].data();
        entries[i].Size = data[i].size();
      }
      size_t n = count;
      PORT_REGISTER_STACK_ENTRY* e = hasEntries ? entries.data() : nullptr;
      GC_ERROR rc = reading ? CALL(GCReadPortStacked, h, e, hasCount ? &n : nullptr)
                            : CALL(GCWritePortStacked, h, e, hasCount ? &n : nullptr);
      out.put<int32_t>(rc).put<uint64_t>(n);
      if (reading) {
        for (size_t i = 0; i < std::min(n, count); i++) out.blob(data[i].data(), data[i].size());
      }
      return;
    }
    case Fn::DSGetBufferChunkData: {
      auto h = in.handle();
      auto buffer = in.handle();
      bool hasChunks = in.get<uint8_t>() != 0;
      bool hasCount = in.get<uint8_t>() != 0;
      size_t n = static_cast<size_t>(std::min<uint64_t>(in.get<uint64_t>(), 1u << 16));
      std::vector<SINGLE_CHUNK_DATA> chunks(std::max<size_t>(n, 1));
      size_t capacity = n;
      GC_ERROR rc = CALL(DSGetBufferChunkData, h, buffer, hasChunks ? chunks.data() : nullptr,
                         hasCount ? &n : nullptr);
      out.put<int32_t>(rc).put<uint64_t>(n);
      bool filled = hasChunks && rc == GC_ERR_SUCCESS;
      out.blob(filled ? chunks.data() : nullptr,
               filled ? std::min(n, capacity) * sizeof(SINGLE_CHUNK_DATA) : 0);
      return;
    }
    case Fn::IFGetParentTL: {
      auto h = in.handle();
      return withOutput<TL_HANDLE>(in, out,
                                   [&](TL_HANDLE* t) { return CALL(IFGetParentTL, h, t); });
    }
    case Fn::DevGetParentIF: {
      auto h = in.handle();
      return withOutput<IF_HANDLE>(in, out,
                                   [&](IF_HANDLE* i) { return CALL(DevGetParentIF, h, i); });
    }
    case Fn::DSGetParentDev: {
      auto h = in.handle();
      return withOutput<DEV_HANDLE>(in, out,
                                    [&](DEV_HANDLE* d) { return CALL(DSGetParentDev, h, d); });
    }
    case Fn::DSGetNumBufferParts: {
      auto h = in.handle();
      auto buffer = in.handle();
      return withOutput<uint32_t>(
          in, out, [&](uint32_t* n) { return CALL(DSGetNumBufferParts, h, buffer, n); });
    }
    case Fn::DSGetBufferPartInfo: {
      auto h = in.handle();
      auto buffer = in.handle();
      auto part = in.get<uint32_t>();
      auto cmd = in.get<int32_t>();
      return info(in, out, [&](auto t, auto b, auto s) {
        return CALL(DSGetBufferPartInfo, h, buffer, part, cmd, t, b, s);
      });
    }
    case Fn::kCount:
      break;
  }
  out.put<int32_t>(GC_ERR_NOT_IMPLEMENTED);
}

// The answers of a producer that did not load: GCInitLib fails, and the
// application's loader reads the reason from GCGetLastError.
void refuse(Fn fn, Reader& in, Writer& out) {
  if (fn != Fn::GCGetLastError) {
    out.put<int32_t>(fn == Fn::GCInitLib ? GC_ERR_ERROR : GC_ERR_NOT_INITIALIZED);
    return;
  }
  in.get<uint8_t>();
  info(in, out, [&](auto, auto b, auto s) -> GC_ERROR {
    if (s == nullptr) return GC_ERR_INVALID_PARAMETER;
    size_t need = loadError.size() + 1;
    if (b == nullptr || *s < need) {
      GC_ERROR rc = b == nullptr ? GC_ERR_SUCCESS : GC_ERR_BUFFER_TOO_SMALL;
      *s = need;
      return rc;
    }
    memcpy(b, loadError.c_str(), need);
    *s = need;
    return GC_ERR_SUCCESS;
  });
  out.put<int32_t>(GC_ERR_ERROR);
}

// One connection: requests in, answers out, until the application closes it.
void serve(int socket) {
  std::vector<unsigned char> request;
  Writer out;
  while (true) {
    int fd = -1;
    if (receiveMessage(socket, request, fd) != Received::kMessage) break;
    Reader in(request);
    auto fn = static_cast<Fn>(in.get<uint32_t>());
    out.clear();
    if (in.failed() || fn >= Fn::kCount) {
      out.put<int32_t>(GC_ERR_INVALID_PARAMETER);
    } else if (!loadError.empty()) {
      refuse(fn, in, out);
    } else {
      dispatch(fn, in, out, fd);
    }
    if (fd >= 0) close(fd);
    if (!sendMessage(socket, out.bytes())) break;
  }
  close(socket);
}

void closeInheritedDescriptors() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return;
  std::vector<int> extra;
  while (dirent* e = readdir(dir)) {
    int fd = atoi(e->d_name);
    if (fd > 3 && fd != dirfd(dir)) extra.push_back(fd);
  }
  closedir(dir);
  for (int fd : extra) close(fd);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s PRODUCER.cti PARENT-PID (started by grabkit-isolated.cti)\n",
            argv[0]);
    return 2;
  }
  // Die with the application, even when it is killed outright.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != static_cast<pid_t>(atol(argv[2]))) return 2;
  signal(SIGPIPE, SIG_IGN);
  closeInheritedDescriptors();
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    loadError = std::string("cannot load ") + argv[1] + ": " + (reason != nullptr ? reason : "");
  } else {
#define GRABKIT_ISOLATION_RESOLVE(name, params) \
  P.name = reinterpret_cast<P##name>(dlsym(library, #name));
    GRABKIT_GENTL_FUNCTIONS(GRABKIT_ISOLATION_RESOLVE)
#undef GRABKIT_ISOLATION_RESOLVE
    if (P.GCInitLib == nullptr) loadError = std::string(argv[1]) + " is no GenTL producer";
  }
  // Descriptor 3 brings one socket per thread of the application.
  while (true) {
    std::vector<unsigned char> message;
    int fd = -1;
    if (receiveMessage(3, message, fd, -1, false) != Received::kMessage) break;
    if (fd >= 0) std::thread(serve, fd).detach();
  }
  // The application closed the producer or is gone: what the producer's own
  // threads and destructors would still do is no one's concern now.
  fflush(stdout);
  _exit(0);
}

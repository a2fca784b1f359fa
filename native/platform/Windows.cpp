#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <stdlib.h>
#include <windows.h>

#include <utility>
#include <vector>

#include "Platform.h"

namespace Grabkit::Platform {

namespace {
thread_local DWORD lastLoadError = 0;

std::string systemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 ? std::string(text, length) : std::string();
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "system error " + std::to_string(code);
  return message;
}

HANDLE osHandle(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}
}  // namespace

namespace {
ThreadExitHook exitHook = nullptr;

VOID WINAPI fiberStorageEnded(PVOID value) {
  if (value != nullptr && exitHook != nullptr) exitHook(value);
}
}  // namespace

void setThreadExitValue(ThreadExitHook atExit, void* value) {
  // Fiber-local storage: its callback runs on the ending thread, which a
  // thread-local destructor of the C runtime does not do everywhere.
  static DWORD index = (exitHook = atExit, FlsAlloc(fiberStorageEnded));
  FlsSetValue(index, value);
}

const bool kHeavyFenceReachesAllThreads = true;

void heavyFence() {
  std::atomic_thread_fence(std::memory_order_seq_cst);
  FlushProcessWriteBuffers();
}

void* openLibrary(const std::string& path) {
  // No message box for a missing dependency: the caller reports the failure.
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryA(path.c_str());
  lastLoadError = module == nullptr ? GetLastError() : 0;
  SetErrorMode(previous);
  return reinterpret_cast<void*>(module);
}

void* findSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

bool closeLibrary(void* library) {
  return FreeLibrary(static_cast<HMODULE>(library)) != 0;
}

std::string loadError(const std::string&) {
  return lastLoadError == 0 ? std::string("unknown reason") : systemMessage(lastLoadError);
}

std::string realPath(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return path;
  std::vector<char> name(MAX_PATH);
  DWORD length = GetFinalPathNameByHandleA(file, name.data(), static_cast<DWORD>(name.size()), 0);
  if (length >= name.size()) {
    name.resize(length + 1);
    length = GetFinalPathNameByHandleA(file, name.data(), static_cast<DWORD>(name.size()), 0);
  }
  CloseHandle(file);
  if (length == 0 || length >= name.size()) return path;
  std::string real(name.data(), length);
  // The final path comes in its \\?\ form; programs expect the ordinary one.
  if (real.rfind("\\\\?\\UNC\\", 0) == 0) return "\\" + real.substr(7);
  if (real.rfind("\\\\?\\", 0) == 0) return real.substr(4);
  return real;
}

std::string modulePath(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<const char*>(address), &module)) {
    return std::string();
  }
  std::vector<char> name(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(module, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return std::string();
    if (length < name.size()) return realPath(std::string(name.data(), length));
    name.resize(name.size() * 2);
  }
}

void setEnvironment(const char* name, const char* value) {
  // An empty value removes the variable, which Windows cannot hold empty anyway.
  _putenv_s(name, value != nullptr ? value : "");
}

void* allocateAligned(size_t alignment, size_t size) {
  return _aligned_malloc(size, alignment);
}

void freeAligned(void* memory) {
  _aligned_free(memory);
}

std::thread startQuietThread(std::function<void()> body) {
  return std::thread(std::move(body));
}

std::string fileName(const std::string& path) {
  return path.substr(path.find_last_of("/\\") + 1);
}

bool makePipe(int fds[2]) {
  return _pipe(fds, 65536, _O_BINARY | _O_NOINHERIT) == 0;
}

int duplicate(int fd) {
  const int copy = _dup(fd);
  if (copy >= 0) SetHandleInformation(osHandle(copy), HANDLE_FLAG_INHERIT, 0);
  return copy;
}

int duplicateTo(int from, int to) {
  if (_dup2(from, to) != 0) return -1;
  // Code that writes through the process's standard handle rather than the C
  // runtime's descriptor (another runtime's, the JVM's) follows the descriptor.
  if (to == 2) SetStdHandle(STD_ERROR_HANDLE, osHandle(2));
  return to;
}

void closeDescriptor(int fd) {
  _close(fd);
}

long readAvailable(int fd, void* buffer, size_t size) {
  // An anonymous pipe has no non-blocking mode: read only what is there.
  DWORD available = 0;
  if (!PeekNamedPipe(osHandle(fd), nullptr, 0, nullptr, &available, nullptr)) {
    return GetLastError() == ERROR_BROKEN_PIPE ? kEndOfFile : kReadFailed;
  }
  if (available == 0) return kNothingYet;
  const unsigned want = static_cast<unsigned>(available < size ? available : size);
  const int got = _read(fd, buffer, want);
  return got < 0 ? kReadFailed : static_cast<long>(got);
}

Wakeup::Wakeup()
    : handle_(reinterpret_cast<std::intptr_t>(CreateEventA(nullptr, TRUE, FALSE, nullptr))) {}

Wakeup::~Wakeup() {
  if (handle_ != 0) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool Wakeup::valid() const {
  return handle_ != 0;
}

void Wakeup::signal() {
  SetEvent(reinterpret_cast<HANDLE>(handle_));
}

bool Wakeup::waitReadable(int fd) {
  // Anonymous pipes cannot be waited on; the pipe is looked at every
  // millisecond, the event ends the wait at once.
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(osHandle(fd), nullptr, 0, nullptr, &available, nullptr) || available > 0) {
      return false;
    }
    if (WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), 1) != WAIT_TIMEOUT) return true;
  }
}

}  // namespace Grabkit::Platform

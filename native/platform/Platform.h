// What differs between the operating systems Grabkit runs on: loading a
// shared library, the C runtime's descriptors behind the standard-error
// capture, file paths and a wake-up for a waiting thread. Everything else in
// the library, the producers and the tests goes through these functions, so
// that only Posix.cpp and Windows.cpp know which system they are on.
#ifndef GRABKIT_PLATFORM_PLATFORM_H
#define GRABKIT_PLATFORM_PLATFORM_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace Grabkit::Platform {

// ---- Shared libraries (a producer's .cti, a test's control functions)

// Loads the library with all of its references resolved now and its symbols
// kept to itself. Null on failure; loadError() then tells why.
void* openLibrary(const std::string& path);
void* findSymbol(void* library, const char* name);
// False when the system refused to release the library.
bool closeLibrary(void* library);
// Why the last openLibrary of this thread failed, without the path it was given.
std::string loadError(const std::string& path);

// ---- Paths

// The absolute path with links resolved, or `path` itself when it cannot be.
std::string realPath(const std::string& path);
// The real path of the library or program that contains `address`, "" if unknown.
std::string modulePath(const void* address);
// The last component of `path`, after its last directory separator.
std::string fileName(const std::string& path);

// ---- Environment

// Sets (or, for a null value, removes) a variable of this process's
// environment, as the C runtime's getenv sees it.
void setEnvironment(const char* name, const char* value);

// ---- Memory

// `size` bytes at a multiple of `alignment` (a power of two, at least the
// size of a pointer), or null. Only freeAligned releases them.
void* allocateAligned(size_t alignment, size_t size);
void freeAligned(void* memory);

// ---- Threads

// Starts `body` on a thread on which none of the process's signal handlers
// ever run, so that they never run on a thread the application does not know
// of. Throws std::system_error as std::thread does.
std::thread startQuietThread(std::function<void()> body);

// Runs `atExit(value)` on a thread that ends after it called
// setThreadExitValue(value) (with a non-null value). The system's own hook,
// because a C++ thread-local's destructor does not run on every toolchain.
using ThreadExitHook = void (*)(void* value);
void setThreadExitValue(ThreadExitHook atExit, void* value);

// ---- Fences between a frequent and a rare side
//
// A thread that runs lightFence() on every call pairs with a thread that runs
// heavyFence() rarely: heavyFence() makes every thread of the process act as
// if it ran a full fence at that moment, so the frequent side needs none of
// its own. Where the system can't do that, lightFence() is a full fence and
// heavyFence() one more.

// True when heavyFence() reaches the other threads; decided once, at load.
extern const bool kHeavyFenceReachesAllThreads;
void heavyFence();
inline void lightFence() {
  if (kHeavyFenceReachesAllThreads) {
    std::atomic_signal_fence(std::memory_order_seq_cst);
  } else {
    std::atomic_thread_fence(std::memory_order_seq_cst);
  }
}

// ---- Descriptors of the C runtime, as the standard-error capture uses them

// A pipe whose ends no child process inherits. False on failure.
bool makePipe(int fds[2]);
// A copy of `fd` that no child process inherits, or -1.
int duplicate(int fd);
// Makes `to` refer to what `from` does (retrying interrupted calls); -1 on failure.
int duplicateTo(int from, int to);
void closeDescriptor(int fd);

// What readAvailable reports besides a byte count.
constexpr long kEndOfFile = 0;
constexpr long kNothingYet = -1;
constexpr long kReadFailed = -2;
// Reads what the pipe's read end holds now, up to `size` bytes, without
// waiting: a count, kNothingYet, kEndOfFile once all writers are gone, or
// kReadFailed.
long readAvailable(int fd, void* buffer, size_t size);

// Lets one thread wait for a pipe's data while another can end the wait.
class Wakeup {
 public:
  Wakeup();
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  bool valid() const;
  // Ends the current and every later wait.
  void signal();
  // Returns once `fd` has data or its writers are gone (false) or once
  // signal() was called (true).
  bool waitReadable(int fd);

 private:
  std::intptr_t handle_;
};

}  // namespace Grabkit::Platform

#endif

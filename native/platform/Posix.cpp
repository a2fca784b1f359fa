#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/membarrier.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "Platform.h"

namespace Grabkit::Platform {

namespace {
int membarrier(int command) {
  return static_cast<int>(syscall(__NR_membarrier, command, 0));
}

// The expedited kind interrupts only the CPUs that run this process's threads
// and costs microseconds; a process has to ask for it once. Kernels before
// 4.14, and sandboxes that refuse the call, leave the fences full.
bool expeditedBarriers() {
  const int supported = membarrier(MEMBARRIER_CMD_QUERY);
  if (supported < 0 || (supported & MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0) return false;
  return membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0;
}
}  // namespace

const bool kHeavyFenceReachesAllThreads = expeditedBarriers();

void heavyFence() {
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (kHeavyFenceReachesAllThreads) membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED);
}

void setThreadExitValue(ThreadExitHook atExit, void* value) {
  // One key for the one hook the library has; made at the first use.
  static pthread_key_t key = [atExit] {
    pthread_key_t k;
    pthread_key_create(&k, atExit);
    return k;
  }();
  pthread_setspecific(key, value);
}

void* openLibrary(const std::string& path) {
  dlerror();
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* findSymbol(void* library, const char* name) {
  return dlsym(library, name);
}

bool closeLibrary(void* library) {
  return dlclose(library) == 0;
}

std::string loadError(const std::string& path) {
  const char* error = dlerror();
  std::string reason = error == nullptr ? "unknown reason" : error;
  // dlerror() starts with the path it was given; the callers name it themselves.
  if (reason.compare(0, path.size() + 2, path + ": ") == 0) reason.erase(0, path.size() + 2);
  return reason;
}

std::string realPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  std::string real = resolved != nullptr ? resolved : path;
  free(resolved);
  return real;
}

std::string modulePath(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return std::string();
  return realPath(info.dli_fname);
}

void setEnvironment(const char* name, const char* value) {
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

void* allocateAligned(size_t alignment, size_t size) {
  void* memory = nullptr;
  return posix_memalign(&memory, alignment, size) == 0 ? memory : nullptr;
}

void freeAligned(void* memory) {
  free(memory);
}

std::thread startQuietThread(std::function<void()> body) {
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  std::thread thread;
  try {
    thread = std::thread(std::move(body));
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    throw;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return thread;
}

std::string fileName(const std::string& path) {
  return path.substr(path.find_last_of("/") + 1);
}

bool makePipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  // Only the read end is non-blocking: a writer facing a full pipe should wait
  // for the reader rather than fail.
  if (fcntl(fds[0], F_SETFL, O_NONBLOCK) == 0) return true;
  close(fds[0]);
  close(fds[1]);
  return false;
}

int duplicate(int fd) {
  return fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

int duplicateTo(int from, int to) {
  int result;
  do {
    result = dup2(from, to);
  } while (result < 0 && errno == EINTR);
  return result;
}

void closeDescriptor(int fd) {
  close(fd);
}

long readAvailable(int fd, void* buffer, size_t size) {
  for (;;) {
    const ssize_t got = read(fd, buffer, size);
    if (got >= 0) return static_cast<long>(got);
    if (errno == EAGAIN) return kNothingYet;
    if (errno != EINTR) return kReadFailed;
  }
}

Wakeup::Wakeup() : handle_(eventfd(0, EFD_CLOEXEC)) {}

Wakeup::~Wakeup() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool Wakeup::valid() const {
  return handle_ >= 0;
}

void Wakeup::signal() {
  const uint64_t one = 1;
  (void)!write(static_cast<int>(handle_), &one, sizeof one);
}

bool Wakeup::waitReadable(int fd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {static_cast<int>(handle_), POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) >= 0) return fds[1].revents != 0;
    // A failed poll ends the wait as a wake-up would: the caller reads what
    // there is and stops rather than spin.
    if (errno != EINTR) return true;
  }
}

}  // namespace Grabkit::Platform

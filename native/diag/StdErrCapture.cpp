#include "StdErrCapture.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace Grabkit {

namespace {

// One running capture. While the drain thread runs, only it touches `kept`
// and `keptSize`; joining it hands them to the stopping thread.
struct Capture {
  int savedStderrFd = -1;
  int readFd = -1;
  int writeFd = -1;  // open only until descriptor 2 has taken it over
  int stopFd = -1;   // eventfd: the drain empties the pipe and ends
  std::thread drain;
  size_t keptSize = 0;
  char kept[kCaptureSize];
};

std::mutex captureMutex;
// Owned here but deliberately never destroyed at exit: a std::thread that is
// still joinable when its destructor runs ends the process.
Capture* current = nullptr;  // guarded by captureMutex

void flushStandardError() {
  std::cerr.flush();
  fflush(stderr);
}

void closeIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

void closeAll(Capture& c) {
  closeIfOpen(c.savedStderrFd);
  closeIfOpen(c.readFd);
  closeIfOpen(c.writeFd);
  closeIfOpen(c.stopFd);
}

int redirect(int from, int to) {
  int result;
  do {
    result = dup2(from, to);
  } while (result < 0 && errno == EINTR);
  return result;
}

// End of file alone cannot end the drain: a child process that inherited
// descriptor 2 keeps the write end open for as long as it lives. So the stop
// is also signalled, and then the drain takes what the pipe holds and ends.
void drainPipe(Capture& c) {
  char discarded[16384];
  pollfd fds[2] = {{c.readFd, POLLIN, 0}, {c.stopFd, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    const bool stopping = fds[1].revents != 0;
    for (;;) {
      const bool keeping = c.keptSize < kCaptureSize;
      const ssize_t got = keeping ? read(c.readFd, c.kept + c.keptSize, kCaptureSize - c.keptSize)
                                  : read(c.readFd, discarded, sizeof discarded);
      if (got > 0) {
        if (keeping) c.keptSize += static_cast<size_t>(got);
      } else if (got == 0) {
        return;
      } else if (errno == EAGAIN) {
        break;
      } else if (errno != EINTR) {
        return;
      }
    }
    if (stopping) return;
  }
}

// The drain runs with every signal blocked, so that the process's handlers
// never run on a thread the application does not know of.
bool startDrain(Capture& c) {
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  bool started = true;
  try {
    c.drain = std::thread(drainPipe, std::ref(c));
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started;
}

// Creates the pipe, the saved descriptor and the drain; descriptor 2 is left
// alone. Each new descriptor is close-on-exec so that programs started
// meanwhile inherit none but descriptor 2 itself.
bool prepare(Capture& c) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  c.readFd = pipeFds[0];
  c.writeFd = pipeFds[1];
  // Only the read end is non-blocking: the drain must find the pipe empty once
  // stopped, while a writer facing a full pipe should wait for the drain
  // rather than fail.
  if (fcntl(c.readFd, F_SETFL, O_NONBLOCK) != 0) return false;
  c.stopFd = eventfd(0, EFD_CLOEXEC);
  if (c.stopFd < 0) return false;
  c.savedStderrFd = fcntl(fileno(stderr), F_DUPFD_CLOEXEC, 0);
  return c.savedStderrFd >= 0 && startDrain(c);
}

void stopDrain(Capture& c) {
  if (!c.drain.joinable()) return;
  const uint64_t one = 1;
  (void)!write(c.stopFd, &one, sizeof one);
  c.drain.join();
}
}  // namespace

int stdErrRedirectStart() {
  std::lock_guard<std::mutex> lock(captureMutex);
  if (current != nullptr) return 0;
  std::unique_ptr<Capture> c(new (std::nothrow) Capture);
  if (!c) return -1;
  flushStandardError();
  if (!prepare(*c) || redirect(c->writeFd, fileno(stderr)) < 0) {
    stopDrain(*c);
    closeAll(*c);
    return -1;
  }
  // From here descriptor 2 is the only write end, so restoring it at stop
  // gives the drain its end of file.
  closeIfOpen(c->writeFd);
  current = c.release();
  return 0;
}

std::string stdErrRedirectStop() {
  std::lock_guard<std::mutex> lock(captureMutex);
  if (current == nullptr) return std::string();
  std::unique_ptr<Capture> c(current);
  current = nullptr;
  flushStandardError();
  redirect(c->savedStderrFd, fileno(stderr));
  stopDrain(*c);
  closeAll(*c);
  return std::string(c->kept, strnlen(c->kept, c->keptSize));
}

}  // namespace Grabkit

#include "StdErrCapture.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "../platform/Platform.h"

namespace Grabkit {

namespace {

// One running capture. While the drain thread runs, only it touches `kept`
// and `keptSize`; joining it hands them to the stopping thread.
struct Capture {
  int savedStderrFd = -1;
  int readFd = -1;
  int writeFd = -1;       // open only until descriptor 2 has taken it over
  Platform::Wakeup stop;  // the drain empties the pipe and ends
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
  if (fd >= 0) Platform::closeDescriptor(fd);
  fd = -1;
}

void closeAll(Capture& c) {
  closeIfOpen(c.savedStderrFd);
  closeIfOpen(c.readFd);
  closeIfOpen(c.writeFd);
}

// End of file alone cannot end the drain: a child process that inherited
// descriptor 2 keeps the write end open for as long as it lives. So the stop
// is also signalled, and then the drain takes what the pipe holds and ends.
void drainPipe(Capture& c) {
  char discarded[16384];
  for (;;) {
    const bool stopping = c.stop.waitReadable(c.readFd);
    for (;;) {
      const bool keeping = c.keptSize < kCaptureSize;
      const long got = keeping ? Platform::readAvailable(c.readFd, c.kept + c.keptSize,
                                                         kCaptureSize - c.keptSize)
                               : Platform::readAvailable(c.readFd, discarded, sizeof discarded);
      if (got > 0) {
        if (keeping) c.keptSize += static_cast<size_t>(got);
      } else if (got == Platform::kNothingYet) {
        break;
      } else {
        return;
      }
    }
    if (stopping) return;
  }
}

bool startDrain(Capture& c) {
  try {
    c.drain = Platform::startQuietThread([&c] { drainPipe(c); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

// Creates the pipe, the saved descriptor and the drain; descriptor 2 is left
// alone. No new descriptor is inherited by programs started meanwhile, which
// get none but descriptor 2 itself.
bool prepare(Capture& c) {
  int pipeFds[2];
  if (!Platform::makePipe(pipeFds)) return false;
  c.readFd = pipeFds[0];
  c.writeFd = pipeFds[1];
  if (!c.stop.valid()) return false;
  c.savedStderrFd = Platform::duplicate(fileno(stderr));
  return c.savedStderrFd >= 0 && startDrain(c);
}

void stopDrain(Capture& c) {
  if (!c.drain.joinable()) return;
  c.stop.signal();
  c.drain.join();
}
}  // namespace

int stdErrRedirectStart() {
  std::lock_guard<std::mutex> lock(captureMutex);
  if (current != nullptr) return 0;
  std::unique_ptr<Capture> c(new (std::nothrow) Capture);
  if (!c) return -1;
  flushStandardError();
  if (!prepare(*c) || Platform::duplicateTo(c->writeFd, fileno(stderr)) < 0) {
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
  Platform::duplicateTo(c->savedStderrFd, fileno(stderr));
  stopDrain(*c);
  closeAll(*c);
  return std::string(c->kept, strnlen(c->kept, c->keptSize));
}

}  // namespace Grabkit

#include "StdErrCapture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace Grabkit {

namespace {
int savedStderrFd = -1;
int captureReadFd = -1;
char captureBuffer[kCaptureSize];

void flushStandardError() {
  std::cerr.flush();
  fflush(stderr);
}

void closeIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}
}  // namespace

int stdErrRedirectStart() {
  if (captureReadFd >= 0) return 0;
  flushStandardError();
  const int stderrFd = fileno(stderr);
  int capturePipe[2];
  // Non-blocking on both ends: a writer that outgrows the pipe loses output
  // rather than hanging the process (nobody reads before the capture stops),
  // and the read at stop never waits, not even for a child process that
  // inherited descriptor 2.
  if (pipe2(capturePipe, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  fcntl(capturePipe[1], F_SETPIPE_SZ, static_cast<int>(kCaptureSize));
  savedStderrFd = fcntl(stderrFd, F_DUPFD_CLOEXEC, 0);
  if (savedStderrFd < 0 || dup2(capturePipe[1], stderrFd) < 0) {
    closeIfOpen(savedStderrFd);
    close(capturePipe[0]);
    close(capturePipe[1]);
    return -1;
  }
  close(capturePipe[1]);
  captureReadFd = capturePipe[0];
  return 0;
}

std::string stdErrRedirectStop() {
  if (captureReadFd < 0) return std::string();
  flushStandardError();
  dup2(savedStderrFd, fileno(stderr));
  closeIfOpen(savedStderrFd);
  size_t n = 0;
  while (n < kCaptureSize) {
    ssize_t got = read(captureReadFd, captureBuffer + n, kCaptureSize - n);
    if (got > 0) {
      n += static_cast<size_t>(got);
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  closeIfOpen(captureReadFd);
  // A write that found the pipe full set the streams' error state; without
  // clearing it std::cerr would stay silent for the rest of the process.
  clearerr(stderr);
  std::cerr.clear();
  return std::string(captureBuffer, strnlen(captureBuffer, n));
}

}  // namespace Grabkit

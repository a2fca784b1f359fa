// Capture of the process's standard error (descriptor 2) into a string, so
// that Java can read what the library and the producer print.
#ifndef GRABKIT_DIAG_STDERRCAPTURE_H
#define GRABKIT_DIAG_STDERRCAPTURE_H

#include <cstddef>
#include <string>

namespace Grabkit {

constexpr size_t kCaptureSize = 20480;

// Points standard error into a pipe. Returns 0, or -1 when a descriptor call
// failed (standard error is then left as it was). While a capture runs, a
// second start changes nothing and returns 0.
int stdErrRedirectStart();

// Points standard error back and returns the first kCaptureSize bytes written
// since the start, cut at the first NUL. Never waits: with nothing written the
// result is empty. Without a running capture it returns "".
//
// Writers never block on a full capture: the pipe is non-blocking, so what does
// not fit is dropped and the writer carries on.
std::string stdErrRedirectStop();

}  // namespace Grabkit

#endif

// Capture of the process's standard error (descriptor 2) into a string, so
// that Java can read what the library and the producer print.
#ifndef GRABKIT_DIAG_STDERRCAPTURE_H
#define GRABKIT_DIAG_STDERRCAPTURE_H

#include <cstddef>
#include <string>

namespace Grabkit {

constexpr size_t kCaptureSize = 20480;

// Start and stop may be called from any thread in any order; one capture runs
// at a time, process-wide.

// Points standard error into a pipe that a background thread drains. Returns
// 0, or -1 when a descriptor call or the thread failed (standard error is then
// left as it was). While a capture runs, a second start changes nothing and
// returns 0.
//
// Writers never fail and never wait for the stop: the drain keeps the first
// kCaptureSize bytes and throws the rest away as it arrives.
int stdErrRedirectStart();

// Points standard error back and returns the first kCaptureSize bytes written
// since the start, cut at the first NUL. Does not wait for writers that still
// hold the pipe (a child process that inherited descriptor 2, say): what they
// had written by then is kept, the rest is lost. Without a running capture it
// returns "".
std::string stdErrRedirectStop();

}  // namespace Grabkit

#endif

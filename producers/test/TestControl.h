// Control functions of the test producers, exported next to the GenTL ones.
#ifndef GRABKIT_TEST_CONTROL_H
#define GRABKIT_TEST_CONTROL_H

#include <stddef.h>
#include <stdint.h>

#include "GenTL.h"

// The selector of an answer that serves every call of its function.
#define GRABKIT_TEST_ANY INT64_MIN

extern "C" {
// Forgets scripted answers, sizes, holds, kills and the call log, and lets
// every held call go on.
GRABKIT_GENTL_EXPORT void GrabkitTest_reset();
// The code that `function` returns from now on, whatever its selector; a
// scripted output stays.
GRABKIT_GENTL_EXPORT void GrabkitTest_setResult(const char* function, GC_ERROR code);
// What `function` answers when its selector argument equals `selector` (or,
// with GRABKIT_TEST_ANY, when no answer for the exact selector exists). The
// selector is the information command, the index or the register address,
// whichever the function takes. `size` bytes of `output` are copied into the
// function's outputs in parameter order: fixed-width outputs (handles, counts,
// codes) take their width, a value area takes the rest, never more than its
// size on entry, and its size becomes the count copied. A null `output`
// writes nothing; the outputs keep what the caller preset. The code is
// returned also when output was written, so that callers can be caught using
// outputs of a failed call.
GRABKIT_GENTL_EXPORT void GrabkitTest_setAnswer(const char* function, int64_t selector,
                                                GC_ERROR code, const void* output, size_t size);
// After a value-area copy (strings, info values, GCReadPort data,
// EventGetData) `function` reports `size` as the count instead of what it
// copied, also when it copied nothing: how a producer that lies about sizes
// looks to its caller. Selectors as for GrabkitTest_setAnswer.
GRABKIT_GENTL_EXPORT void GrabkitTest_setReportedSize(const char* function, int64_t selector,
                                                      size_t size);
// Every later call of `function` blocks inside the producer, after it was
// logged and before it looks up its answer, until GrabkitTest_release or
// GrabkitTest_reset. A held EventGetData waits like one under
// GrabkitTest_setWaitForKill.
GRABKIT_GENTL_EXPORT void GrabkitTest_hold(const char* function);
// Lets every blocked call of `function` go on and stops holding it.
GRABKIT_GENTL_EXPORT void GrabkitTest_release(const char* function);
// How many calls of `function` are blocked inside the producer now.
GRABKIT_GENTL_EXPORT int GrabkitTest_entered(const char* function);
// Waits until at least `count` calls of `function` are blocked inside;
// false if that did not happen within `timeoutMs`.
GRABKIT_GENTL_EXPORT bool GrabkitTest_awaitEntered(const char* function, int count,
                                                   uint64_t timeoutMs);
// With `wait`, every EventGetData waits for its event to be killed
// (GC_ERR_ABORT), for its timeout (GC_ERR_TIMEOUT; GENTL_INFINITE never
// passes) or for a release (its scripted answer). Whatever the setting, a
// successful EventKill of an event that nobody waits on aborts the next
// EventGetData on it, once.
GRABKIT_GENTL_EXPORT void GrabkitTest_setWaitForKill(bool wait);
// The names of the calls so far, one a line. Copies at most capacity-1 bytes
// and a NUL; returns the size the whole log needs.
GRABKIT_GENTL_EXPORT size_t GrabkitTest_callLog(char* text, size_t capacity);
// The same calls with their input arguments, one a line:
// "DSGetBufferInfo(0x7f0012345678, 0x10, 20, 8)". Handles and other pointers
// in hexadecimal, numbers in decimal, strings quoted; sizes as they were on
// entry; output pointers are left out.
GRABKIT_GENTL_EXPORT size_t GrabkitTest_argumentLog(char* text, size_t capacity);
}

#endif

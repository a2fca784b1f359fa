// Control functions of the test producers, exported next to the GenTL ones.
#ifndef GRABKIT_TEST_CONTROL_H
#define GRABKIT_TEST_CONTROL_H

#include <stddef.h>

#include "GenTL.h"

extern "C" {
// Forgets scripted results and the call log.
GRABKIT_GENTL_EXPORT void GrabkitTest_reset();
// The code that `function` returns from now on.
GRABKIT_GENTL_EXPORT void GrabkitTest_setResult(const char* function, GC_ERROR code);
// The names of the calls so far, one a line. Copies at most capacity-1 bytes
// and a NUL; returns the size the whole log needs.
GRABKIT_GENTL_EXPORT size_t GrabkitTest_callLog(char* text, size_t capacity);
}

#endif

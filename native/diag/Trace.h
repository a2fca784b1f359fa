// Trace lines on standard error, switched from Java.
#ifndef GRABKIT_DIAG_TRACE_H
#define GRABKIT_DIAG_TRACE_H

#include <atomic>

namespace Grabkit {

// Atomic so that switching from one Java thread is seen by the others without
// a data race; relaxed order is enough for a diagnostic switch.
extern std::atomic<bool> tracingEnabled;

inline void enableTracing(bool on) {
  tracingEnabled.store(on, std::memory_order_relaxed);
}

// printf-style; costs one flag test when tracing is off. Texts longer than
// 511 characters are cut there.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace Grabkit

#endif

#include "Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace Grabkit {

std::atomic<bool> tracingEnabled{false};

void trace(const char* format, ...) {
  if (!tracingEnabled.load(std::memory_order_relaxed)) return;
  char line[512 + 1];  // 511 characters, the line end, the NUL
  va_list args;
  va_start(args, format);
  int n = vsnprintf(line, 512, format, args);
  va_end(args);
  if (n < 0) return;
  size_t length = strlen(line);
  line[length] = '\n';
  // One write keeps the line and its end together when threads trace at once.
  fwrite(line, 1, length + 1, stderr);
}

}  // namespace Grabkit

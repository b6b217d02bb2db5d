#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/tracesink.h"

namespace tw {

bool TraceEnabled() {
  static const bool enabled = std::getenv("TIDEWELL_TRACE") != nullptr;
  return enabled;
}

void Trace(const char* fmt, ...) {
  if (!TraceWanted()) {
    return;
  }
  char line[1024];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(line, sizeof line, fmt, args);
  va_end(args);
  WriteTrace(line);
}

}  // namespace tw

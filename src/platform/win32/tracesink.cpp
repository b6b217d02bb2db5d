#include "platform/tracesink.h"

#include <windows.h>

#include <cstdio>

#include "platform/trace.h"

namespace tw {

bool TraceWanted() {
  return true;
}

// The debugger's output channel always (as the upgrader's traces went),
// stderr as well when TIDEWELL_TRACE is set.
void WriteTrace(const char* line) {
  OutputDebugStringA(line);
  if (TraceEnabled()) {
    std::fputs(line, stderr);
  }
}

}  // namespace tw

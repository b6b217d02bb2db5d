#include "platform/tracesink.h"

#include <cstdio>

#include "platform/trace.h"

namespace tw {

bool TraceWanted() {
  return TraceEnabled();
}

void WriteTrace(const char* line) {
  std::fputs(line, stderr);
}

}  // namespace tw

// The debug trace: lines that never reach the window. They go to stderr
// when the environment variable TIDEWELL_TRACE is set; on Windows they also
// go to the debugger's output channel (OutputDebugString).
#pragma once

namespace tw {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Trace(const char* fmt, ...);

// Whether TIDEWELL_TRACE is set.
bool TraceEnabled();

}  // namespace tw

// The debug trace: lines that never reach the window. They go to stderr
// when the environment variable TIDEWELL_TRACE is set; on Windows they also
// go to the debugger's output channel (OutputDebugString).
#pragma once

namespace tw {

// MinGW's C runtime printf lacks %zu; the trace formats with the GNU one.
#if defined(__MINGW32__)
__attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Trace(const char* fmt, ...);

// Whether TIDEWELL_TRACE is set.
bool TraceEnabled();

}  // namespace tw

// Where the debug trace goes on this platform: stderr when TIDEWELL_TRACE is
// set; on Windows also the debugger's output channel, always.
#pragma once

namespace tw {

// Whether a trace line goes anywhere (formatting it is skipped otherwise).
bool TraceWanted();
// Writes one formatted trace line.
void WriteTrace(const char* line);

}  // namespace tw

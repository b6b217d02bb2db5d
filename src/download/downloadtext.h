// Formatting of the downloader's log lines and progress texts: printf-style
// into a 256-byte buffer, and the stages' percentages.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>

#include "platform/wintypes.h"

namespace tw {

// Size of the buffer a log line or progress text is formatted into.
inline constexpr std::size_t kTextBufferSize = 256;

// Formats into kTextBufferSize bytes. An over-long result is truncated to
// 255 characters; when the format ended with "\r\n", the truncated text keeps
// that line end, so the next log line still starts on a line of its own.
std::string FormatTextV(const char* fmt, va_list args);
[[gnu::format(printf, 1, 2)]] std::string FormatText(const char* fmt, ...);

// trunc(done / total * 100.0), the division first, in double precision.
// An empty image counts as complete: 100.
int Percent(double done, double total);

// The workers' start delay for a slot: 800 ms for slot 0, 50 ms less for each
// higher slot.
DWORD StartDelayMs(int nIndex);

}  // namespace tw

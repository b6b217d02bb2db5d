#include "download/downloadtext.h"

#include <cstdio>
#include <cstring>

namespace tw {

std::string FormatTextV(const char* fmt, va_list args) {
  char text[kTextBufferSize];
  const int wanted = std::vsnprintf(text, sizeof text, fmt, args);
  if (wanted < 0) return {};
  std::string result(text);
  const std::size_t fmtLength = std::strlen(fmt);
  const bool truncated = static_cast<std::size_t>(wanted) >= sizeof text;
  const bool endsLine = fmtLength >= 2 && std::strcmp(fmt + fmtLength - 2, "\r\n") == 0;
  if (truncated && endsLine) result.replace(result.size() - 2, 2, "\r\n");
  return result;
}

std::string FormatText(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string result = FormatTextV(fmt, args);
  va_end(args);
  return result;
}

int Percent(double done, double total) {
  if (total <= 0.0) return 100;
  return static_cast<int>(done / total * 100.0);
}

DWORD StartDelayMs(int nIndex) {
  const int slot = nIndex < 0 ? 0 : (nIndex > 7 ? 7 : nIndex);
  return static_cast<DWORD>(800 - 50 * slot);
}

}  // namespace tw

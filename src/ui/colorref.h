// Colours as 0x00BBGGRR values, the form the window's colour settings use.
#pragma once
#include <QColor>

#include "platform/wintypes.h"

namespace tw {

using COLORREF = DWORD;

inline constexpr COLORREF RGB(int r, int g, int b) {
  return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

inline QColor ToQColor(COLORREF c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

inline COLORREF FromQColor(const QColor& c) {
  return RGB(c.red(), c.green(), c.blue());
}

}  // namespace tw

// Where the drawn caption puts its icon, strip and buttons, in window
// coordinates (origin at the window's top-left corner, right and bottom
// edges exclusive).
#pragma once
#include <QPoint>
#include <QRect>
#include <QSize>

namespace tw {

// The frame metrics of the drawn window, standing for the platform's system
// metrics of a classic dialog frame at 96 dpi.
inline constexpr int kCaptionEdge = 2;     // SM_CYEDGE, used for both axes (and SM_CXEDGE)
inline constexpr int kCaptionHeight = 19;  // SM_CYCAPTION

struct WinRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  bool Contains(QPoint pt) const {
    return pt.x() >= left && pt.x() < right && pt.y() >= top && pt.y() < bottom;
  }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  WinRect Offset(int dx, int dy) const { return WinRect{left + dx, top + dy, right + dx, bottom + dy}; }
  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
  friend bool operator==(const WinRect&, const WinRect&) = default;
};

struct CaptionGeometry {
  int bandBottom = 0;  // b = c + e: the band covers rows e to b - 1
  WinRect close;
  WinRect minimize;  // empty while the minimise button is hidden
  WinRect icon;
  int stripRight = 0;  // the strip covers columns e + 1 to stripRight - 1
};

// The caption's layout for a window `windowWidth` pixels wide with glyphs
// and icon of the given sizes.
CaptionGeometry ComputeCaptionGeometry(int windowWidth, QSize closeGlyph, QSize minimizeGlyph, QSize icon,
                                       bool showMinimize);

// e + (c - 3 - h) / 2 + 1: the top of a box of height h (glyph, icon or
// title text) centred in the band. The division truncates toward zero, so a
// box taller than c - 3 starts higher.
int CaptionCentredTop(int height);

// Where the client area begins in window coordinates.
inline QPoint CaptionClientOrigin() {
  return QPoint(kCaptionEdge, kCaptionHeight + kCaptionEdge + 1);
}

}  // namespace tw

#include "ui/captiongeometry.h"

namespace tw {

int CaptionCentredTop(int height) {
  return kCaptionEdge + (kCaptionHeight - 3 - height) / 2 + 1;
}

CaptionGeometry ComputeCaptionGeometry(int windowWidth, QSize closeGlyph, QSize minimizeGlyph, QSize icon,
                                       bool showMinimize) {
  const int e = kCaptionEdge;
  const int W = windowWidth;
  const int w = closeGlyph.width();
  const int h = closeGlyph.height();
  CaptionGeometry g;
  g.bandBottom = kCaptionHeight + e;
  // Close button: 6 pixels in from the right edge, centred in the band.
  const int t = CaptionCentredTop(h);
  g.close = WinRect{W - w - 6, t, W - 6, t + h};
  // Minimise button: 3 pixels left of close, bottom-aligned with it.
  if (showMinimize) {
    const int w2 = minimizeGlyph.width();
    const int h2 = minimizeGlyph.height();
    g.minimize = WinRect{W - w2 - w - 9, g.close.bottom - h2, W - w - 9, g.close.bottom};
    g.stripRight = W - e - w - w2 - 13;
  } else {
    g.stripRight = W - e - w - 10;
  }
  const int iconTop = CaptionCentredTop(icon.height());
  g.icon = WinRect{e + 6, iconTop, e + 6 + icon.width(), iconTop + icon.height()};
  return g;
}

}  // namespace tw

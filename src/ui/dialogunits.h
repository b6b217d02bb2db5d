// Dialog units to pixels, the way dialog templates are laid out: the
// horizontal base unit is the font's average character width, the vertical
// one its height. A horizontal unit is a quarter, a vertical one an eighth
// of its base unit.
#pragma once
#include <QFont>
#include <QRect>

namespace tw {

struct DialogBaseUnits {
  int cx = 0;  // average character width in pixels
  int cy = 0;  // character height in pixels
};

// Base units of a font: cx = (extent of "A..Za..z" + 26) / 52, cy = height.
DialogBaseUnits BaseUnitsOf(const QFont& font);

// a * b / c in 64 bits, rounded half away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);

// A rectangle in dialog units (x, y, width, height) converted to pixels.
QRect MapDialogRect(const QRect& units, DialogBaseUnits base);

// The dialogs' font: "Arial" 9 point, resolved to the metric-compatible
// Liberation Sans where Arial is missing, with a Hangul fallback.
QFont DialogFont();

}  // namespace tw

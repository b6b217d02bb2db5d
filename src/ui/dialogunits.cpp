#include "ui/dialogunits.h"

#include <QFontMetrics>
#include <QStringList>
#include <cstdint>

namespace tw {

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int extent =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogBaseUnits{(extent + 26) / 52, metrics.height()};
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t magnitude = (product < 0 ? -product : product);
  const std::int64_t divisor = (c < 0 ? -static_cast<std::int64_t>(c) : c);
  const std::int64_t rounded = (magnitude + divisor / 2) / divisor;
  const bool negative = (product < 0) != (c < 0);
  return static_cast<int>(negative ? -rounded : rounded);
}

QRect MapDialogRect(const QRect& units, DialogBaseUnits base) {
  return QRect(MulDiv(units.x(), base.cx, 4), MulDiv(units.y(), base.cy, 8),
               MulDiv(units.width(), base.cx, 4), MulDiv(units.height(), base.cy, 8));
}

QFont DialogFont() {
  QFont font;
  font.setFamilies(
      QStringList{QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("NanumGothic")});
  font.setPointSize(9);
  return font;
}

}  // namespace tw

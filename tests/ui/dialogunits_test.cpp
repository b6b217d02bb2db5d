#include "ui/dialogunits.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <climits>

namespace tw {
namespace {

TEST(DialogUnits, MulDivRoundsHalfAwayFromZero) {
  struct Case {
    int a, b, c, result;
  } cases[] = {
      {181, 6, 4, 272},                         // 271.5
      {181, 7, 4, 317},                         // 316.75
      {15, 15, 8, 28},                          // 28.125
      {-181, 6, 4, -272},       {5, 3, 2, 8},   // 7.5
      {INT_MAX, 2, 2, INT_MAX}, {1, 1, 0, -1},  // no divisor
  };
  for (const Case& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.result) << c.a << "*" << c.b << "/" << c.c;
}

TEST(DialogUnits, RectanglesScaleByQuarterAndEighthBaseUnits) {
  const DialogBaseUnits base{6, 15};
  EXPECT_EQ(MapDialogRect(QRect(3, 2, 181, 15), base), QRect(5, 4, 272, 28));
  EXPECT_EQ(MapDialogRect(QRect(0, 0, 227, 148), base), QRect(0, 0, 341, 278));
}

// "Arial" resolves to the metric-compatible Liberation Sans, and the base
// units come from its alphabet's extent and its height.
TEST(DialogUnits, DialogFontResolvesToAMetricCompatibleArial) {
  const QFont font = DialogFont();
  EXPECT_EQ(font.pointSize(), 9);
  const QString family = QFontInfo(font).family();
  EXPECT_TRUE(family == QStringLiteral("Arial") || family == QStringLiteral("Liberation Sans"))
      << family.toStdString();
  const DialogBaseUnits base = BaseUnitsOf(font);
  const QFontMetrics metrics(font);
  EXPECT_EQ(base.cy, metrics.height());
  const int extent =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  EXPECT_EQ(base.cx, (extent + 26) / 52);
  EXPECT_GE(base.cx, 5);
  EXPECT_LE(base.cx, 8);
}

// Hangul texts have glyphs in the dialog font's fallback.
TEST(DialogUnits, HangulTextsHaveGlyphs) {
  const QFontMetrics metrics(DialogFont());
  for (const char32_t ch : {U'정', U'보', U'확', U'인'})
    EXPECT_TRUE(metrics.inFontUcs4(ch)) << static_cast<unsigned>(ch);
}

}  // namespace
}  // namespace tw

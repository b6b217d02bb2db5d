#include "ui/artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "ui/colorref.h"

namespace tw {

namespace {

constexpr COLORREF kGlyphBack = RGB(49, 49, 189);   // the caption colour the glyphs sit on
constexpr COLORREF kGlyphInk = RGB(230, 255, 230);  // a pale green, close to the title's
constexpr COLORREF kDeepSea = RGB(16, 40, 110);
constexpr COLORREF kShallow = RGB(40, 120, 200);
constexpr COLORREF kFoam = RGB(235, 250, 255);
constexpr COLORREF kKelp = RGB(100, 255, 100);

QImage Blank(int w, int h, COLORREF fill) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(ToQColor(fill));
  return image;
}

// One wave line across a rectangle, at a fraction of its height.
QPainterPath Wave(const QRectF& r, double level, double amplitude) {
  QPainterPath path;
  const double y = r.top() + r.height() * level;
  const double step = r.width() / 4.0;
  path.moveTo(r.left(), y);
  for (int i = 0; i < 4; ++i) {
    const double x = r.left() + step * i;
    path.cubicTo(x + step * 0.35, y - amplitude, x + step * 0.65, y + amplitude, x + step, y);
  }
  return path;
}

// The emblem: a round sea with two waves and a tide mark.
void DrawEmblem(QPainter& painter, const QRectF& r) {
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sea(r.topLeft(), r.bottomLeft());
  sea.setColorAt(0.0, ToQColor(kShallow));
  sea.setColorAt(1.0, ToQColor(kDeepSea));
  painter.setPen(Qt::NoPen);
  painter.setBrush(sea);
  painter.drawEllipse(r);
  painter.setClipRegion(QRegion(r.toAlignedRect(), QRegion::Ellipse));
  const double pen = std::max(1.0, r.width() / 12.0);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(ToQColor(kFoam), pen, Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(Wave(r, 0.48, r.height() * 0.09));
  painter.setPen(QPen(ToQColor(kKelp), pen, Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(Wave(r, 0.70, r.height() * 0.07));
  painter.setClipping(false);
  painter.setPen(QPen(ToQColor(kFoam), std::max(1.0, pen / 2)));
  painter.drawEllipse(r.adjusted(pen / 4, pen / 4, -pen / 4, -pen / 4));
}

}  // namespace

QImage CloseGlyph() {
  QImage image = Blank(10, 10, kGlyphBack);
  QPainter painter(&image);
  painter.setPen(QPen(ToQColor(kGlyphInk), 2, Qt::SolidLine, Qt::FlatCap));
  painter.drawLine(QPointF(1.5, 1.5), QPointF(8.5, 8.5));
  painter.drawLine(QPointF(8.5, 1.5), QPointF(1.5, 8.5));
  return image;
}

QImage MinimizeGlyph() {
  QImage image = Blank(10, 5, kGlyphBack);
  QPainter painter(&image);
  painter.fillRect(QRect(1, 2, 8, 2), ToQColor(kGlyphInk));
  return image;
}

QImage CaptionIcon() {
  QImage image(21, 21, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  DrawEmblem(painter, QRectF(0.5, 0.5, 20, 20));
  return image;
}

QImage AppIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  DrawEmblem(painter, QRectF(0.5, 0.5, size - 1, size - 1));
  return image;
}

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {16, 32, 48}) {
    icon.addPixmap(QPixmap::fromImage(AppIconImage(size)));
  }
  return icon;
}

QImage AboutPicture() {
  QImage image(240, 320, QImage::Format_RGB888);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // Sky over sea.
  QLinearGradient sky(0, 0, 0, 320);
  sky.setColorAt(0.0, QColor(200, 230, 250));
  sky.setColorAt(0.45, QColor(120, 180, 230));
  sky.setColorAt(1.0, ToQColor(kDeepSea));
  painter.fillRect(image.rect(), sky);
  // Three bands of waves, darker toward the bottom.
  const QRectF sea(-20, 150, 280, 170);
  const QColor bands[] = {QColor(60, 140, 210), QColor(40, 100, 180), QColor(20, 60, 140)};
  for (int i = 0; i < 3; ++i) {
    QPainterPath fill = Wave(sea, 0.1 + 0.25 * i, 9.0 - i * 2);
    fill.lineTo(sea.right(), 320);
    fill.lineTo(sea.left(), 320);
    fill.closeSubpath();
    painter.setPen(QPen(ToQColor(kFoam), 2));
    painter.setBrush(bands[i]);
    painter.drawPath(fill);
  }
  // The emblem as a rising sun, and the name.
  DrawEmblem(painter, QRectF(70, 40, 100, 100));
  QFont font;
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("NanumGothic")});
  font.setPixelSize(28);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(ToQColor(kFoam));
  painter.drawText(QRect(0, 236, 240, 40), Qt::AlignCenter, QStringLiteral("Tidewell"));
  font.setPixelSize(12);
  font.setBold(false);
  painter.setFont(font);
  painter.drawText(QRect(0, 272, 240, 20), Qt::AlignCenter, QStringLiteral("KORV-352 firmware upgrader"));
  return image;
}

}  // namespace tw

// The window's pictures, drawn in code: the caption's glyphs and icon, the
// application icon and the About picture.
#pragma once
#include <QIcon>
#include <QImage>

namespace tw {

QImage CloseGlyph();            // 10 x 10, on the caption colour
QImage MinimizeGlyph();         // 10 x 5, on the caption colour
QImage CaptionIcon();           // 21 x 21
QIcon AppIcon();                // 16, 32 and 48 pixels
QImage AppIconImage(int size);  // the application icon, size x size, with alpha
QImage AboutPicture();          // 240 x 320, 24-bit

}  // namespace tw

#include "ui/textprogressctrl.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <climits>
#include <cstring>
#include <string>

#include "uitest.h"

namespace tw {
namespace {

constexpr COLORREF kBar = RGB(0, 0, 255);
constexpr COLORREF kBack = RGB(255, 255, 255);
constexpr COLORREF kTextOverBar = RGB(255, 0, 0);
constexpr COLORREF kTextOverBack = RGB(0, 160, 0);
constexpr int kWidth = 200;
constexpr int kHeight = 24;

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

// Which pixels of a strip of the image are text: those in a text colour.
// Everything else must be the fill expected there.
struct Strip {
  int textPixels = 0;
  int strayPixels = 0;  // neither the fill nor the text colour
};

Strip ReadStrip(const QImage& image, int x0, int x1, COLORREF fill, COLORREF text) {
  Strip strip;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = x0; x < x1; ++x) {
      const COLORREF pixel = test::PixelAt(image, x, y);
      if (pixel == text) {
        ++strip.textPixels;
      } else if (pixel != fill) {
        ++strip.strayPixels;
      }
    }
  }
  return strip;
}

class TextProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Without antialiasing every text pixel is exactly a text colour.
    QFont font = ctrl.font();
    font.setStyleStrategy(QFont::NoAntialias);
    font.setPixelSize(14);
    ctrl.setFont(font);
    ctrl.resize(kWidth, kHeight);
    ctrl.SetFillColour(kBar);
    ctrl.SetBackgroundColour(kBack);
    ctrl.SetTextColourOverBar(kTextOverBar);
    ctrl.SetTextColourOverBackground(kTextOverBack);
    test::ShowAndExpose(ctrl);
    ctrl.installEventFilter(&paints);
  }

  // The text pixels the control should show for `text`: drawn alone,
  // centred on the control the same way.
  QImage Expected(const QString& text) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(ctrl.font());
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
    return image;
  }

  // Whether the control's text pixels are exactly those of `text`.
  void ExpectText(const QImage& shown, const QString& text) {
    const QImage expected = Expected(text);
    int differences = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const COLORREF pixel = test::PixelAt(shown, x, y);
        const bool isText = pixel == kTextOverBar || pixel == kTextOverBack;
        const bool wantText = test::PixelAt(expected, x, y) == RGB(0, 0, 0);
        if (isText != wantText) ++differences;
      }
    }
    EXPECT_EQ(differences, 0) << "text differs from \"" << text.toStdString() << "\"";
  }

  CTextProgressCtrl ctrl;
  PaintCounter paints;
};

struct BarCase {
  int lower, upper, pos;
  const char* caption;  // null: none
  const char* text;     // what the bar shows
  int barPixels;        // pixels of the bar's colour along a row
};

class BarCases : public TextProgressTest, public ::testing::WithParamInterface<BarCase> {};

// The bar's length and the text for positions in and outside the range:
// the percentage truncates, and nothing is clamped.
TEST_P(BarCases, PaintsBarAndTextInTheirColours) {
  const BarCase& c = GetParam();
  ctrl.SetRange(c.lower, c.upper);
  if (c.caption != nullptr) ctrl.SetWindowText(c.caption);
  ctrl.SetPos(c.pos);
  const QImage shown = test::Grab(ctrl);

  const int split = c.barPixels;
  const Strip bar = ReadStrip(shown, 0, split, kBar, kTextOverBar);
  const Strip back = ReadStrip(shown, split, kWidth, kBack, kTextOverBack);
  EXPECT_EQ(bar.strayPixels, 0) << "left of " << split << " only the bar and its text colour";
  EXPECT_EQ(back.strayPixels, 0) << "from " << split << " only the background and its text colour";
  ExpectText(shown, QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Positions, BarCases,
    ::testing::Values(BarCase{0, 100, 50, nullptr, "50%", 100},    // half: pixels 0 to 99
                      BarCase{0, 3, 1, nullptr, "33%", 66},        // truncated, not rounded
                      BarCase{0, 100, 150, nullptr, "150%", 200},  // above: the whole control
                      BarCase{0, 100, -20, nullptr, "-20%", 0},    // below: no bar
                      BarCase{-50, 50, 0, nullptr, "50%", 100},    // a range that starts below 0
                      BarCase{0, 100, 30, "Eboot image complete.", "Eboot image complete.", 60},
                      BarCase{0, 100, 100, "Eboot downloading : 100 %", "Eboot downloading : 100 %", 200}));

// Over the bar the text takes the over-bar colour, right of it the other one.
TEST_F(TextProgressTest, TextChangesColourWhereTheBarEnds) {
  ctrl.SetRange(0, 100);
  ctrl.SetPos(50);
  const QImage shown = test::Grab(ctrl);
  EXPECT_GT(ReadStrip(shown, 0, 100, kBar, kTextOverBar).textPixels, 0);
  EXPECT_GT(ReadStrip(shown, 100, kWidth, kBack, kTextOverBack).textPixels, 0);
  EXPECT_EQ(ReadStrip(shown, 0, 100, kBar, kTextOverBack).textPixels, 0);
  EXPECT_EQ(ReadStrip(shown, 100, kWidth, kBack, kTextOverBar).textPixels, 0);
}

TEST_F(TextProgressTest, CaptionReplacesPercentageUntilClearedByEmptyOrNull) {
  ctrl.SetPos(40);
  ctrl.SetWindowText("PDA downloading : 040 %");
  ExpectText(test::Grab(ctrl), QStringLiteral("PDA downloading : 040 %"));
  ctrl.SetWindowText("");
  ExpectText(test::Grab(ctrl), QStringLiteral("40%"));
  ctrl.SetWindowText("again");
  ctrl.SetWindowText(nullptr);
  ExpectText(test::Grab(ctrl), QStringLiteral("40%"));
}

TEST_F(TextProgressTest, WithTextHiddenOnlyTheFillsAreDrawn) {
  ctrl.SetWindowText("hidden caption");
  ctrl.SetPos(50);
  ctrl.SetTextVisible(FALSE);
  const QImage shown = test::Grab(ctrl);
  EXPECT_EQ(ReadStrip(shown, 0, 100, kBar, kBar).strayPixels, 0);
  EXPECT_EQ(ReadStrip(shown, 100, kWidth, kBack, kBack).strayPixels, 0);
}

TEST_F(TextProgressTest, AnEmptyRangeShowsOnlyTheBackground) {
  ctrl.SetRange(10, 10);
  EXPECT_EQ(ctrl.SetPos(10), 0);
  ctrl.SetRange(20, 10);
  ctrl.SetPos(15);
  EXPECT_EQ(ReadStrip(test::Grab(ctrl), 0, kWidth, kBack, kBack).strayPixels, 0);
}

// Extreme positions and steps stay defined: the bar fills or empties, the
// position saturates at the int limits instead of overflowing.
TEST_F(TextProgressTest, ExtremePositionsAreSafe) {
  ctrl.SetRange(0, 1);
  ctrl.SetPos(INT_MAX);
  EXPECT_EQ(ctrl.BarWidth(), INT_MAX);
  EXPECT_EQ(ReadStrip(test::Grab(ctrl), 0, kWidth, kBar, kTextOverBar).strayPixels, 0);
  ctrl.SetStep(INT_MAX);
  ctrl.StepIt();
  EXPECT_EQ(ctrl.GetPos(), INT_MAX);
  ctrl.SetRange(INT_MIN, INT_MAX);
  ctrl.SetPos(INT_MIN);
  ctrl.OffsetPos(INT_MIN);
  EXPECT_EQ(ctrl.GetPos(), INT_MIN);
  EXPECT_EQ(ctrl.BarWidth(), 0);
}

// SetPos repaints at once when the bar's pixel width changes, and only then.
TEST_F(TextProgressTest, SetPosRepaintsOnlyWhenTheBarWidthChanges) {
  ctrl.SetRange(0, 1000);
  ctrl.SetPos(500);
  paints.count = 0;
  EXPECT_EQ(ctrl.SetPos(502), 500);  // 100.4 pixels: still 100
  EXPECT_EQ(paints.count, 0);
  EXPECT_EQ(ctrl.SetPos(505), 502);  // 101 pixels: repainted before SetPos returns
  EXPECT_EQ(paints.count, 1);
  EXPECT_EQ(ctrl.BarWidth(), 101);
  // A resize forgets the width, so the same position redraws.
  ctrl.resize(kWidth, kHeight + 2);
  EXPECT_EQ(ctrl.BarWidth(), -1);
  paints.count = 0;
  ctrl.SetPos(505);
  EXPECT_EQ(paints.count, 1);
}

TEST_F(TextProgressTest, TheSameCaptionTwiceDoesNotRepaint) {
  ctrl.SetWindowText("Eboot image complete.");
  QCoreApplication::processEvents();
  paints.count = 0;
  ctrl.SetWindowText("Eboot image complete.");
  QCoreApplication::processEvents();
  EXPECT_EQ(paints.count, 0);
  ctrl.SetWindowText("PDA image complete.");
  QCoreApplication::processEvents();
  EXPECT_EQ(paints.count, 1);
}

TEST_F(TextProgressTest, StepsAndOffsetsReturnThePreviousPosition) {
  EXPECT_EQ(ctrl.SetStep(10), 1);
  EXPECT_EQ(ctrl.StepIt(), 0);
  EXPECT_EQ(ctrl.OffsetPos(-3), 10);
  EXPECT_EQ(ctrl.GetPos(), 7);
  EXPECT_EQ(ctrl.SetStep(1), 10);
}

struct TextQuery {
  const char* caption;
  int size;
  const char* copied;
  int count;
};

// The window-text query: at most size - 1 characters, always terminated,
// the count copied returned; nothing written for a size below 1.
TEST_F(TextProgressTest, WindowTextQueryFollowsThePlatformContract) {
  const TextQuery cases[] = {
      {"Eboot", 64, "Eboot", 5}, {"Eboot", 6, "Eboot", 5}, {"Eboot", 5, "Eboo", 4},
      {"Eboot", 1, "", 0},       {"", 8, "", 0},
  };
  for (const TextQuery& c : cases) {
    ctrl.SetWindowText(c.caption);
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(ctrl.GetWindowText(buffer, c.size), c.count) << c.caption << " into " << c.size;
    EXPECT_STREQ(buffer, c.copied);
    EXPECT_EQ(buffer[c.count + 1], '#') << "wrote past the terminator";
  }
  char untouched = '#';
  EXPECT_EQ(ctrl.GetWindowText(&untouched, 0), 0);
  EXPECT_EQ(untouched, '#');
  EXPECT_EQ(ctrl.GetWindowText(nullptr, 10), 0);
}

}  // namespace
}  // namespace tw

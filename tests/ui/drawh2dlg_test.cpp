#include "ui/drawh2dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <functional>

#include "ui/artwork.h"
#include "uitest.h"

namespace tw {
namespace {

constexpr COLORREF kCaptionColour = RGB(49, 49, 189);
constexpr COLORREF kOutlineColour = RGB(0, 50, 0);
constexpr COLORREF kStripColour = RGB(0, 4, 0);

struct GeometryCase {
  int width;
  bool showMinimize;
  WinRect close, minimize, icon;
  int stripRight;
};

// The caption's rectangles for the project's glyphs (close 10 x 10,
// minimise 10 x 5, icon 21 x 21) with e = 2 and c = 19.
TEST(CaptionGeometry, RectanglesFollowTheWindowWidth) {
  const GeometryCase cases[] = {
      {300, true, {284, 6, 294, 16}, {271, 11, 281, 16}, {8, 1, 29, 22}, 265},
      {300, false, {284, 6, 294, 16}, {}, {8, 1, 29, 22}, 278},
      {412, true, {396, 6, 406, 16}, {383, 11, 393, 16}, {8, 1, 29, 22}, 377},
  };
  for (const GeometryCase& c : cases) {
    const CaptionGeometry g =
        ComputeCaptionGeometry(c.width, QSize(10, 10), QSize(10, 5), QSize(21, 21), c.showMinimize);
    EXPECT_EQ(g.close, c.close) << c.width;
    EXPECT_EQ(g.minimize, c.minimize) << c.width;
    EXPECT_EQ(g.icon, c.icon) << c.width;
    EXPECT_EQ(g.stripRight, c.stripRight) << c.width;
    EXPECT_EQ(g.bandBottom, 21);
  }
  // A box taller than the band starts higher: the division truncates toward zero.
  EXPECT_EQ(CaptionCentredTop(21), 1);
  EXPECT_EQ(CaptionCentredTop(13), 4);
}

// A dialog with the drawn caption that counts how it ends.
class CaptionDlg : public CDrawH2Dlg {
 public:
  CaptionDlg() : CDrawH2Dlg(1) {
    setWindowTitle(QStringLiteral("Caption test"));
    SetClientSize(QSize(300, 120));
  }
  int okCount = 0;

 protected:
  BOOL OnInitDialog() override {
    CDrawH2Dlg::OnInitDialog();
    ShowMinimizeButton(TRUE);
    return TRUE;
  }
  void OnOK() override {
    ++okCount;
    CDrawH2Dlg::OnOK();
  }
};

QPoint Centre(const WinRect& r) {
  return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// Whether the image shows the glyph with its top-left corner at (x, y).
bool ShowsGlyph(const QImage& shown, const QImage& glyph, int x, int y) {
  for (int gy = 0; gy < glyph.height(); ++gy) {
    for (int gx = 0; gx < glyph.width(); ++gx) {
      if (test::PixelAt(shown, x + gx, y + gy) != test::PixelAt(glyph, gx, gy)) return false;
    }
  }
  return true;
}

class CaptionTest : public ::testing::Test {
 protected:
  // What a right click delivers: the context menu request.
  void RightClick(QPoint pt) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, pt, dlg.mapToGlobal(pt));
    QApplication::sendEvent(&dlg, &event);
  }

  CaptionDlg dlg;
};

TEST_F(CaptionTest, ButtonsSitWhereTheGeometrySays) {
  test::ShowAndExpose(dlg);
  const CaptionGeometry g =
      ComputeCaptionGeometry(dlg.width(), QSize(10, 10), QSize(10, 5), QSize(21, 21), true);
  EXPECT_EQ(dlg.CloseRect(), g.close);
  EXPECT_EQ(dlg.MinimizeRect(), g.minimize);
  EXPECT_EQ(dlg.IconRect(), g.icon);
  const QImage shown = test::Grab(dlg);
  EXPECT_TRUE(ShowsGlyph(shown, CloseGlyph(), g.close.left, g.close.top));
  EXPECT_TRUE(ShowsGlyph(shown, MinimizeGlyph(), g.minimize.left, g.minimize.top));
}

struct PixelCase {
  const char* where;
  int x, y;  // negative x counts from the right edge
  COLORREF colour;
};

TEST_F(CaptionTest, PaintsBandOutlineAndStripInTheirColours) {
  test::ShowAndExpose(dlg);
  const QImage shown = test::Grab(dlg);
  const int W = dlg.width();
  const PixelCase cases[] = {
      {"outline, top-left", 1, 1, kOutlineColour},
      {"outline, left edge at the band's bottom row", 1, 20, kOutlineColour},
      {"outline, top edge near the right", -3, 1, kOutlineColour},
      {"band, top row at the right", -3, 2, kCaptionColour},
      {"band, bottom row at the right", -3, 20, kCaptionColour},
      {"band, between minimise and close", -17, 12, kCaptionColour},
      {"band, row below the strip", 3, 19, kCaptionColour},
      {"strip, left of the icon", 4, 3, kStripColour},
      {"strip, its last column and row", -36, 18, kStripColour},
      {"band, right of the strip", -35, 10, kCaptionColour},
  };
  for (const PixelCase& c : cases) {
    const int x = c.x < 0 ? W + c.x : c.x;
    EXPECT_EQ(test::PixelAt(shown, x, c.y), c.colour) << c.where << " (" << x << ", " << c.y << ")";
  }
}

TEST_F(CaptionTest, PressReleaseOnCloseEndsTheDialogAsOk) {
  const test::ModalRun run = test::RunModal(dlg, [this] {
    const QPoint close = Centre(dlg.CloseRect());
    QTest::mousePress(&dlg, Qt::LeftButton, {}, close);
    // Held down: the rectangle in the caption colour, the glyph 2 right and 2 down.
    const QImage pushed = test::Grab(dlg);
    const WinRect r = dlg.CloseRect();
    EXPECT_EQ(test::PixelAt(pushed, r.left, r.top), kCaptionColour);
    EXPECT_TRUE(ShowsGlyph(pushed, CloseGlyph(), r.left + 2, r.top + 2));
    QTest::mouseRelease(&dlg, Qt::LeftButton, {}, close);
  });
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(run.result, CDialog::IDOK);
  EXPECT_EQ(dlg.okCount, 1);
  EXPECT_FALSE(dlg.IsButtonPressed());
}

// Leaving the button cancels the press; coming back and releasing does nothing.
TEST_F(CaptionTest, PressLeaveReturnReleaseOnCloseDoesNothing) {
  const test::ModalRun run = test::RunModal(dlg, [this] {
    const WinRect r = dlg.CloseRect();
    QTest::mousePress(&dlg, Qt::LeftButton, {}, Centre(r));
    EXPECT_TRUE(dlg.IsButtonPressed());
    QTest::mouseMove(&dlg, QPoint(r.left - 20, r.top + 2));
    EXPECT_FALSE(dlg.IsButtonPressed());
    EXPECT_TRUE(ShowsGlyph(test::Grab(dlg), CloseGlyph(), r.left, r.top)) << "normal look again";
    QTest::mouseMove(&dlg, Centre(r));
    QTest::mouseRelease(&dlg, Qt::LeftButton, {}, Centre(r));
  });
  EXPECT_TRUE(run.leftOpen);
  EXPECT_EQ(dlg.okCount, 0);
}

TEST_F(CaptionTest, PressReleaseOnMinimiseMinimisesAndStaysOpen) {
  const test::ModalRun run = test::RunModal(dlg, [this] {
    const QPoint minimize = Centre(dlg.MinimizeRect());
    QTest::mousePress(&dlg, Qt::LeftButton, {}, minimize);
    EXPECT_EQ(dlg.PressedButton(), 1);
    QTest::mouseRelease(&dlg, Qt::LeftButton, {}, minimize);
    EXPECT_TRUE(dlg.isMinimized());
    EXPECT_TRUE(dlg.isVisible());
  });
  EXPECT_TRUE(run.leftOpen);
  EXPECT_EQ(dlg.okCount, 0);
}

// Releasing off both buttons keeps the press, as long as no move left the button.
TEST_F(CaptionTest, ReleaseElsewhereKeepsThePress) {
  test::ShowAndExpose(dlg);
  dlg.OnNcLButtonDown(Centre(dlg.CloseRect()));
  dlg.OnNcLButtonUp(QPoint(100, 10));
  EXPECT_TRUE(dlg.IsButtonPressed());
  EXPECT_EQ(dlg.okCount, 0);
}

TEST_F(CaptionTest, HitTestNamesCaptionIconAndClient) {
  test::ShowAndExpose(dlg);
  EXPECT_EQ(dlg.OnNcHitTest(QPoint(100, 10)), HTCAPTION);
  EXPECT_EQ(dlg.OnNcHitTest(Centre(dlg.IconRect())), HTSYSMENU);
  EXPECT_EQ(dlg.OnNcHitTest(QPoint(50, 60)), HTCLIENT);
  EXPECT_EQ(dlg.OnNcHitTest(QPoint(0, 60)), HTBORDER);
}

// A right click on the caption, a click on the icon and Alt+Space open the system menu.
TEST_F(CaptionTest, SystemMenuOpensFromTheCaption) {
  test::ShowAndExpose(dlg);
  const std::function<void()> ways[] = {
      [this] { RightClick(QPoint(150, 10)); },
      [this] { QTest::mouseClick(&dlg, Qt::LeftButton, {}, Centre(dlg.IconRect())); },
      [this] { QTest::keyClick(&dlg, Qt::Key_Space, Qt::AltModifier); },
  };
  int way = 0;
  for (const auto& open : ways) {
    open();
    EXPECT_TRUE(dlg.GetSystemMenu()->isVisible()) << "way " << way++;
    dlg.GetSystemMenu()->hide();
  }
  RightClick(QPoint(150, 60));
  EXPECT_FALSE(dlg.GetSystemMenu()->isVisible()) << "not from the client area";
}

TEST_F(CaptionTest, SystemMenuCommandsReachOnSysCommand) {
  const test::ModalRun run = test::RunModal(dlg, [this] {
    const QList<QAction*> actions = dlg.GetSystemMenu()->actions();
    ASSERT_GE(actions.size(), 2);
    actions[0]->trigger();  // Minimize
    EXPECT_TRUE(dlg.isMinimized());
    actions[1]->trigger();  // Close
  });
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(run.result, CDialog::IDCANCEL);
}

}  // namespace
}  // namespace tw

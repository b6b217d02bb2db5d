#include "ui/aboutdlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "uitest.h"

namespace tw {
namespace {

TEST(AboutBox, ShowsLinePictureAndOk) {
  CAboutDlg about;
  EXPECT_EQ(about.windowTitle(), QStringLiteral("Tidewell"));
  EXPECT_EQ(about.size(), MapDialogRect(QRect(0, 0, 150, 259), about.BaseUnits()).size());
  bool line = false;
  bool picture = false;
  for (QLabel* label : about.findChildren<QLabel*>()) {
    line = line || label->text() == QStringLiteral("Tidewell_forOMAP V.0.1 ");
    picture = picture || !label->pixmap().isNull();
  }
  EXPECT_TRUE(line);
  EXPECT_TRUE(picture);
  auto* ok = static_cast<QPushButton*>(GetDlgItem(&about, CDialog::IDOK));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), QString::fromUtf8("확인"));
  const test::ModalRun run = test::RunModal(about, [ok] { QTest::mouseClick(ok, Qt::LeftButton); });
  EXPECT_EQ(run.result, CDialog::IDOK);
}

}  // namespace
}  // namespace tw

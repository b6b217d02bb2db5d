#include "ui/cdialognandselect.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>

#include "uitest.h"

namespace tw {
namespace {

struct NandBox {
  int bit;
  const char* caption;
  const char* group;
};

constexpr NandBox kBoxes[] = {
    {0, "ERASE", "NAND COMMAND 1"},       {1, "PARTITION FORMAT", "NAND COMMAND 1"},
    {2, "OS FORMAT", "NAND COMMAND 1"},   {3, "FAT FORMAT1", "NAND COMMAND 1"},
    {4, "FAT FORMAT2", "NAND COMMAND 1"}, {5, "Test 06", "NAND COMMAND 2"},
    {6, "Test 07", "NAND COMMAND 2"},     {7, "Test 08", "NAND COMMAND 2"},
    {8, "Test 09", "NAND COMMAND 2"},     {9, "Test 10", "NAND COMMAND 2"},
    {10, "Test 11", "NAND COMMAND 3"},    {11, "Test 12", "NAND COMMAND 3"},
    {12, "Test 13", "NAND COMMAND 3"},    {13, "Test 14", "NAND COMMAND 3"},
    {14, "Test 15", "NAND COMMAND 3"},
};

QGroupBox* Group(const QWidget& dialog, const char* title) {
  for (QGroupBox* group : dialog.findChildren<QGroupBox*>())
    if (group->title() == QString::fromUtf8(title)) return group;
  return nullptr;
}

QPushButton* OkButton(const QWidget& dialog) {
  return static_cast<QPushButton*>(GetDlgItem(&dialog, CDialog::IDOK));
}

// Fifteen boxes, bit i on id 1055 + i, each inside its group's frame.
TEST(NandSelect, BoxesCaptionsAndGroups) {
  CCDialogNandSelect dialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("NAND SELECT "));
  EXPECT_EQ(dialog.size(), MapDialogRect(QRect(0, 0, 207, 154), dialog.BaseUnits()).size());
  ASSERT_NE(OkButton(dialog), nullptr);
  EXPECT_EQ(OkButton(dialog)->text(), QStringLiteral("OK"));
  for (const NandBox& box : kBoxes) {
    QWidget* control = GetDlgItem(&dialog, 1055 + box.bit);
    ASSERT_NE(control, nullptr) << box.caption;
    EXPECT_EQ(control, dialog.Box(box.bit));
    EXPECT_EQ(dialog.Box(box.bit)->text(), QString::fromUtf8(box.caption));
    QGroupBox* group = Group(dialog, box.group);
    ASSERT_NE(group, nullptr) << box.group;
    EXPECT_TRUE(group->geometry().contains(control->geometry())) << box.caption << " in " << box.group;
  }
}

// ERASE and OS FORMAT give 0x5; reopened, exactly those two are checked.
TEST(NandSelect, OkTakesTheChecksAndReopeningShowsThem) {
  CCDialogNandSelect first;
  const test::ModalRun run = test::RunModal(first, [&first] {
    first.Box(0)->setChecked(true);
    QTest::mouseClick(first.Box(2), Qt::LeftButton);
    QTest::mouseClick(OkButton(first), Qt::LeftButton);
  });
  EXPECT_EQ(run.result, CDialog::IDOK);
  EXPECT_EQ(first.m_dwNandMask, 0x5u);

  CCDialogNandSelect second;
  second.m_dwNandMask = first.m_dwNandMask;
  test::ShowAndExpose(second);
  for (const NandBox& box : kBoxes)
    EXPECT_EQ(second.Box(box.bit)->isChecked(), box.bit == 0 || box.bit == 2) << box.caption;
}

// Escape and the close box end as Cancel and leave the mask as it was.
TEST(NandSelect, EscapeAndCloseKeepTheMask) {
  for (const bool escape : {true, false}) {
    CCDialogNandSelect dialog;
    dialog.m_dwNandMask = 0x4001;
    const test::ModalRun run = test::RunModal(dialog, [&dialog, escape] {
      dialog.Box(3)->setChecked(true);
      if (escape) {
        QTest::keyClick(&dialog, Qt::Key_Escape);
      } else {
        dialog.close();
      }
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.result, CDialog::IDCANCEL);
    EXPECT_EQ(dialog.m_dwNandMask, 0x4001u);
  }
}

// Bits 15 to 31 have no box: they are dropped on OK.
TEST(NandSelect, HighBitsAreDroppedOnOk) {
  CCDialogNandSelect dialog;
  dialog.m_dwNandMask = 0xFFFF8000u | 0x7FFFu;
  const test::ModalRun run = test::RunModal(dialog, [&dialog] {
    for (const NandBox& box : kBoxes) EXPECT_TRUE(dialog.Box(box.bit)->isChecked());
    QTest::keyClick(&dialog, Qt::Key_Return);  // the default button
  });
  EXPECT_EQ(run.result, CDialog::IDOK);
  EXPECT_EQ(dialog.m_dwNandMask, 0x7FFFu);
}

}  // namespace
}  // namespace tw

#include "ui/cdialognandselect.h"

#include <QCheckBox>
#include <QPushButton>

namespace tw {

namespace {

// Template 130: "NAND SELECT ", 207 x 154 dialog units; three groups of
// five boxes, the OK button at the bottom right.
constexpr ControlTemplate kTemplate130[] = {
    {IDC_STATIC, ControlKind::GroupBox, "NAND COMMAND 1", 7, 4, 98, 72},
    {1055, ControlKind::AutoCheckBox, "ERASE", 13, 16, 88, 10, true, true},
    {1056, ControlKind::AutoCheckBox, "PARTITION FORMAT", 13, 28, 88, 10, true, true},
    {1057, ControlKind::AutoCheckBox, "OS FORMAT", 13, 40, 88, 10, true, true},
    {1058, ControlKind::AutoCheckBox, "FAT FORMAT1", 13, 52, 88, 10, true, true},
    {1059, ControlKind::AutoCheckBox, "FAT FORMAT2", 13, 64, 88, 10, true, true},
    {IDC_STATIC, ControlKind::GroupBox, "NAND COMMAND 2", 110, 4, 90, 72},
    {1060, ControlKind::AutoCheckBox, "Test 06", 116, 16, 80, 10, true, true},
    {1061, ControlKind::AutoCheckBox, "Test 07", 116, 28, 80, 10, true, true},
    {1062, ControlKind::AutoCheckBox, "Test 08", 116, 40, 80, 10, true, true},
    {1063, ControlKind::AutoCheckBox, "Test 09", 116, 52, 80, 10, true, true},
    {1064, ControlKind::AutoCheckBox, "Test 10", 116, 64, 80, 10, true, true},
    {IDC_STATIC, ControlKind::GroupBox, "NAND COMMAND 3", 7, 79, 98, 72},
    {1065, ControlKind::AutoCheckBox, "Test 11", 13, 91, 88, 10, true, true},
    {1066, ControlKind::AutoCheckBox, "Test 12", 13, 103, 88, 10, true, true},
    {1067, ControlKind::AutoCheckBox, "Test 13", 13, 115, 88, 10, true, true},
    {1068, ControlKind::AutoCheckBox, "Test 14", 13, 127, 88, 10, true, true},
    {1069, ControlKind::AutoCheckBox, "Test 15", 13, 139, 88, 10, true, true},
    {1, ControlKind::DefPushButton, "OK", 150, 134, 50, 14, true, true},
};

}  // namespace

CCDialogNandSelect::CCDialogNandSelect(QWidget* pParent) : CDialog(IDD_NAND_SELECT, pParent) {
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral("NAND SELECT "));
  CreateTemplate(207, 154, kTemplate130);
  for (int i = 0; i < kNandCommandCount; ++i)
    m_pCheck[static_cast<std::size_t>(i)] = static_cast<QCheckBox*>(GetDlgItem(this, IDC_NAND_FIRST + i));
  connect(static_cast<QPushButton*>(GetDlgItem(this, IDOK)), &QPushButton::clicked, this, [this] { OnOK(); });
}

BOOL CCDialogNandSelect::OnInitDialog() {
  CDialog::OnInitDialog();
  for (int i = 0; i < kNandCommandCount; ++i) Box(i)->setChecked(((m_dwNandMask >> i) & 1U) != 0);
  return TRUE;
}

void CCDialogNandSelect::OnOK() {
  std::uint32_t mask = 0;
  for (int i = 0; i < kNandCommandCount; ++i) mask |= (Box(i)->isChecked() ? 1U : 0U) << i;
  m_dwNandMask = mask;
  CDialog::OnOK();
}

}  // namespace tw

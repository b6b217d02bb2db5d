// The NAND command selection: fifteen check boxes in three groups. Bit i of
// the mask stands for the box with id 1055 + i; bits 15 to 31 stay 0. The
// dialog changes its mask only on OK.
#pragma once
#include <array>
#include <cstdint>

#include "ui/dialog.h"

class QCheckBox;

namespace tw {

inline constexpr int IDD_NAND_SELECT = 130;
inline constexpr int IDC_NAND_FIRST = 1055;
inline constexpr int kNandCommandCount = 15;

class CCDialogNandSelect : public CDialog {
  Q_OBJECT

 public:
  explicit CCDialogNandSelect(QWidget* pParent = nullptr);

  std::uint32_t m_dwNandMask = 0;

  QCheckBox* Box(int nBit) const { return m_pCheck[static_cast<std::size_t>(nBit)]; }

 protected:
  // Checks every box whose bit is set in the mask.
  BOOL OnInitDialog() override;
  // mask = OR of (check of box i) << i, then ends as OK.
  void OnOK() override;

 private:
  std::array<QCheckBox*, kNandCommandCount> m_pCheck{};
};

}  // namespace tw

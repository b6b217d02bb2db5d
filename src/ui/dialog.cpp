#include "ui/dialog.h"

namespace tw {

CDialog::CDialog(int nIDTemplate, QWidget* pParent) : QDialog(pParent), m_nIDTemplate(nIDTemplate) {
  setFont(DialogFont());
  m_baseUnits = BaseUnitsOf(font());
}

int CDialog::DoModal() {
  return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CDialog::CreateTemplate(int cx, int cy, std::span<const ControlTemplate> rows, QWidget* parent) {
  SetClientSize(MapDialogRect(QRect(0, 0, cx, cy), m_baseUnits).size());
  CreateControls(parent != nullptr ? parent : this, rows, m_baseUnits);
}

void CDialog::showEvent(QShowEvent* event) {
  if (!m_bInitialised) {
    m_bInitialised = true;
    OnInitDialog();
  }
  QDialog::showEvent(event);
}

}  // namespace tw

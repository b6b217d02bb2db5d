// The About box: the program's line, its picture and an OK button.
#pragma once
#include "ui/dialog.h"

namespace tw {

inline constexpr int IDD_ABOUTBOX = 100;

class CAboutDlg : public CDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* pParent = nullptr);
};

}  // namespace tw

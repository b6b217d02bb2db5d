// Dialog templates as tables: each row makes one control, placed in dialog
// units converted with the dialog's font.
#pragma once
#include <QString>
#include <span>

#include "ui/dialogunits.h"

class QWidget;

namespace tw {

inline constexpr int IDC_STATIC = -1;  // controls the code never addresses

enum class ControlKind {
  PushButton,     // a plain push button
  DefPushButton,  // the dialog's default button
  GroupBox,
  Static,        // left-aligned text, wrapped at word ends
  LogEdit,       // multi-line, read-only, no wrapping, vertical scroll bar
  TextProgress,  // a CTextProgressCtrl with a border; the text is its caption
  AutoCheckBox,
  Picture,  // a picture control; the dialog sets its picture
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;  // UTF-8
  int x, y, cx, cy;  // dialog units
  bool visible = true;
  bool tabStop = false;
};

// Makes the control of one row as a child of parent and places it.
QWidget* CreateControl(QWidget* parent, const ControlTemplate& row, DialogBaseUnits base);

// Makes every row's control, in table order (which is the tab order).
void CreateControls(QWidget* parent, std::span<const ControlTemplate> rows, DialogBaseUnits base);

// The control with this id among parent's descendants, or null.
QWidget* GetDlgItem(const QWidget* parent, int id);

// The id a control was made with; IDC_STATIC when it has none.
int GetDlgCtrlID(const QWidget* control);

}  // namespace tw

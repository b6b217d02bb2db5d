#include "ui/dialogtemplate.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVariant>

#include "ui/textprogressctrl.h"

namespace tw {

namespace {

constexpr const char* kIdProperty = "dlgCtrlId";

QWidget* MakeWidget(QWidget* parent, const ControlTemplate& row) {
  const QString text = QString::fromUtf8(row.text);
  switch (row.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(false);
      button->setDefault(row.kind == ControlKind::DefPushButton);
      return button;
    }
    case ControlKind::GroupBox:
      return new QGroupBox(text, parent);
    case ControlKind::Static: {
      auto* label = new QLabel(text, parent);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setWordWrap(true);
      return label;
    }
    case ControlKind::LogEdit: {
      auto* edit = new QPlainTextEdit(parent);
      edit->setReadOnly(true);
      edit->setLineWrapMode(QPlainTextEdit::NoWrap);
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
      edit->setPlainText(text);
      return edit;
    }
    case ControlKind::TextProgress: {
      auto* progress = new CTextProgressCtrl(parent);
      progress->SetBorder(true);
      progress->SetWindowText(row.text);
      return progress;
    }
    case ControlKind::AutoCheckBox:
      return new QCheckBox(text, parent);
    case ControlKind::Picture: {
      auto* picture = new QLabel(parent);
      picture->setAlignment(Qt::AlignCenter);
      return picture;
    }
  }
  return new QWidget(parent);
}

// Tab stops take the focus from the keyboard too; other buttons and boxes
// only from a click; texts, frames, pictures and the bar never.
Qt::FocusPolicy FocusPolicyFor(const ControlTemplate& row) {
  if (row.tabStop) return Qt::StrongFocus;
  switch (row.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
    case ControlKind::LogEdit:
    case ControlKind::AutoCheckBox:
      return Qt::ClickFocus;
    default:
      return Qt::NoFocus;
  }
}

}  // namespace

QWidget* CreateControl(QWidget* parent, const ControlTemplate& row, DialogBaseUnits base) {
  QWidget* control = MakeWidget(parent, row);
  control->setProperty(kIdProperty, row.id);
  control->setGeometry(MapDialogRect(QRect(row.x, row.y, row.cx, row.cy), base));
  control->setFocusPolicy(FocusPolicyFor(row));
  control->setVisible(row.visible);
  return control;
}

void CreateControls(QWidget* parent, std::span<const ControlTemplate> rows, DialogBaseUnits base) {
  for (const ControlTemplate& row : rows) CreateControl(parent, row, base);
}

QWidget* GetDlgItem(const QWidget* parent, int id) {
  if (id == IDC_STATIC) return nullptr;
  for (QWidget* child : parent->findChildren<QWidget*>()) {
    if (GetDlgCtrlID(child) == id) return child;
  }
  return nullptr;
}

int GetDlgCtrlID(const QWidget* control) {
  const QVariant id = control->property(kIdProperty);
  return id.isValid() ? id.toInt() : IDC_STATIC;
}

}  // namespace tw

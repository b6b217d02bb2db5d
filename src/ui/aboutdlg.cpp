#include "ui/aboutdlg.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "ui/artwork.h"

namespace tw {

namespace {

constexpr int IDC_ABOUT_PICTURE = 1000;

// Template 100: "Tidewell", 150 x 259 dialog units.
constexpr ControlTemplate kTemplate100[] = {
    {IDC_STATIC, ControlKind::Static, "Tidewell_forOMAP V.0.1 ", 7, 5, 136, 10},
    {IDC_ABOUT_PICTURE, ControlKind::Picture, "", 7, 17, 136, 218},
    {1, ControlKind::DefPushButton, "확인", 50, 240, 50, 14, true, true},
};

}  // namespace

CAboutDlg::CAboutDlg(QWidget* pParent) : CDialog(IDD_ABOUTBOX, pParent) {
  setWindowTitle(QStringLiteral("Tidewell"));
  CreateTemplate(150, 259, kTemplate100);
  auto* picture = static_cast<QLabel*>(GetDlgItem(this, IDC_ABOUT_PICTURE));
  const QPixmap art = QPixmap::fromImage(AboutPicture());
  // The picture keeps its 240 x 320 size wherever the control is that large.
  const bool fits = picture->width() >= art.width() && picture->height() >= art.height();
  picture->setPixmap(fits ? art : art.scaled(picture->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
  connect(static_cast<QPushButton*>(GetDlgItem(this, IDOK)), &QPushButton::clicked, this, [this] { OnOK(); });
}

}  // namespace tw

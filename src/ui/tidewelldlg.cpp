#include "ui/tidewelldlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <vector>

#include "app/tidewelldlglogic.h"
#include "platform/tunables.h"
#include "ui/aboutdlg.h"
#include "ui/artwork.h"
#include "ui/cdialognandselect.h"
#include "ui/dialogtemplate.h"
#include "ui/slotrow.h"
#include "ui/textprogressctrl.h"

namespace tw {

namespace {

constexpr int kIconSize = 32;  // SM_CXICON, SM_CYICON

// Template 102: "KORV-352 EXE Upgrader v1.1", 227 x 148 dialog units.
constexpr int kDialogWidth = 227;
constexpr int kDialogHeight = 148;
constexpr const char* kCaption = "KORV-352 EXE Upgrader v1.1";

constexpr ControlTemplate kTemplate102[] = {
    {IDC_PROGRESS, ControlKind::TextProgress, "Progress2", 3, 2, 181, 15},
    {IDC_BUTTON_START, ControlKind::PushButton, "Start", 190, 2, 34, 16, true, true},
    {IDC_STATIC, ControlKind::GroupBox, "", 3, 17, 221, 55},
    {IDC_STATIC, ControlKind::Static, "1. Connect your device to a PC using the cable.", 5, 29, 205, 13},
    {IDC_STATIC, ControlKind::Static, "2. Turn on the device with reflashing mode.", 5, 42, 151, 12},
    {IDC_STATIC, ControlKind::Static, "3. Please click \"Start\" button if the device found.", 5, 56, 176,
     11},
    {IDC_BUTTON_HIDDEN, ControlKind::PushButton, "1", 116, 23, 10, 6, false},
    {IDC_EDIT_LOG, ControlKind::LogEdit, "", 3, 77, 221, 69, true, true},
};

// The slot rows below the template: the column titles, then one row per slot.
constexpr int kRowsLeft = 3;
constexpr int kRowsTop = kDialogHeight + 2;
constexpr int kRowsBottomMargin = 2;

// The look of the upgrader's bars: text visible, white background, the two
// text colours, range 0 to 100.
void PrepareBar(CTextProgressCtrl& bar) {
  bar.SetTextVisible(TRUE);
  bar.SetBackgroundColour(RGB(255, 255, 255));
  bar.SetTextColourOverBar(RGB(0, 50, 0));
  bar.SetTextColourOverBackground(RGB(0, 0, 0));
  bar.SetRange(0, 100);
}

}  // namespace

CTidewellDlg::CTidewellDlg(QWidget* pParent) : CTidewellDlg(1, pParent) {}

CTidewellDlg::CTidewellDlg(int nSlots, QWidget* pParent)
    : CDrawH2Dlg(IDD_TIDEWELL_DIALOG, pParent),
      m_hIcon(AppIcon()),
      m_strAboutMenu(QString::fromUtf8(kAboutMenuText)) {
  setWindowTitle(QString::fromUtf8(kCaption));
  CreateTemplateControls(std::clamp(nSlots, 1, kSlotCount));
  m_pDeveloperMenu = GetSystemMenu()->addMenu(tr("Developer"));
  AddDeveloperCommand(tr("NAND Commands..."), [this] { SelectNandCommands(); });
}

CTidewellDlg::~CTidewellDlg() = default;

void CTidewellDlg::CreateTemplateControls(int nSlots) {
  CreateTemplate(kDialogWidth, kDialogHeight, kTemplate102, ClientArea());
  m_pProgress = static_cast<CTextProgressCtrl*>(tw::GetDlgItem(ClientArea(), IDC_PROGRESS));
  m_pStart = static_cast<QPushButton*>(tw::GetDlgItem(ClientArea(), IDC_BUTTON_START));
  m_pHidden = static_cast<QPushButton*>(tw::GetDlgItem(ClientArea(), IDC_BUTTON_HIDDEN));
  m_pLog = static_cast<QPlainTextEdit*>(tw::GetDlgItem(ClientArea(), IDC_EDIT_LOG));
  const std::chrono::milliseconds frame(GetTunables().uiFrameMs);
  m_pBoard = std::make_unique<CSlotBoard>(nSlots, *m_pLog, *m_pProgress, frame);
  if (nSlots > 1) CreateSlotRows();
  connect(m_pStart, &QPushButton::clicked, this, [this] {
    if (m_pEvents != nullptr) m_pEvents->OnStart();
  });
  connect(m_pHidden, &QPushButton::clicked, this, [this] {
    if (m_pEvents != nullptr) m_pEvents->OnStartDownload();
  });
}

// The rows under the template; the client area grows to hold them.
void CTidewellDlg::CreateSlotRows() {
  const int nSlots = m_pBoard->SlotCount();
  const DialogBaseUnits base = BaseUnits();
  const int height = kRowsTop + kSlotRowsTitleHeight + nSlots * kSlotRowHeight + kRowsBottomMargin;
  SetClientSize(MapDialogRect(QRect(0, 0, kDialogWidth, height), base).size());
  QWidget* titles = CSlotRow::CreateTitles(base, ClientArea());
  titles->move(MapDialogRect(QRect(kRowsLeft, kRowsTop, 0, 0), base).topLeft());
  std::vector<CSlotRow*> rows;
  for (int i = 0; i < nSlots; ++i) {
    auto* row = new CSlotRow(i, base, ClientArea());
    row->move(
        MapDialogRect(QRect(kRowsLeft, kRowsTop + kSlotRowsTitleHeight + i * kSlotRowHeight, 0, 0), base)
            .topLeft());
    PrepareBar(*row->Bar());
    rows.push_back(row);
  }
  m_pBoard->AttachRows(rows);
}

QWidget* CTidewellDlg::GetDlgItem(int nID) const {
  return tw::GetDlgItem(ClientArea(), nID);
}

QAction* CTidewellDlg::AddDeveloperCommand(const QString& text, std::function<void()> command) {
  QAction* action = m_pDeveloperMenu->addAction(text);
  connect(action, &QAction::triggered, this, [command = std::move(command)] { command(); });
  return action;
}

BOOL CTidewellDlg::OnInitDialog() {
  // The drawn caption.
  CDrawH2Dlg::OnInitDialog();
  // The About item, unless its text is empty.
  if (!m_strAboutMenu.isEmpty()) {
    GetSystemMenu()->addSeparator();
    AppendSysCommand(m_strAboutMenu, IDM_ABOUTBOX);
  }
  // Icons and the minimise button.
  setWindowIcon(m_hIcon);
  ShowMinimizeButton(TRUE);
  // Start disabled and the bar ready until the logic says otherwise;
  // then the logic's own initialisation.
  EnableStart(FALSE);
  PrepareProgressBar();
  if (m_pEvents != nullptr) m_pEvents->OnInitDialog();
  return TRUE;
}

void CTidewellDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about(this);
    about.DoModal();
    return;
  }
  CDrawH2Dlg::OnSysCommand(nID, lParam);
}

void CTidewellDlg::SelectNandCommands() {
  DownloadOwnerFlags& flags = (m_pEvents != nullptr) ? m_pEvents->OwnerFlags() : m_OwnFlags;
  flags.m_bNandSelect = 1;
  CCDialogNandSelect dialog(this);
  dialog.m_dwNandMask = flags.m_dwNandMask;
  if (dialog.DoModal() != 0) flags.m_dwNandMask = dialog.m_dwNandMask;
}

void CTidewellDlg::EnableStart(BOOL bEnable) {
  m_pStart->setEnabled(bEnable != 0);
}

void CTidewellDlg::MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                  QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok, this);
  box.exec();
}

void CTidewellDlg::PrepareProgressBar() {
  m_pProgress->SetWindowText("");
  PrepareBar(*m_pProgress);
  m_pProgress->SetPos(0);
}

// The data exchange binds only the bar and the Start button, which always
// show their state; the slot rows look again (a connect has learnt where
// its handset is plugged in).
void CTidewellDlg::UpdateData() {
  m_pBoard->Refresh();
}

void CTidewellDlg::EndDialog(int nResult) {
  done(nResult == IDOK ? QDialog::Accepted : QDialog::Rejected);
}

int CTidewellDlg::DoModal() {
  const int result = CDrawH2Dlg::DoModal();
  DestroyWindow();
  return result;
}

void CTidewellDlg::DestroyWindow() {
  if (m_bDestroyed) return;
  m_bDestroyed = true;
  if (m_pEvents != nullptr) {
    m_pEvents->DestroyWindow();
    m_pEvents->OnDestroy();
  }
}

// WM_CLOSE goes through the logic, which ends the dialog itself, now or once
// a running connect has returned.
void CTidewellDlg::closeEvent(QCloseEvent* event) {
  if (m_pEvents == nullptr) {
    CDrawH2Dlg::closeEvent(event);
    return;
  }
  if (!m_pEvents->OnClose()) {
    event->ignore();
    return;
  }
  if (isVisible()) done(QDialog::Rejected);
  event->accept();
}

// Escape ends the dialog as Cancel; Enter presses the focused button, or
// ends the dialog as OK while no button has the focus.
void CTidewellDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      if (button->isEnabled()) button->click();
    } else {
      OnOK();
    }
    event->accept();
    return;
  }
  CDrawH2Dlg::keyPressEvent(event);
}

// Minimised, the window shows only its icon, centred.
void CTidewellDlg::paintEvent(QPaintEvent* event) {
  if (!isMinimized()) {
    CDrawH2Dlg::paintEvent(event);
    return;
  }
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const int x = (width() - kIconSize + 1) / 2;
  const int y = (height() - kIconSize + 1) / 2;
  m_hIcon.paint(&painter, QRect(x, y, kIconSize, kIconSize));
}

}  // namespace tw

// The upgrader's main window: the progress bar, the Start button, the three
// instruction lines and the log box of template 102 under the drawn caption.
// It shows what the dialog's logic tells it (ITidewellView) and hands its
// events on to that logic (ITidewellDlgEvents). Reports from worker threads
// reach the log box and the bar queued.
#pragma once
#include <QIcon>
#include <QString>
#include <functional>
#include <memory>

#include "app/tidewellview.h"
#include "ui/dialogunits.h"
#include "ui/drawh2dlg.h"
#include "ui/queuedsinks.h"
#include "ui/tidewelldlgevents.h"

class QAction;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace tw {

class CTextProgressCtrl;

inline constexpr UINT IDM_ABOUTBOX = 0x10;
inline constexpr int IDD_TIDEWELL_DIALOG = 102;
inline constexpr int IDC_PROGRESS = 1006;
inline constexpr int IDC_BUTTON_START = 1068;
inline constexpr int IDC_BUTTON_HIDDEN = 1015;
inline constexpr int IDC_EDIT_LOG = 1004;

// The About item of the system menu (string resource 101).
inline constexpr const char* kAboutMenuText = "Tidewell 정보(&A)...";

class CTidewellDlg : public CDrawH2Dlg, public ITidewellView {
  Q_OBJECT

 public:
  explicit CTidewellDlg(QWidget* pParent = nullptr);
  ~CTidewellDlg() override;

  // The logic the window hands its events to; null runs the window alone.
  void SetEvents(ITidewellDlgEvents* pEvents) { m_pEvents = pEvents; }
  // The About item's text; an empty text adds neither item nor separator.
  // Takes effect at initialisation.
  void SetAboutMenuText(const QString& text) { m_strAboutMenu = text; }

  // Runs the dialog modally, then destroys it (the logic's DestroyWindow and
  // OnDestroy). Returns IDOK or IDCANCEL.
  int DoModal() override;

  // The developer submenu of the system menu, and a command in it.
  QMenu* DeveloperMenu() const { return m_pDeveloperMenu; }
  QAction* AddDeveloperCommand(const QString& text, std::function<void()> command);

  // Developer command: choose the NAND commands the EBOOT download sends.
  void SelectNandCommands();

  QWidget* GetDlgItem(int nID) const;
  CTextProgressCtrl* Progress() const { return m_pProgress; }
  QPushButton* StartButton() const { return m_pStart; }
  QPlainTextEdit* LogBox() const { return m_pLog; }
  QIcon OnQueryDragIcon() const { return m_hIcon; }

  // ITidewellView.
  void EnableStart(BOOL bEnable) override;
  void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  ILogSink* LogEdit() override { return m_pLogSink.get(); }
  IProgressSink* ProgressBar() override { return m_pProgressSink.get(); }
  void PrepareProgressBar() override;
  void UpdateData() override;
  void EndDialog(int nResult) override;

 protected:
  BOOL OnInitDialog() override;
  void OnSysCommand(UINT nID, LPARAM lParam) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void CreateTemplateControls();
  void DestroyWindow();

  ITidewellDlgEvents* m_pEvents = nullptr;
  QIcon m_hIcon;
  QString m_strAboutMenu;
  CTextProgressCtrl* m_pProgress = nullptr;
  QPushButton* m_pStart = nullptr;
  QPushButton* m_pHidden = nullptr;
  QPlainTextEdit* m_pLog = nullptr;
  QMenu* m_pDeveloperMenu = nullptr;
  bool m_bDestroyed = false;
  // Without a logic, the NAND option pair lives here.
  DownloadOwnerFlags m_OwnFlags;
  std::unique_ptr<QueuedLogSink> m_pLogSink;
  std::unique_ptr<QueuedProgressSink> m_pProgressSink;
};

}  // namespace tw

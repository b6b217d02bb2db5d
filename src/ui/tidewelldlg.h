// The upgrader's main window: the progress bar, the Start button, the three
// instruction lines and the log box of template 102 under the drawn caption,
// and with more than one armed slot a row per slot below them (see
// CSlotBoard). It shows what the dialog's logic tells it (ITidewellView) and
// hands its events on to that logic (ITidewellDlgEvents). Reports from
// worker threads reach the log box, the bar and the rows queued.
#pragma once
#include <QIcon>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "app/tidewellview.h"
#include "ui/dialogunits.h"
#include "ui/drawh2dlg.h"
#include "ui/slotboard.h"
#include "ui/tidewelldlgevents.h"

class QAction;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace tw {

class CSlotRow;
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
  // nSlots armed slots (1 to 8): with more than one, a row per slot below
  // the documented controls, and the window grows to hold them.
  explicit CTidewellDlg(int nSlots, QWidget* pParent = nullptr);
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

  // The armed slots and their rows (null with one slot, and outside the slots).
  int SlotCount() const { return m_pBoard->SlotCount(); }
  CSlotRow* SlotRow(int nSlot) const { return m_pBoard->Row(nSlot); }
  // Shows this slot's log in the log box and its progress on the bar, as a
  // click on its row does.
  void ChooseSlot(int nSlot) { m_pBoard->Choose(nSlot); }
  int ChosenSlot() const { return m_pBoard->Chosen(); }
  // The observer the rows learn their runs from (stages, ends); the logic
  // reports to it. The clock that times the runs and where a slot's
  // location is learnt: set both before the first run.
  IRunObserver* RunObserver() { return m_pBoard->RunObserver(); }
  void SetRunClock(IClock& clock) { m_pBoard->SetClock(clock); }
  void SetLocationSource(std::function<std::string(int nSlot)> locationOf) {
    m_pBoard->SetLocationSource(std::move(locationOf));
  }
  // True when every report made so far is shown.
  bool ReportsShown() { return m_pBoard->Idle(); }

  // ITidewellView.
  void EnableStart(BOOL bEnable) override;
  void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  ILogSink* LogEdit() override { return m_pBoard->Log(0); }
  IProgressSink* ProgressBar() override { return m_pBoard->Progress(0); }
  ILogSink* SlotLog(int nSlot) override { return m_pBoard->Log(nSlot); }
  IProgressSink* SlotProgress(int nSlot) override { return m_pBoard->Progress(nSlot); }
  void StationNote(const std::string& line) override { m_pBoard->Note(line); }
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
  void CreateTemplateControls(int nSlots);
  void CreateSlotRows();
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
  std::unique_ptr<CSlotBoard> m_pBoard;
};

}  // namespace tw

// The main window as it looks in the middle of an EBOOT download, without a
// handset or a firmware set: "tidewell-window-preview [--slots N]
// [--screenshot FILE]". With --slots N (2 to 8) the window shows N slot rows,
// with sample runs in several stages and outcomes.
// "tidewell-window-preview --icon SIZE FILE" saves the application icon as a
// PNG picture instead (the desktop entry's icon).
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ui/artwork.h"
#include "ui/screenshot.h"
#include "ui/textprogressctrl.h"
#include "ui/tidewelldlg.h"

namespace {

constexpr const char* kSampleLog =
    "[PDA=>0] CreateUSBFile !!\r\n"
    "[PDA] Connect and Power-on the Device.\r\n"
    "[PDA-0]Driver Opened.\r\n"
    "[PDA]Read Wait. = [0] \r\n"
    "[PDA]Read Done. = [0] \r\n"
    "[PDA]Device Found. = [0] \r\n"
    "[PDA]Eboot data length = <1100KB>\r\n"
    "[PDA]EBoot data download ready.\r\n";

// A slot's sample run: where it is, the stages it began and how it ended.
struct SampleRun {
  const char* location;
  const char* progress;
  int pos;
  std::vector<tw::StageInfo> stages;
  bool bEnded;
  tw::RunOutcome outcome;
  const char* reason;
};

std::vector<SampleRun> SampleRuns() {
  using tw::RunStage;
  using tw::StageInfo;
  return {
      {"1-1",
       "Eboot downloading : 042 %",
       42,
       {StageInfo(RunStage::Hello), StageInfo(RunStage::Eboot)},
       false,
       tw::RunOutcome::Done,
       ""},
      {"1-2",
       "[COM12] CODE downloading : 067 %",
       67,
       {StageInfo(RunStage::PortOpening, 12), StageInfo(RunStage::Phone, 12), StageInfo("CODE", 0, 0, 0, 12)},
       false,
       tw::RunOutcome::Done,
       ""},
      {"1-3",
       "[COM13]Phone image complete.",
       0,
       {StageInfo(RunStage::Phone, 13)},
       true,
       tw::RunOutcome::Done,
       ""},
      {"1-4",
       "TIME OUT :: Can't access device..",
       0,
       {StageInfo(RunStage::Eboot)},
       true,
       tw::RunOutcome::Failed,
       "the last EBOOT record was not answered"},
  };
}

// Shows a connected handset, Start enabled, and a run at 42 percent; with
// several slots, sample runs on the others.
class PreviewEvents final : public tw::ITidewellDlgEvents {
 public:
  explicit PreviewEvents(tw::CTidewellDlg& dlg) : m_dlg(dlg) {}

  tw::BOOL OnInitDialog() override {
    m_dlg.EnableStart(tw::TRUE);
    m_dlg.LogEdit()->SetLogText(kSampleLog);
    m_dlg.ProgressBar()->SetText("Eboot downloading : 042 %");
    m_dlg.ProgressBar()->SetPos(42);
    if (m_dlg.SlotCount() > 1) ShowSampleRuns();
    return tw::TRUE;
  }
  void OnStart() override { m_dlg.EnableStart(tw::FALSE); }
  void OnStartDownload() override {}
  tw::BOOL OnClose() override {
    m_dlg.EndDialog(tw::CDialog::IDCANCEL);
    return tw::TRUE;
  }
  void DestroyWindow() override {}
  void OnDestroy() override {}
  tw::DownloadOwnerFlags& OwnerFlags() override { return m_flags; }

 private:
  void ShowSampleRuns() {
    tw::IRunObserver& observer = *m_dlg.RunObserver();
    const std::vector<SampleRun> runs = SampleRuns();
    m_dlg.SetLocationSource([runs](int nSlot) {
      return nSlot < static_cast<int>(runs.size())
                 ? std::string(runs[static_cast<std::size_t>(nSlot)].location)
                 : std::string();
    });
    for (int i = 0; i < m_dlg.SlotCount() && i < static_cast<int>(runs.size()); ++i) {
      const SampleRun& run = runs[static_cast<std::size_t>(i)];
      observer.OnRunStarted(i);
      for (const tw::StageInfo& stage : run.stages) observer.OnStageStarted(i, stage);
      m_dlg.SlotProgress(i)->SetText(run.progress);
      m_dlg.SlotProgress(i)->SetPos(run.pos);
      tw::RunEnd end;
      end.nSlot = i;
      end.location = run.location;
      end.outcome = run.outcome;
      end.reason = run.reason;
      if (run.bEnded) observer.OnRunEnded(end);
    }
  }

  tw::CTidewellDlg& m_dlg;
  tw::DownloadOwnerFlags m_flags;
};

// The value of "--slots N" in argv; 1 without it.
int SlotsOption(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--slots") == 0) return std::atoi(argv[i + 1]);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--icon") == 0) {
    const int size = std::atoi(argv[2]);
    if (size < 16 || size > 1024 || !tw::AppIconImage(size).save(argv[3], "PNG")) {
      std::fprintf(stderr, "tidewell-window-preview: cannot write a %s pixel icon to %s\n", argv[2], argv[3]);
      return 2;
    }
    return 0;
  }
  QApplication app(argc, argv);
  tw::CTidewellDlg dlg(SlotsOption(argc, argv));
  PreviewEvents events(dlg);
  dlg.SetEvents(&events);
  return tw::RunMainDialog(dlg, tw::ScreenshotOption(argc, argv));
}

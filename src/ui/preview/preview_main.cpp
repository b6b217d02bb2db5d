// The main window as it looks in the middle of an EBOOT download, without a
// handset or a firmware set: "tidewell-window-preview [--slots N]
// [--screenshot FILE]". With --slots N (2 to 8) the window shows N slot rows,
// with sample runs in several stages and outcomes.
// "tidewell-window-preview --icon SIZE FILE" saves the application icon as a
// PNG picture instead (the desktop entry's icon).
#include <QApplication>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
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

// A slot's sample run: where it is, the stages it began, when it began and
// ended (seconds into the preview's virtual time; no end: it still runs) and how.
struct SampleRun {
  const char* location;
  const char* progress;
  int pos;
  std::vector<tw::StageInfo> stages;
  std::uint32_t startS;
  std::optional<std::uint32_t> endS;
  tw::RunOutcome outcome;
  const char* reason;
};

constexpr std::uint32_t kPreviewNowS = 263;

std::vector<SampleRun> SampleRuns() {
  using tw::RunStage;
  using tw::StageInfo;
  return {
      {"1-1",
       "Eboot downloading : 042 %",
       42,
       {StageInfo(RunStage::Hello), StageInfo(RunStage::Eboot)},
       200,
       {},
       tw::RunOutcome::Done,
       ""},
      {"1-2",
       "[COM12] CODE downloading : 067 %",
       67,
       {StageInfo(RunStage::PortOpening, 12), StageInfo(RunStage::Phone, 12), StageInfo("CODE", 0, 0, 0, 12)},
       70,
       {},
       tw::RunOutcome::Done,
       ""},
      {"1-3",
       "[COM13]Phone image complete.",
       0,
       {StageInfo(RunStage::Phone, 13)},
       0,
       192,
       tw::RunOutcome::Done,
       ""},
      {"1-4",
       "TIME OUT :: Can't access device..",
       0,
       {StageInfo(RunStage::Eboot)},
       20,
       61,
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
  // The runs' starts and ends in the order of their times, on a virtual clock.
  void ShowSampleRuns() {
    tw::IRunObserver& observer = *m_dlg.RunObserver();
    const std::vector<SampleRun> runs = SampleRuns();
    m_dlg.SetRunClock(m_clock);
    m_dlg.SetLocationSource([runs](int nSlot) {
      return nSlot < static_cast<int>(runs.size())
                 ? std::string(runs[static_cast<std::size_t>(nSlot)].location)
                 : std::string();
    });
    struct Step {
      std::uint32_t time;
      int slot;
      bool bStart;
    };
    std::vector<Step> steps;
    for (int i = 0; i < std::min(m_dlg.SlotCount(), static_cast<int>(runs.size())); ++i) {
      const SampleRun& run = runs[static_cast<std::size_t>(i)];
      steps.push_back({run.startS, i, true});
      if (run.endS) steps.push_back({*run.endS, i, false});
    }
    std::sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) { return a.time < b.time; });
    std::uint32_t now = 0;
    for (const Step& step : steps) {
      m_clock.Advance((step.time - now) * 1000);
      now = step.time;
      const SampleRun& run = runs[static_cast<std::size_t>(step.slot)];
      if (step.bStart) {
        observer.OnRunStarted(step.slot);
        for (const tw::StageInfo& stage : run.stages) observer.OnStageStarted(step.slot, stage);
        m_dlg.SlotProgress(step.slot)->SetText(run.progress);
        m_dlg.SlotProgress(step.slot)->SetPos(run.pos);
      } else {
        tw::RunEnd end;
        end.nSlot = step.slot;
        end.location = run.location;
        end.outcome = run.outcome;
        end.reason = run.reason;
        observer.OnRunEnded(end);
      }
    }
    m_clock.Advance((kPreviewNowS - now) * 1000);
  }

  tw::VirtualClock m_clock;
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

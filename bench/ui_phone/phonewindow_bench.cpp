// A phone download of the released phone image (14,524,912 bytes, all seven
// regions: 11,145 blocks) against the simulated handset in-process, once with
// the main window attached (its queued log and progress sinks, the Qt event
// loop running, offscreen) and once without a window (sinks that drop every
// report), alternately, in one process.
//
// The downloader's mandated sleeps run in virtual time (only the two 5 ms
// pauses behind the opening jumps are real), so the times are the work of the
// download: 11,145 block exchanges with the handset plus the reporting.
// Each run reports its wall time and the process's CPU time (the handset's
// threads included), how often the sinks woke the UI thread and how often
// the progress bar was painted. Usage: bench_ui_phone [rounds]  (default 9; the medians
// are compared). On a shared machine, `taskset -c N` gives steadier figures.
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "tests/download/downloadtestkit.h"
#include "ui/textprogressctrl.h"
#include "ui/tidewelldlg.h"

namespace tw::test {
namespace {

using Steady = std::chrono::steady_clock;

constexpr DWORD kPhoneSize = 14524912;
constexpr int kComPort = 7;
constexpr int kRunBoundMs = 600000;
constexpr std::size_t kBlockSize = 1024;
constexpr std::size_t kBlocks = 11145;

// Reports go nowhere: the download without a window.
class NullLog final : public ILogSink {
 public:
  void SetLogText(const std::string&) override {}
};

class NullProgress final : public IProgressSink {
 public:
  void SetText(const std::string&) override {}
  void SetPos(int) override {}
};

// Virtual time, except the first two pauses of 5 ms or less: the handset's
// answers to the two unread opening jumps must be queued before the first
// region's exchange reads, as on a real line.
class OpeningPacedClock final : public IClock {
 public:
  bool Sleep(std::uint32_t ms, std::stop_token stop) override {
    if (ms > 0 && ms <= PacedClock::kPacedMs && m_nPaced < 2) {
      ++m_nPaced;
      m_real.Sleep(ms, stop);
    }
    return m_clock.Sleep(ms, stop);
  }
  std::uint32_t GetTickCount() override { return m_clock.GetTickCount(); }

 private:
  VirtualClock m_clock;
  RealClock m_real;
  int m_nPaced = 0;  // the phone worker's thread only
};

// Counts the UI thread's wake-ups for the sinks (queued calls and timers)
// and the paints the progress bar receives.
class EventCounter final : public QObject {
 public:
  explicit EventCounter(QObject* pProgress) : m_pProgress(pProgress) {}
  bool eventFilter(QObject* pObject, QEvent* event) override {
    if (event->type() == QEvent::MetaCall || event->type() == QEvent::Timer) ++m_nWakes;
    if (event->type() == QEvent::Paint && pObject == m_pProgress) ++m_nPaints;
    return false;
  }
  void Reset() { m_nWakes = m_nPaints = 0; }
  QObject* m_pProgress;
  int m_nWakes = 0;
  int m_nPaints = 0;
};

// Runs the Qt event loop until the download has ended. False when it did not
// end within the bound.
bool RunEventLoopUntilDone(const TestOwner& owner) {
  QEventLoop loop;
  bool bDone = false;
  std::thread waiter([&] {
    bDone = owner.WaitPosted(WM_DOWNLOAD_DONE, 1, kRunBoundMs);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  waiter.join();
  return bDone;
}

// Wall and process CPU seconds of one download.
struct Timing {
  double wall = -1;
  double cpu = -1;
};

// One phone-only download, timed from the port's connection to the worker's
// end. Negative times when the download failed.
Timing RunDownload(const Bytes& phone, ILogSink& log, IProgressSink& progress, bool bEventLoop) {
  SimRig rig;
  OpeningPacedClock clock;
  TestImages images({}, {}, kPhoneSize);
  TestOwner& owner = rig.m_owner;
  owner.UseClock(clock);
  owner.m_bDownEboot = 0;
  owner.m_bDownPda = 0;
  owner.m_bDownPhone = 1;
  owner.m_bPhoneFullSet = 1;
  rig.m_dl->SetLogEdit(&log);
  rig.m_dl->SetProgressCtrl(&progress);
  rig.LoadPhoneFile(phone);
  sim::SimConfig config;
  config.comPort = kComPort;
  config.phoneRegions = 7;
  rig.StartHandset(config, images, phone, true);
  if (!rig.StartPhoneOnly(images) || !rig.WaitForPort("COM" + std::to_string(kComPort), 10000)) return {};

  const auto start = Steady::now();
  const std::clock_t cpuStart = std::clock();
  if (!rig.ConnectPort(kComPort)) return {};
  const bool bDone =
      bEventLoop ? RunEventLoopUntilDone(owner) : owner.WaitPosted(WM_DOWNLOAD_DONE, 1, kRunBoundMs);
  if (!bDone) return {};
  rig.m_dl->JoinWorkers();
  const Timing timing{std::chrono::duration<double>(Steady::now() - start).count(),
                      static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC};

  const auto writes = rig.m_provider.PortWrites();
  const auto blocks = std::count_if(writes.begin(), writes.end(),
                                    [](const Bytes& write) { return write.size() == kBlockSize; });
  const sim::SimSummary summary = rig.EndHandset(10000);
  if (static_cast<std::size_t>(blocks) != kBlocks) {
    std::fprintf(stderr, "%zu blocks sent, expected %zu\n", static_cast<std::size_t>(blocks), kBlocks);
    return {};
  }
  if (!summary.verifyPassed || !summary.violations.empty()) {
    std::fprintf(stderr, "handset: %s\n", summary.ToJson().c_str());
    return {};
  }
  return timing;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The median of one field of the runs.
double Median(const std::vector<Timing>& runs, double Timing::*field) {
  std::vector<double> values;
  for (const Timing& run : runs) values.push_back(run.*field);
  return Median(values);
}

int Run(int rounds) {
  const Bytes phone = Pattern(kPhoneSize, 11);
  CTidewellDlg dlg;
  dlg.show();
  dlg.PrepareProgressBar();
  NullLog nullLog;
  NullProgress nullProgress;
  EventCounter events(dlg.Progress());
  QCoreApplication::instance()->installEventFilter(&events);
  std::vector<Timing> headless, window;
  for (int i = 0; i < rounds; ++i) {
    const Timing h = RunDownload(phone, nullLog, nullProgress, false);
    dlg.LogBox()->clear();
    events.Reset();
    const Timing w = RunDownload(phone, *dlg.LogEdit(), *dlg.ProgressBar(), true);
    // The last reports are shown at the end of their frame, after the timing.
    auto* log = dynamic_cast<QueuedLogSink*>(dlg.LogEdit());
    auto* progress = dynamic_cast<QueuedProgressSink*>(dlg.ProgressBar());
    while (!log->Idle() || !progress->Idle()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (h.wall < 0 || w.wall < 0) {
      std::fprintf(stderr, "round %d: the download failed\n", i + 1);
      return 1;
    }
    if (!dlg.LogBox()->toPlainText().contains("PHONE Download complete.")) {
      std::fprintf(stderr, "round %d: the window's log lacks the end of the download\n", i + 1);
      return 1;
    }
    std::printf(
        "round %d: headless %.3f s (CPU %.3f s), window %.3f s "
        "(CPU %.3f s; UI thread woken %d times, progress bar painted %d times)\n",
        i + 1, h.wall, h.cpu, w.wall, w.cpu, events.m_nWakes, events.m_nPaints);
    headless.push_back(h);
    window.push_back(w);
  }
  std::vector<double> ratios;
  for (int i = 0; i < rounds; ++i) ratios.push_back(window[i].wall / headless[i].wall);
  std::printf("phone download, %u bytes, 7 regions, %zu blocks, sleeps in virtual time (medians of %d):\n",
              kPhoneSize, kBlocks, rounds);
  for (const auto& [name, runs] : {std::pair{"headless", &headless}, std::pair{"window", &window}}) {
    std::printf("  %-8s %.3f s wall, %.3f s CPU\n", name, Median(*runs, &Timing::wall),
                Median(*runs, &Timing::cpu));
  }
  std::printf("  ratio    %.3f window / headless wall (goal <= 1.05); median of the rounds' ratios %.3f\n",
              Median(window, &Timing::wall) / Median(headless, &Timing::wall), Median(ratios));
  return 0;
}

}  // namespace
}  // namespace tw::test

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  return tw::test::Run(rounds);
}

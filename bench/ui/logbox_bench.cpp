// A run's log grows line by line and the log box receives the whole text
// each time. Shows what one update costs at a given log length, when the new
// text continues the shown one (the tail is added) and when it does not (the
// whole text is set again). Runs on Qt's offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <string>

#include "ui/queuedsinks.h"

namespace {

std::string LogOfLines(int nLines) {
  std::string log;
  for (int i = 0; i < nLines; ++i) log += "[PDA]Read Done. = [" + std::to_string(i) + "] \r\n";
  return log;
}

// One more line on a log of state.range(0) lines.
void BM_AppendLine(benchmark::State& state) {
  QPlainTextEdit edit;
  edit.resize(400, 150);
  std::string shown = LogOfLines(static_cast<int>(state.range(0)));
  tw::ShowLogText(edit, "", shown);
  int n = 0;
  for (auto _ : state) {
    std::string next = shown + "[PDA]Read Wait. = [" + std::to_string(n++) + "] \r\n";
    tw::ShowLogText(edit, shown, next);
    shown.swap(next);
  }
  state.counters["lines"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_AppendLine)->Arg(100)->Arg(1000)->Arg(5000);

// The same log set again as a whole (a log that does not continue the shown one).
void BM_ReplaceWhole(benchmark::State& state) {
  QPlainTextEdit edit;
  edit.resize(400, 150);
  const std::string log = LogOfLines(static_cast<int>(state.range(0)));
  for (auto _ : state) tw::ShowLogText(edit, "", log);
  state.counters["lines"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_ReplaceWhole)->Arg(100)->Arg(1000)->Arg(5000);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

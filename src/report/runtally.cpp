#include "report/runtally.h"

#include <cstdio>

namespace tw {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The image a stage's bytes belong to, named as its stage; empty for stages
// that write none.
const char* ImageOfStage(RunStage stage) {
  const bool bWritesAnImage =
      stage == RunStage::Eboot || stage == RunStage::OsImage || stage == RunStage::Phone;
  return bWritesAnImage ? RunStageName(stage) : "";
}

}  // namespace

void CRunTallies::RunStarted(int nSlot) {
  std::lock_guard guard(m_lock);
  RunTally& tally = m_runs[nSlot] = RunTally{};
  tally.started = SteadyClock::now();
  tally.startedWall = std::chrono::system_clock::now();
}

void CRunTallies::StageStarted(int nSlot, const StageInfo& stage) {
  std::lock_guard guard(m_lock);
  RunTally& tally = Of(nSlot);
  tally.open.push_back({stage.stage, SteadyClock::now()});
  if (stage.nPort != 0) tally.nPort = stage.nPort;
}

std::int64_t CRunTallies::StageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) {
  std::lock_guard guard(m_lock);
  RunTally& tally = Of(nSlot);
  // The innermost open stage of this kind ends.
  std::int64_t ms = 0;
  for (auto it = tally.open.rbegin(); it != tally.open.rend(); ++it) {
    if (it->stage != stage.stage) continue;
    ms = ElapsedMs(it->started, SteadyClock::now());
    tally.open.erase(std::next(it).base());
    break;
  }
  if (stage.stage != RunStage::Region) tally.durationsMs[RunStageName(stage.stage)] += ms;
  const std::string image = ImageOfStage(stage.stage);
  if (!image.empty()) tally.bytes[image] += outcome.bytes;
  // The first failure is where the run failed; the stages around it fail with it.
  if (outcome.result.end == StageEnd::Failed && tally.failedStage.empty()) {
    tally.failedStage = RunStageName(stage.stage);
    tally.failedRegion = stage.region;
  }
  return ms;
}

std::optional<RunStage> CRunTallies::CurrentStage(int nSlot) const {
  std::lock_guard guard(m_lock);
  auto it = m_runs.find(nSlot);
  if (it == m_runs.end() || it->second.open.empty()) return std::nullopt;
  return it->second.open.back().stage;
}

RunTally CRunTallies::RunEnded(int nSlot) {
  std::lock_guard guard(m_lock);
  RunTally tally = std::move(Of(nSlot));
  m_runs.erase(nSlot);
  return tally;
}

// A slot that reports without a run start (a test's lone stage) gets a
// tally from its first report.
RunTally& CRunTallies::Of(int nSlot) {
  auto [it, bNew] = m_runs.try_emplace(nSlot);
  if (bNew) {
    it->second.started = SteadyClock::now();
    it->second.startedWall = std::chrono::system_clock::now();
  }
  return it->second;
}

std::int64_t ElapsedMs(SteadyClock::time_point from, SteadyClock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(when);
  const auto day = floor<days>(ms);
  const year_month_day date{day};
  const hh_mm_ss time{ms - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
  return text;
}

}  // namespace tw

#include "report/eventswriter.h"

#include "report/reportjson.h"

namespace tw {

CEventsWriter::CEventsWriter(CLineOutput& out) : m_out(out) {}

void CEventsWriter::OnDevice(const DeviceReport& device) {
  ReportJson event = EventHead(device.bArrival ? "device_arrived" : "device_removed", -1);
  event["kind"] = device.kind;
  event["name"] = device.name;
  event["location"] = device.location;
  m_out.WriteLine(JsonLine(event));
}

void CEventsWriter::OnRunStarted(int nSlot) {
  m_tallies.RunStarted(nSlot);
  {
    std::lock_guard guard(m_lock);
    m_lastProgress.erase(nSlot);
  }
  m_out.WriteLine(JsonLine(EventHead("run_started", nSlot)));
}

void CEventsWriter::OnLogLine(int nSlot, const std::string& line) {
  ReportJson event = EventHead("log", nSlot);
  event["text"] = line;
  m_out.WriteLine(JsonLine(event));
}

void CEventsWriter::OnProgress(int nSlot, int nPos, const std::string& text) {
  {
    std::lock_guard guard(m_lock);
    auto [it, bNew] = m_lastProgress.try_emplace(nSlot, nPos, text);
    if (!bNew && it->second.first == nPos && it->second.second == text) return;
    it->second = {nPos, text};
  }
  ReportJson event = EventHead("progress", nSlot);
  const std::optional<RunStage> stage = m_tallies.CurrentStage(nSlot);
  event["stage"] = stage ? ReportJson(RunStageName(*stage)) : ReportJson(nullptr);
  event["percent"] = nPos;
  event["text"] = text;
  m_out.WriteLine(JsonLine(event));
}

void CEventsWriter::OnStageStarted(int nSlot, const StageInfo& stage) {
  m_tallies.StageStarted(nSlot, stage);
  ReportJson event = EventHead("stage_started", nSlot);
  AddStage(event, stage);
  m_out.WriteLine(JsonLine(event));
}

void CEventsWriter::OnStageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) {
  const std::int64_t ms = m_tallies.StageEnded(nSlot, stage, outcome);
  ReportJson event = EventHead("stage_ended", nSlot);
  AddStage(event, stage);
  event["result"] = StageEndName(outcome.result.end);
  event["reason"] = outcome.result.reason;
  if (!outcome.detail.empty()) event["detail"] = outcome.detail;
  event["bytes"] = outcome.bytes;
  event["duration_ms"] = ms;
  m_out.WriteLine(JsonLine(event));
}

void CEventsWriter::OnRunEnded(const RunEnd& end) {
  const RunTally tally = m_tallies.RunEnded(end.nSlot);
  ReportJson event = EventHead("run_ended", end.nSlot);
  AddWhere(event, end, tally, "");
  AddRunEnd(event, end, tally);
  m_out.WriteLine(JsonLine(event));
}

}  // namespace tw

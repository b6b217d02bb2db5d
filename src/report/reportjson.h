// The JSON pieces the event and record writers share.
#pragma once
#include <nlohmann/json.hpp>
#include <string>

#include "download/runobserver.h"
#include "report/runtally.h"

namespace tw {

using ReportJson = nlohmann::ordered_json;

// The schema version every event and record carries.
inline constexpr int kReportSchema = 1;

// {"schema", "time", "slot", "event"}: the head of every event; a slot below
// 0 is written as null (a device event before any slot takes it).
ReportJson EventHead(const char* event, int nSlot);
// The stage's name and, for a region or a port, what names it.
void AddStage(ReportJson& object, const StageInfo& stage);
// Where the run's handset is: its location and COM port as its end event
// names them (the COM port that its port opening named when none opened; null
// before the phone stage); fallbackLocation when the end event has none.
void AddWhere(ReportJson& object, const RunEnd& end, const RunTally& tally,
              const std::string& fallbackLocation);
// How a run ended, from its end event and its tally: outcome, reason, stage
// and region of a failure, skipped regions, bytes per image, durations.
void AddRunEnd(ReportJson& object, const RunEnd& end, const RunTally& tally);
// One line of JSON; text that is not UTF-8 is replaced, never refused.
std::string JsonLine(const ReportJson& object);

}  // namespace tw

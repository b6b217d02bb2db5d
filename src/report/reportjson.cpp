#include "report/reportjson.h"

#include <chrono>

namespace tw {

ReportJson EventHead(const char* event, int nSlot) {
  ReportJson object = {{"schema", kReportSchema},
                       {"time", UtcTimestamp(std::chrono::system_clock::now())},
                       {"slot", nullptr},
                       {"event", event}};
  if (nSlot >= 0) object["slot"] = nSlot;
  return object;
}

void AddStage(ReportJson& object, const StageInfo& stage) {
  object["stage"] = RunStageName(stage.stage);
  if (stage.stage == RunStage::Region) {
    object["region"] = stage.region;
    object["start"] = stage.start;
    object["length"] = stage.length;
    object["blocks"] = stage.blocks;
  }
  if (stage.nPort != 0) object["com_port"] = stage.nPort;
}

void AddWhere(ReportJson& object, const RunEnd& end, const RunTally& tally,
              const std::string& fallbackLocation) {
  object["location"] = end.location.empty() ? fallbackLocation : end.location;
  const int nPort = end.nComPort != 0 ? end.nComPort : tally.nPort;
  object["com_port"] = nPort == 0 ? ReportJson(nullptr) : ReportJson(nPort);
}

void AddRunEnd(ReportJson& object, const RunEnd& end, const RunTally& tally) {
  object["outcome"] = OutcomeName(end.outcome);
  object["reason"] = end.reason;
  object["failed_stage"] = tally.failedStage.empty() ? ReportJson(nullptr) : ReportJson(tally.failedStage);
  object["failed_region"] = tally.failedRegion.empty() ? ReportJson(nullptr) : ReportJson(tally.failedRegion);
  object["skipped_regions"] = end.skippedRegions;
  ReportJson bytes = ReportJson::object();
  for (const char* image : {"eboot", "os_image", "phone"}) {
    auto it = tally.bytes.find(image);
    bytes[image] = it == tally.bytes.end() ? 0 : it->second;
  }
  object["bytes"] = bytes;
  ReportJson durations = ReportJson::object();
  for (const auto& [stage, ms] : tally.durationsMs) durations[stage] = ms;
  object["durations_ms"] = durations;
  object["total_ms"] = ElapsedMs(tally.started, std::chrono::steady_clock::now());
}

std::string JsonLine(const ReportJson& object) {
  return object.dump(-1, ' ', false, ReportJson::error_handler_t::replace);
}

}  // namespace tw

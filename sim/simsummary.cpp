#include "sim/simsummary.h"

#include <nlohmann/json.hpp>

namespace tw::sim {

namespace {

using Json = nlohmann::ordered_json;

void AddVerdict(Json& object, const Verdict& verdict) {
  object["verify"] = verdict.result;
  object["firstMismatch"] = verdict.firstMismatch;
}

Json ImageJson(const ImageSummary& image) {
  Json object = {{"announced", image.announced}, {"received", image.received}};
  AddVerdict(object, image.verify);
  return object;
}

Json RegionJson(const RegionSummary& region) {
  Json object = {{"index", region.index},   {"start", region.start}, {"length", region.length},
                 {"blocks", region.blocks}, {"erase", region.erase}, {"efsCommand", region.efsCommand}};
  AddVerdict(object, region.verify);
  object["pastEndBytes"] = region.pastEndBytes;
  object["pastEnd"] = region.pastEnd;
  return object;
}

}  // namespace

std::string SimSummary::ToJson() const {
  Json regionList = Json::array();
  for (const RegionSummary& region : regions) regionList.push_back(RegionJson(region));
  Json violationList = Json::array();
  for (const Violation& v : violations) {
    violationList.push_back(
        {{"side", v.side == Side::Pda ? "pda" : "phone"}, {"offset", v.offset}, {"what", v.what}});
  }
  Json faultList = Json::array();
  for (const InjectedFault& f : faults) faultList.push_back({{"name", f.name}, {"at", f.at}});
  Json out = Json::object();
  if (!location.empty()) {
    out["location"] = location;
  }
  out.update({{"end", end},
              {"images", {{"eboot", ImageJson(eboot)}, {"os", ImageJson(os)}, {"phone", ImageJson(phone)}}},
              {"regions", regionList},
              {"violations", violationList},
              {"faults", faultList},
              {"verified", verified},
              {"verifyPassed", verifyPassed}});
  // Text the host sent may hold any byte: replace what is not UTF-8.
  return out.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void SimRecorder::Violate(Side side, std::uint64_t offset, std::string what) {
  std::lock_guard guard(m_lock);
  m_summary.violations.push_back({side, offset, std::move(what)});
}

void SimRecorder::Fault(std::string name, std::uint64_t at) {
  std::lock_guard guard(m_lock);
  m_summary.faults.push_back({std::move(name), at});
}

SimSummary SimRecorder::Snapshot() const {
  std::lock_guard guard(m_lock);
  return m_summary;
}

}  // namespace tw::sim

#include "sim/simsummary.h"

#include <cstdio>

namespace tw::sim {

namespace {

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string VerdictJson(const Verdict& verdict) {
  return "\"verify\":" + Quote(verdict.result) +
         ",\"firstMismatch\":" + std::to_string(verdict.firstMismatch);
}

std::string ImageJson(const ImageSummary& image) {
  return "{\"announced\":" + std::to_string(image.announced) +
         ",\"received\":" + std::to_string(image.received) + "," + VerdictJson(image.verify) + "}";
}

std::string RegionJson(const RegionSummary& region) {
  return "{\"index\":" + std::to_string(region.index) + ",\"start\":" + std::to_string(region.start) +
         ",\"length\":" + std::to_string(region.length) + ",\"blocks\":" + std::to_string(region.blocks) +
         ",\"erase\":" + Quote(region.erase) + ",\"efsCommand\":" + (region.efsCommand ? "true" : "false") +
         "," + VerdictJson(region.verify) + ",\"pastEndBytes\":" + std::to_string(region.pastEndBytes) +
         ",\"pastEnd\":" + Quote(region.pastEnd) + "}";
}

template <typename T, typename Fn>
std::string ArrayJson(const std::vector<T>& items, Fn&& toJson) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    out += (i ? "," : "") + toJson(items[i]);
  }
  return out + "]";
}

}  // namespace

std::string SimSummary::ToJson() const {
  std::string out = "{\"end\":" + Quote(end);
  out += ",\"images\":{\"eboot\":" + ImageJson(eboot) + ",\"os\":" + ImageJson(os) +
         ",\"phone\":" + ImageJson(phone) + "}";
  out += ",\"regions\":" + ArrayJson(regions, RegionJson);
  out += ",\"violations\":" + ArrayJson(violations, [](const Violation& v) {
           return "{\"side\":" + Quote(v.side == Side::Pda ? "pda" : "phone") +
                  ",\"offset\":" + std::to_string(v.offset) + ",\"what\":" + Quote(v.what) + "}";
         });
  out += ",\"faults\":" + ArrayJson(faults, [](const InjectedFault& f) {
           return "{\"name\":" + Quote(f.name) + ",\"at\":" + std::to_string(f.at) + "}";
         });
  out += std::string(",\"verified\":") + (verified ? "true" : "false");
  out += std::string(",\"verifyPassed\":") + (verifyPassed ? "true" : "false");
  return out + "}";
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

// JSON Lines as the events and record files hold them, also while a running
// program still appends: a last line without its line end is left out.
#pragma once
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tw::test {

inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  for (std::size_t at = 0, end = 0; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(nlohmann::json::parse(text.substr(at, end - at)));
  }
  return lines;
}

}  // namespace tw::test

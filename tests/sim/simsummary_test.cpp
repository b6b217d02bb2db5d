// The run's summary as one JSON object.
#include "sim/simsummary.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace tw::sim::test {
namespace {

TEST(SimSummary, JsonCarriesImagesRegionsViolationsAndFaults) {
  SimSummary summary;
  summary.end = "phone-done";
  summary.eboot = {2000, 2000, {"match", -1}};
  RegionSummary region;
  region.index = 2;
  region.start = 0x380000;
  region.length = 5000;
  region.blocks = 5;
  region.erase = "ack";
  summary.regions.push_back(region);
  summary.violations.push_back({Side::Phone, 15, "bad \"escape\"\n\x01"});
  summary.faults.push_back({"noAnswerBlock", 2});
  summary.verified = true;
  const std::string text = summary.ToJson();
  EXPECT_EQ(text.find('\n'), std::string::npos) << "one line";
  const nlohmann::json json = nlohmann::json::parse(text);

  EXPECT_EQ(json["end"], "phone-done");
  EXPECT_EQ(
      json["images"]["eboot"],
      nlohmann::json::parse(R"({"announced":2000,"received":2000,"verify":"match","firstMismatch":-1})"));
  EXPECT_EQ(json["images"]["os"]["verify"], "not-checked");
  ASSERT_EQ(json["regions"].size(), 1u);
  EXPECT_EQ(json["regions"][0]["start"], 3670016);
  EXPECT_EQ(json["regions"][0]["length"], 5000);
  EXPECT_EQ(json["regions"][0]["blocks"], 5);
  EXPECT_EQ(json["regions"][0]["erase"], "ack");
  EXPECT_EQ(json["regions"][0]["efsCommand"], false);
  EXPECT_EQ(json["violations"][0],
            nlohmann::json::parse(R"({"side":"phone","offset":15,"what":"bad \"escape\"\n\u0001"})"));
  EXPECT_EQ(json["faults"], nlohmann::json::parse(R"([{"name":"noAnswerBlock","at":2}])"));
  EXPECT_EQ(json["verified"], true);
  EXPECT_EQ(json["verifyPassed"], false);
}

// A handset with a location names it first; one without prints no such key.
TEST(SimSummary, LocationOnlyWhenTheHandsetHasOne) {
  SimSummary summary;
  EXPECT_EQ(summary.ToJson().rfind("{\"end\":", 0), 0u) << summary.ToJson();
  summary.location = "1-2.4";
  EXPECT_EQ(summary.ToJson().rfind("{\"location\":\"1-2.4\",\"end\":", 0), 0u) << summary.ToJson();
}

// A host's bytes that are not UTF-8 never make the summary unreadable.
TEST(SimSummary, TextThatIsNotUtf8StaysReadable) {
  SimSummary summary;
  summary.violations.push_back({Side::Pda, 0, std::string("bad \xff\xfe byte")});
  const nlohmann::json json = nlohmann::json::parse(summary.ToJson());
  EXPECT_EQ(json["violations"][0]["what"], "bad \xEF\xBF\xBD\xEF\xBF\xBD byte");
}

}  // namespace
}  // namespace tw::sim::test

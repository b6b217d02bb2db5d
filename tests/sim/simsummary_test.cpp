// The run's summary as one JSON object.
#include "sim/simsummary.h"

#include <gtest/gtest.h>

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
  summary.violations.push_back({Side::Phone, 15, "bad \"escape\"\n"});
  summary.faults.push_back({"noAnswerBlock", 2});
  summary.verified = true;
  std::string json = summary.ToJson();
  for (const char* part :
       {"\"end\":\"phone-done\"", "\"eboot\":{\"announced\":2000,\"received\":2000,\"verify\":\"match\"",
        "\"start\":3670016,\"length\":5000,\"blocks\":5,\"erase\":\"ack\"",
        "{\"side\":\"phone\",\"offset\":15,\"what\":\"bad \\\"escape\\\"\\u000a\"}",
        "\"faults\":[{\"name\":\"noAnswerBlock\",\"at\":2}]", "\"verified\":true,\"verifyPassed\":false}"}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\nin " << json;
  }
  EXPECT_EQ(json.front(), '{');
}

}  // namespace
}  // namespace tw::sim::test

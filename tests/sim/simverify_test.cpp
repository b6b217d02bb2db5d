// Verification catches a single flipped byte in any image and any region.
#include "sim/simverify.h"

#include <gtest/gtest.h>

#include "download/phoneparams.h"
#include "tests/sim/scriptedrun.h"
#include "tests/sim/simrun.h"

namespace tw::sim::test {
namespace {

constexpr std::uint32_t kPhoneSize = 0x380000 + 5000;

class VerifyTest : public ::testing::Test {
 protected:
  // One faultless run over the full region table; every case judges its flash.
  static void SetUpTestSuite() {
    s_plan = new RunPlan(SmallPlan());
    s_plan->phoneImage = Pattern(kPhoneSize, 41);
    s_plan->phoneImage[kPhoneSize - 1] = 0x5A;
    s_plan->regions.clear();
    for (const RegionRecord& region : MakePhoneParams(1).regions) {
      s_plan->regions.push_back(
          {region.dwStart, GetRegionWriteLength(region, kPhoneSize), region.dwAreaType == AREA_EFS});
    }
    s_run = new SimRun(SimConfig{});
    s_run->handset.Start();
    PlayRun(s_run->channel.Provider(), *s_plan);
    s_summary = new SimSummary(s_run->End());
  }
  static void TearDownTestSuite() {
    delete s_summary;
    delete s_run;
    delete s_plan;
  }

  static SimImages Expected() {
    SimImages images;
    images.hasEboot = true;
    images.eboot = s_plan->eboot;
    images.os = s_plan->os;
    images.phone = s_plan->phoneImage;
    return images;
  }

  static SimSummary Judge(const SimImages& expected) {
    SimRecorder recorder;
    recorder.Update([](SimSummary& s) { s = *s_summary; });
    VerifyRun(expected, s_run->handset.Flash(), recorder);
    return recorder.Snapshot();
  }

  static RunPlan* s_plan;
  static SimRun* s_run;
  static SimSummary* s_summary;
};

RunPlan* VerifyTest::s_plan = nullptr;
SimRun* VerifyTest::s_run = nullptr;
SimSummary* VerifyTest::s_summary = nullptr;

TEST_F(VerifyTest, FaultlessRunMatchesEveryImageAndRegion) {
  ASSERT_TRUE(s_summary->violations.empty()) << s_summary->ToJson();
  SimSummary judged = Judge(Expected());
  EXPECT_TRUE(judged.verified);
  EXPECT_TRUE(judged.verifyPassed) << judged.ToJson();
  EXPECT_EQ(judged.eboot.verify.result, "match");
  EXPECT_EQ(judged.os.verify.result, "match");
  EXPECT_EQ(judged.phone.verify.result, "match");
  ASSERT_EQ(judged.regions.size(), 7u);
  for (std::size_t i = 1; i < judged.regions.size(); ++i) {
    EXPECT_EQ(judged.regions[i].verify.result, "match") << "region " << i + 1;
  }
  EXPECT_EQ(judged.regions[1].pastEnd, "match");
}

TEST_F(VerifyTest, SingleFlippedByteIsCaughtInEveryImageAndRegion) {
  struct Flip {
    const char* where;
    std::vector<std::uint8_t> SimImages::*image;
    std::size_t offset;
    int region;  // 0 for the EBOOT and OS images
  };
  std::vector<Flip> flips = {
      {"EBOOT first byte", &SimImages::eboot, 0, 0},
      {"EBOOT last byte", &SimImages::eboot, 2499, 0},
      {"OS image middle", &SimImages::os, 2600, 0},
      {"OS image last byte", &SimImages::os, 4999, 0},
  };
  const std::vector<RegionRecord> regions = MakePhoneParams(1).regions;
  for (std::size_t r = 1; r < regions.size(); ++r) {
    std::uint32_t length = GetRegionWriteLength(regions[r], kPhoneSize);
    flips.push_back({"region first byte", &SimImages::phone, regions[r].dwStart, static_cast<int>(r + 1)});
    flips.push_back(
        {"region last byte", &SimImages::phone, regions[r].dwStart + length - 1, static_cast<int>(r + 1)});
  }
  for (const Flip& flip : flips) {
    SCOPED_TRACE(std::string(flip.where) + " at " + std::to_string(flip.offset) + " region " +
                 std::to_string(flip.region));
    SimImages expected = Expected();
    (expected.*flip.image)[flip.offset] ^= 0x01;
    SimSummary judged = Judge(expected);
    EXPECT_FALSE(judged.verifyPassed);
    if (flip.image == &SimImages::eboot) {
      EXPECT_EQ(judged.eboot.verify.firstMismatch, static_cast<std::int64_t>(flip.offset));
    } else if (flip.image == &SimImages::os) {
      EXPECT_EQ(judged.os.verify.firstMismatch, static_cast<std::int64_t>(flip.offset));
    } else {
      const RegionSummary& region = judged.regions[flip.region - 1];
      EXPECT_EQ(region.verify.result, "mismatch");
      EXPECT_EQ(region.verify.firstMismatch, static_cast<std::int64_t>(flip.offset - region.start));
      EXPECT_EQ(judged.phone.verify.firstMismatch, static_cast<std::int64_t>(flip.offset));
    }
  }
}

TEST_F(VerifyTest, BytesPastTheImageEndAreJudgedOnTheirOwn) {
  SimImages expected = Expected();
  expected.phoneTail = {0x49};  // the host sent zeros behind the image
  SimSummary judged = Judge(expected);
  EXPECT_EQ(judged.regions[1].pastEnd, "mismatch");
  EXPECT_EQ(judged.regions[1].verify.result, "match");
  EXPECT_TRUE(judged.verifyPassed);
}

TEST_F(VerifyTest, RegionWhoseEraseWasRefusedIsMissing) {
  SimRecorder recorder;
  recorder.Update([](SimSummary& s) {
    s = *s_summary;
    s.regions[2].erase = "nak";
  });
  VerifyRun(Expected(), s_run->handset.Flash(), recorder);
  SimSummary judged = recorder.Snapshot();
  EXPECT_FALSE(judged.verifyPassed);
  ASSERT_EQ(judged.regions.size(), 7u) << "judged in place, not listed twice";
  EXPECT_EQ(judged.regions[2].verify.result, "missing");
  EXPECT_EQ(judged.phone.verify.firstMismatch, judged.regions[2].start);
}

TEST_F(VerifyTest, ShorterImageAndMissingRegionFail) {
  SimImages expected = Expected();
  expected.os.push_back(0);
  SimSummary judged = Judge(expected);
  EXPECT_EQ(judged.os.verify.firstMismatch, 5000);
  EXPECT_FALSE(judged.verifyPassed);

  SimFlash empty;
  SimRecorder recorder;
  VerifyRun(Expected(), empty, recorder);
  SimSummary none = recorder.Snapshot();
  EXPECT_FALSE(none.verifyPassed);
  ASSERT_EQ(none.regions.size(), 6u);
  EXPECT_EQ(none.regions[0].verify.result, "missing");
}

}  // namespace
}  // namespace tw::sim::test

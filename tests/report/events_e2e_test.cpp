// tidewell --headless with --events and --record against tidewell-sim on a
// shared device directory: the events of a whole run parse, follow the
// schema, come in a sound order and agree with the handset's own summary;
// the record names the package actually flashed; a failure is named; a
// record file that cannot be written never stops a run.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/cli/childprocess.h"
#include "tests/cli/headlessrunfixture.h"
#include "tests/cli/jsonlines.h"

namespace tw::test {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kHeaderSize = 36;  // the package's trailing header

// The SHA-256 of a byte range of a file, by the system's sha256sum.
std::string SystemSha256(const std::string& path, std::uint64_t offset, std::uint64_t size) {
  const std::string command = "tail -c +" + std::to_string(offset + 1) + " '" + path + "' | head -c " +
                              std::to_string(size) + " | sha256sum";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {};
  char digest[65] = {};
  const std::size_t n = std::fread(digest, 1, 64, pipe);
  ::pclose(pipe);
  return std::string(digest, n);
}

using EventsRun = HeadlessRunFixture;

// Every stage that starts ends (innermost first), one run end follows the
// one run start, and progress never goes back within a stage except to its
// closing report.
void ExpectSoundOrder(const std::vector<Json>& events) {
  std::vector<std::string> open;
  int runsStarted = 0;
  int runsEnded = 0;
  std::map<std::string, int> lastPercent;
  bool bClosed = false;
  for (const Json& event : events) {
    ASSERT_EQ(event["schema"], 1) << event;
    ASSERT_TRUE(event["time"].is_string()) << event;
    const std::string name = event["event"];
    if (name == "run_started") {
      ++runsStarted;
      EXPECT_EQ(runsStarted, runsEnded + 1) << "a run starts before the last one ended";
    } else if (name == "run_ended") {
      ++runsEnded;
      EXPECT_TRUE(open.empty()) << "stages left open: " << open.size();
    } else if (name == "stage_started") {
      open.push_back(event["stage"]);
      lastPercent.erase(event["stage"].get<std::string>());
      bClosed = false;
    } else if (name == "stage_ended") {
      ASSERT_FALSE(open.empty()) << event;
      EXPECT_EQ(open.back(), event["stage"]) << event;
      open.pop_back();
    } else if (name == "progress" && event["stage"].is_string()) {
      const std::string stage = event["stage"];
      const int percent = event["percent"];
      auto it = lastPercent.find(stage);
      if (it != lastPercent.end() && percent < it->second) {
        EXPECT_FALSE(bClosed) << "progress went back twice in " << stage;
        EXPECT_EQ(percent, 0) << event;
        bClosed = true;
      }
      lastPercent[stage] = percent;
    }
  }
  EXPECT_EQ(runsStarted, 1);
  EXPECT_EQ(runsEnded, 1);
}

const Json* FindEvent(const std::vector<Json>& events, const std::string& name) {
  for (const Json& event : events) {
    if (event["event"] == name) return &event;
  }
  return nullptr;
}

TEST_F(EventsRun, WholeRunEventsAndRecordAgreeWithTheHandset) {
  const std::string eventsPath = m_dir + "/events.jsonl";
  const std::string recordPath = m_dir + "/record.jsonl";
  RunResult r = Run({}, {"--events", eventsPath, "--record", recordPath});
  ASSERT_EQ(r.nUpgrader, 0) << r.strProgress;
  const std::vector<Json> events = JsonLines(ReadFile(eventsPath));
  ExpectSoundOrder(events);
  const Json summary = Json::parse(r.strSummary);
  ASSERT_EQ(summary["verifyPassed"], true) << r.strSummary;

  // The run's end: done, and the bytes the handset received per image.
  const Json* end = FindEvent(events, "run_ended");
  ASSERT_NE(end, nullptr);
  EXPECT_EQ((*end)["outcome"], "done");
  EXPECT_EQ((*end)["slot"], 0);
  EXPECT_EQ((*end)["bytes"]["eboot"], summary["images"]["eboot"]["received"]);
  EXPECT_EQ((*end)["bytes"]["os_image"], summary["images"]["os"]["received"]);
  EXPECT_EQ((*end)["bytes"]["phone"], summary["images"]["phone"]["received"]);
  for (const char* stage : {"hello", "eboot", "os_image", "phone_mode", "port_opening", "phone"}) {
    EXPECT_TRUE((*end)["durations_ms"].contains(stage)) << stage;
  }

  // Each region the handset saw written is a region stage with its address
  // and block count.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> reported;
  for (const Json& event : events) {
    if (event["event"] == "stage_ended" && event["stage"] == "region" && event["blocks"] > 0) {
      EXPECT_EQ(event["result"], "done") << event;
      EXPECT_EQ(event["bytes"], event["blocks"].get<std::uint64_t>() * 1024) << event;
      reported.emplace_back(event["start"], event["blocks"]);
    }
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> received;
  for (const Json& region : summary["regions"]) {
    if (region["blocks"] > 0) received.emplace_back(region["start"], region["blocks"]);
  }
  EXPECT_EQ(reported, received);

  // A device arrival comes first; the log lines are the log box's.
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front()["event"], "device_arrived");
  EXPECT_EQ(events.front()["kind"], "pda");
  const Json* firstLog = FindEvent(events, "log");
  ASSERT_NE(firstLog, nullptr);
  EXPECT_EQ((*firstLog)["text"], "[StartDownload => 0] StartDownload !!\r\n");

  // The record: the package flashed, hashed here by another tool.
  const std::vector<Json> records = JsonLines(ReadFile(recordPath));
  ASSERT_EQ(records.size(), 1u);
  const Json& record = records[0];
  EXPECT_EQ(record["package"]["path"], m_package);
  const std::uint64_t fileSize = std::filesystem::file_size(m_package);
  const std::uint64_t phoneAt = fileSize - kHeaderSize - kSmallSizes.phone;
  const std::uint64_t pdaAt = phoneAt - kSmallSizes.pda;
  const std::uint64_t ebootAt = pdaAt - kSmallSizes.eboot;
  const Json& images = record["package"]["images"];
  EXPECT_EQ(images["eboot"]["size"], kSmallSizes.eboot);
  EXPECT_EQ(images["eboot"]["sha256"], SystemSha256(m_package, ebootAt, kSmallSizes.eboot));
  EXPECT_EQ(images["pda"]["sha256"], SystemSha256(m_package, pdaAt, kSmallSizes.pda));
  EXPECT_EQ(images["phone"]["sha256"], SystemSha256(m_package, phoneAt, kSmallSizes.phone));
  EXPECT_EQ(record["package"]["options"]["full_set"], 0);
  EXPECT_EQ(record["slot"], 0);
  EXPECT_EQ(record["com_port"], 7);
  EXPECT_EQ(record["outcome"], "done");
  EXPECT_EQ(record["bytes"], (*end)["bytes"]);
  EXPECT_LE(record["started"].get<std::string>(), record["ended"].get<std::string>());
}

// A phone block without its answer: the run's end, the record and the line
// on stderr name the region and the block.
TEST_F(EventsRun, AFailureIsNamedWithItsRegionAndBlock) {
  const std::string recordPath = m_dir + "/record.jsonl";
  RunResult r = Run({"--no-answer-block", "10"}, {"--events", "-", "--record", recordPath});
  EXPECT_EQ(r.nUpgrader, 1) << r.strProgress;
  // The events on stdout, the log lines on stderr.
  const std::vector<Json> events = JsonLines(ReadFile(m_dir + "/tw.out"));
  ExpectSoundOrder(events);
  EXPECT_NE(r.strProgress.find("[PDA]OS image download complete.\n"), std::string::npos);
  const Json* end = FindEvent(events, "run_ended");
  ASSERT_NE(end, nullptr);
  EXPECT_EQ((*end)["outcome"], "failed");
  EXPECT_EQ((*end)["failed_stage"], "region");
  EXPECT_EQ((*end)["failed_region"], "CODE");
  EXPECT_EQ((*end)["reason"], "CODE block 10 of 64 not acknowledged");
  EXPECT_NE(
      r.strProgress.find("tidewell: slot 0 failed in region CODE: CODE block 10 of 64 not acknowledged\n"),
      std::string::npos)
      << r.strProgress;
  const std::vector<Json> records = JsonLines(ReadFile(recordPath));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["reason"], (*end)["reason"]);
}

// The handset unplugged during the OS image: said as such, not as a time-out.
TEST_F(EventsRun, AHandsetUnpluggedIsNamedAsVanished) {
  RunResult r = Run({"--disconnect-pda", "100000"}, {"--events", "-"});
  EXPECT_EQ(r.nUpgrader, 1) << r.strProgress;
  const std::vector<Json> events = JsonLines(r.strLog);
  ExpectSoundOrder(events);
  const Json* end = FindEvent(events, "run_ended");
  ASSERT_NE(end, nullptr);
  EXPECT_EQ((*end)["failed_stage"], "os_image");
  EXPECT_EQ((*end)["reason"], "the device vanished (no answer to a PDA OS image packet)");
  EXPECT_NE(r.strProgress.find("tidewell: slot 0 failed in os_image: the device vanished"), std::string::npos)
      << r.strProgress;
}

// A record file on a full disk or where none can be made: the run completes
// and says so on stderr. Records already in a file stay as they were.
TEST_F(EventsRun, ARecordThatCannotBeWrittenNeverStopsTheRun) {
  for (const char* path : {"/dev/full", "/proc/version"}) {
    RunResult r = Run({}, {"--record", path});
    EXPECT_EQ(r.nUpgrader, 0) << path << "\n" << r.strProgress;
    EXPECT_NE(r.strProgress.find(std::string("tidewell: cannot ")), std::string::npos) << r.strProgress;
    EXPECT_NE(r.strProgress.find(path), std::string::npos) << r.strProgress;
  }
  const std::string recordPath = m_dir + "/record.jsonl";
  const std::string earlier = "{\"schema\":1,\"outcome\":\"done\",\"earlier\":true}\n";
  std::ofstream(recordPath) << earlier;
  RunResult r = Run({}, {"--record", recordPath});
  EXPECT_EQ(r.nUpgrader, 0) << r.strProgress;
  const std::string text = ReadFile(recordPath);
  EXPECT_EQ(text.rfind(earlier, 0), 0u);
  EXPECT_EQ(JsonLines(text).size(), 2u);
}

TEST_F(EventsRun, AnEventsFileThatCannotBeOpenedIsAUsageError) {
  RunResult r = Run({}, {"--events", m_dir + "/missing/events.jsonl"});
  EXPECT_EQ(r.nUpgrader, 2);
  EXPECT_NE(
      r.strProgress.find("cannot open the events file " + m_dir + "/missing/events.jsonl: No such file"),
      std::string::npos)
      << r.strProgress;
}

}  // namespace
}  // namespace tw::test

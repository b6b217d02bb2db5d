// The report module's pieces: SHA-256, the line output, timestamps, and the
// events of a run as the writer puts them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "report/eventswriter.h"
#include "report/lineoutput.h"
#include "report/recordwriter.h"
#include "report/runtally.h"
#include "report/sha256.h"

namespace tw::test {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// FIPS 180-4 examples; the million 'a's fed in uneven pieces across blocks.
TEST(Sha256, KnownDigests) {
  EXPECT_EQ(Sha256Hex(Bytes("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex(Bytes("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex(Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  CSha256 hash;
  const std::string piece(997, 'a');
  std::size_t left = 1000000;
  while (left > 0) {
    const std::size_t n = std::min(left, piece.size());
    hash.Update(Bytes(piece.substr(0, n)));
    left -= n;
  }
  EXPECT_EQ(hash.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(UtcTimestamp, MillisecondsInUtc) {
  using namespace std::chrono;
  const system_clock::time_point when = sys_days{2024y / 2 / 29} + 23h + 59min + 58s + 7ms;
  EXPECT_EQ(UtcTimestamp(when), "2024-02-29T23:59:58.007Z");
}

class LineOutputTest : public testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() / ("tidewell-lines-" + std::to_string(::getpid()));
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::filesystem::path m_dir;
  std::vector<std::string> m_errors;
  CLineOutput::ErrorSink Errors() {
    return [this](const std::string& message) { m_errors.push_back(message); };
  }
};

// A second writer appends after the first one's lines; nothing is replaced.
TEST_F(LineOutputTest, AppendsAfterEarlierLines) {
  const std::string path = (m_dir / "record.jsonl").string();
  for (const char* line : {"{\"run\":1}", "{\"run\":2}"}) {
    CLineOutput out(Errors());
    std::string error;
    ASSERT_TRUE(out.OpenFile(path, &error)) << error;
    EXPECT_TRUE(out.WriteLine(line));
  }
  EXPECT_EQ(Lines(path), (std::vector<std::string>{"{\"run\":1}", "{\"run\":2}"}));
  EXPECT_TRUE(m_errors.empty());
}

// A full disk: each failure streak is told once, with the reason.
TEST_F(LineOutputTest, FullDiskIsToldOnce) {
  CLineOutput out(Errors());
  std::string error;
  ASSERT_TRUE(out.OpenFile("/dev/full", &error)) << error;
  EXPECT_FALSE(out.WriteLine("{}"));
  EXPECT_FALSE(out.WriteLine("{}"));
  ASSERT_EQ(m_errors.size(), 1u);
  EXPECT_NE(m_errors[0].find("/dev/full: No space left on device"), std::string::npos) << m_errors[0];
}

TEST_F(LineOutputTest, AFileThatCannotBeOpenedSaysWhy) {
  CLineOutput out(Errors());
  std::string error;
  EXPECT_FALSE(out.OpenFile((m_dir / "missing" / "record.jsonl").string(), &error));
  EXPECT_EQ(error, "No such file or directory");
}

// The writer's events for a short run, in the order the run reported them:
// progress only when it changes, stages with their regions, and a run end
// that adds up bytes and durations and names the failed region.
TEST(EventsWriter, WritesOneLinePerEventAndSumsTheRun) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  CLineOutput out(nullptr);
  out.UseStream(stream, "test");
  CEventsWriter writer(out);
  writer.OnDevice(DeviceReport{true, "pda", "pda0", "1-2.4"});
  writer.OnRunStarted(3);
  writer.OnStageStarted(3, StageInfo(RunStage::Phone, 7));
  const StageInfo code("CODE", 0x380000, 3000, 3, 7);
  writer.OnStageStarted(3, code);
  for (int pos : {0, 0, 33, 33, 66}) writer.OnProgress(3, pos, "CODE " + std::to_string(pos));
  writer.OnLogLine(3, "a line\r\n");
  StageOutcome failed(StageResult::Failed("CODE block 3 of 3 not acknowledged"), 2048, "failed");
  writer.OnStageEnded(3, code, failed);
  writer.OnStageEnded(3, StageInfo(RunStage::Phone, 7), StageOutcome(failed.result, 2048));
  RunEnd end;
  end.nSlot = 3;
  end.outcome = RunOutcome::Failed;
  end.reason = failed.result.reason;
  end.location = "1-2.4";
  end.nComPort = 7;
  writer.OnRunEnded(end);

  std::rewind(stream);
  std::vector<nlohmann::json> events;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, stream)) events.push_back(nlohmann::json::parse(buffer));
  std::fclose(stream);

  std::vector<std::string> names;
  for (const auto& event : events) {
    EXPECT_EQ(event["schema"], 1);
    EXPECT_EQ(event["time"].get<std::string>().size(), 24u) << event;
    names.push_back(event["event"]);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"device_arrived", "run_started", "stage_started",
                                             "stage_started", "progress", "progress", "progress", "log",
                                             "stage_ended", "stage_ended", "run_ended"}));
  EXPECT_TRUE(events[0]["slot"].is_null());
  EXPECT_EQ(events[0]["location"], "1-2.4");
  EXPECT_EQ(events[3]["region"], "CODE");
  EXPECT_EQ(events[3]["start"], 0x380000);
  EXPECT_EQ(events[3]["blocks"], 3);
  EXPECT_EQ(events[5]["percent"], 33);
  EXPECT_EQ(events[5]["stage"], "region");
  EXPECT_EQ(events[7]["text"], "a line\r\n");
  const nlohmann::json& last = events.back();
  EXPECT_EQ(last["slot"], 3);
  EXPECT_EQ(last["location"], "1-2.4");
  EXPECT_EQ(last["com_port"], 7);
  EXPECT_EQ(last["outcome"], "failed");
  EXPECT_EQ(last["reason"], "CODE block 3 of 3 not acknowledged");
  EXPECT_EQ(last["failed_stage"], "region");
  EXPECT_EQ(last["failed_region"], "CODE");
  EXPECT_EQ(last["bytes"]["phone"], 2048);
  EXPECT_EQ(last["bytes"]["eboot"], 0);
  EXPECT_TRUE(last["durations_ms"].contains("phone"));
  EXPECT_FALSE(last["durations_ms"].contains("region"));
}

// Handsets plugged in together: both arrive before either run starts, so
// the last arrival names neither run. Each record takes its handset's
// location and COM port from its run's end; a port that failed to open is
// the one its opening named; a run whose end names no location (no device
// opened) keeps the last arrival's.
TEST_F(LineOutputTest, RecordsTakeLocationAndPortFromTheRunsEnd) {
  const std::string path = (m_dir / "record.jsonl").string();
  CRecordWriter writer(path, nullptr, Errors());
  writer.OnDevice(DeviceReport{true, "pda", "dev/pda@1-1", "1-1"});
  writer.OnDevice(DeviceReport{true, "pda", "dev/pda@1-2", "1-2"});
  for (int slot : {0, 1, 2, 3}) writer.OnRunStarted(slot);
  const StageInfo opening(RunStage::PortOpening, 13);
  writer.OnStageStarted(2, opening);
  writer.OnStageEnded(2, opening, StageOutcome(StageResult::Failed("COM13 did not open")));
  const std::vector<RunEnd> ends{{1, RunOutcome::Done, "", {}, "1-2", 12},
                                 {0, RunOutcome::Done, "", {}, "1-1", 11},
                                 {2, RunOutcome::Failed, "COM13 did not open", {}, "1-3", 0},
                                 {3, RunOutcome::Failed, "no handset answered", {}, "", 0}};
  for (const RunEnd& end : ends) writer.OnRunEnded(end);

  const std::vector<std::string> lines = Lines(path);
  ASSERT_EQ(lines.size(), ends.size());
  const std::vector<std::tuple<int, std::string, nlohmann::json>> expected{
      {1, "1-2", 12}, {0, "1-1", 11}, {2, "1-3", 13}, {3, "1-2", nullptr}};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const nlohmann::json record = nlohmann::json::parse(lines[i]);
    EXPECT_EQ(record["slot"], std::get<0>(expected[i])) << lines[i];
    EXPECT_EQ(record["location"], std::get<1>(expected[i])) << lines[i];
    EXPECT_EQ(record["com_port"], std::get<2>(expected[i])) << lines[i];
  }
  EXPECT_TRUE(m_errors.empty());
}

}  // namespace
}  // namespace tw::test

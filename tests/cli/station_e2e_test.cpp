// tidewell --headless with several slots and as a station, against several
// tidewell-sim handsets in one device directory, all as child processes:
// handsets side by side and one after the other, each COM port paired with
// its handset by location (read from the events file), a handset unplugged
// mid-run, one that waits for a free slot, and the station's end on a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "platform/ttydevice.h"
#include "tests/cli/childprocess.h"
#include "tests/cli/headlessrunfixture.h"
#include "tests/cli/jsonlines.h"

namespace tw::test {
namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;

// The bound of a whole station process: several runs side by side on a
// loaded machine (and under a sanitizer) stay far below it.
constexpr int kStationBoundSeconds = 400;

// One simulated handset: where it is plugged in, its modem's COM port and
// any further switches.
struct Handset {
  std::string location;
  int nCom = 0;
  std::vector<std::string> switches;
};

// Handset k of n at 1-k with COM(10+k); with bReversePorts each one's modem
// port waits for the next handset's, so the ports arrive last to first.
std::vector<Handset> Handsets(int n, bool bReversePorts) {
  std::vector<Handset> handsets;
  for (int k = 1; k <= n; ++k) {
    Handset handset{"1-" + std::to_string(k), 10 + k, {}};
    if (bReversePorts && k < n) {
      handset.switches = {"--com-after", "COM" + std::to_string(11 + k) + "@1-" + std::to_string(k + 1)};
    }
    handsets.push_back(handset);
  }
  return handsets;
}

std::vector<Json> Named(const std::vector<Json>& events, const std::string& name) {
  std::vector<Json> found;
  for (const Json& event : events) {
    if (event["event"] == name) found.push_back(event);
  }
  return found;
}

// "2026-12-11T01:15:14.303Z" as a point of the system clock.
std::chrono::system_clock::time_point EventTime(const Json& event) {
  std::tm utc{};
  int ms = 0;
  const std::string text = event["time"];
  std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &utc.tm_year, &utc.tm_mon, &utc.tm_mday, &utc.tm_hour,
              &utc.tm_min, &utc.tm_sec, &ms);
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  return std::chrono::system_clock::from_time_t(timegm(&utc)) + std::chrono::milliseconds(ms);
}

int CountEntries(const std::string& dir) {
  std::error_code ec;
  int n = 0;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    ++n;
  return n;
}

// What the process's descriptors name (a device node's path).
std::set<std::string> DescriptorTargets(pid_t pid) {
  std::set<std::string> targets;
  std::error_code ec;
  const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code linkError;
    targets.insert(fs::read_symlink(it->path(), linkError).string());
  }
  return targets;
}

// The number between open and the close that follows it ("[COM11]" gives
// 11 for "[COM" and ']'); none when there are not only digits between.
std::optional<int> NumberBetween(const std::string& text, const std::string& open, char close) {
  const std::size_t at = text.find(open);
  if (at == std::string::npos) return std::nullopt;
  const std::size_t from = at + open.size();
  const std::size_t end = text.find(close, from);
  if (end == std::string::npos || end == from) return std::nullopt;
  const std::string digits = text.substr(from, end - from);
  if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); })) {
    return std::nullopt;
  }
  return std::stoi(digits);
}

// Every run's events go to its slot: a run's stages name its COM port, and
// the texts it logs name its slot ("[StartDownload => 2]") and its COM port.
void ExpectEachEventOnItsSlot(const std::vector<Json>& events) {
  std::map<int, std::vector<Json>> open;  // by slot: the events of its run so far
  for (const Json& event : events) {
    if (event["slot"].is_null()) continue;
    const int slot = event["slot"];
    open[slot].push_back(event);
    if (event["event"] != "run_ended") continue;
    const Json comPort = event["com_port"];
    for (const Json& of : open[slot]) {
      if (of.contains("com_port") && of["event"] != "run_ended") {
        EXPECT_EQ(of["com_port"], comPort) << of;
      }
      if (of["event"] != "log") continue;
      const std::string text = of["text"];
      if (const std::optional<int> port = NumberBetween(text, "[COM", ']')) {
        EXPECT_EQ(comPort, *port) << of;
      }
      if (const std::optional<int> named = NumberBetween(text, "[StartDownload => ", ']')) {
        EXPECT_EQ(slot, *named) << of;
      }
    }
    open.erase(slot);
  }
}

// Mirrors the entries of one device directory into another, as a rig whose
// modem ports carry no location would show them: "COM11@1-1" is "COM11"
// there, the download interfaces keep their names.
class CLocationlessPorts {
 public:
  CLocationlessPorts(std::string from, std::string to)
      : m_thread([this, from = std::move(from), to = std::move(to)](std::stop_token stop) {
          Mirror(stop, from, to);
        }) {}

 private:
  static void Mirror(const std::stop_token& stop, const std::string& from, const std::string& to) {
    std::map<std::string, std::string> mirrored;  // entry in from: its name in to
    while (!stop.stop_requested()) {
      std::set<std::string> present;
      std::error_code ec;
      for (auto it = fs::directory_iterator(from, ec); !ec && it != fs::directory_iterator();
           it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.front() == '.') continue;
        present.insert(name);
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (mirrored.contains(name) || linkError) continue;
        const std::string shown = name.starts_with("COM") ? name.substr(0, name.find('@')) : name;
        fs::create_symlink(target, to + "/" + shown, linkError);
        mirrored[name] = shown;
      }
      for (auto it = mirrored.begin(); it != mirrored.end();) {
        if (present.contains(it->first)) {
          ++it;
          continue;
        }
        fs::remove(to + "/" + it->second, ec);
        it = mirrored.erase(it);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  std::jthread m_thread;
};

class StationRun : public HeadlessRunFixture {
 protected:
  // In a sanitizer build a report of the upgrader or a handset fails the
  // test, also where the exit status it gives (1) is the one expected.
  void TearDown() override {
    for (const auto& entry : fs::directory_iterator(m_dir)) {
      if (entry.path().extension() != ".err") continue;
      const std::string err = ReadFile(entry.path().string());
      EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << entry.path() << "\n" << err;
      EXPECT_EQ(err.find("runtime error:"), std::string::npos) << entry.path() << "\n" << err;
    }
    HeadlessRunFixture::TearDown();
  }

  std::string EventsPath() const { return m_dir + "/events.jsonl"; }
  std::string RecordPath() const { return m_dir + "/record.jsonl"; }
  std::string SimOut(const Handset& handset) const { return m_dir + "/sim-" + handset.location + ".out"; }

  // Plugs a simulated handset into dir (the shared device directory unless given).
  std::unique_ptr<ChildProcess> PlugIn(const Handset& handset, const std::string& dir = {}) {
    std::vector<std::string> args{
        TIDEWELL_SIM_BIN, "--device-dir", dir.empty() ? m_devDir : dir, "--verify",  m_package, "--location",
        handset.location, "--com",        std::to_string(handset.nCom), "--timeout", "300000"};
    args.insert(args.end(), handset.switches.begin(), handset.switches.end());
    return std::make_unique<ChildProcess>(args, SimOut(handset), m_dir + "/sim-" + handset.location + ".err");
  }

  // The upgrader, headless, writing its events (and records) into the test's directory.
  std::unique_ptr<ChildProcess> StartUpgrader(const std::vector<std::string>& options) {
    std::vector<std::string> args{TIDEWELL_BIN, "--headless", "--device-dir", m_devDir,   "--package",
                                  m_package,    "--timeout",  "350",          "--events", EventsPath()};
    args.insert(args.end(), options.begin(), options.end());
    return std::make_unique<ChildProcess>(args, m_dir + "/tw.out", m_dir + "/tw.err");
  }

  std::vector<Json> Events() const { return JsonLines(ReadFile(EventsPath())); }

  // Waits until the events so far satisfy done; false after the bound.
  bool WaitForEvents(const std::function<bool(const std::vector<Json>&)>& done,
                     int seconds = kStationBoundSeconds) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done(Events())) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  // The handset ended, received every image as the package holds it, and
  // saw no breach of the protocol.
  void ExpectVerified(ChildProcess& process, const Handset& handset) const {
    EXPECT_EQ(process.Wait(30), 0) << handset.location;
    const std::string text = ReadFile(SimOut(handset));
    const Json summary = Json::parse(text.empty() ? "{}" : text);
    EXPECT_EQ(summary["location"], handset.location) << text;
    EXPECT_EQ(summary["verifyPassed"], true) << text;
    EXPECT_EQ(summary["violations"], Json::array()) << text;
  }

  // Each run that got a COM port has the port of the handset at its location.
  static void ExpectPairedAsTheHandsets(const std::vector<Json>& runs, const std::vector<Handset>& handsets) {
    for (const Json& run : runs) {
      if (run["com_port"].is_null()) continue;
      const auto handset = std::find_if(handsets.begin(), handsets.end(),
                                        [&run](const Handset& h) { return h.location == run["location"]; });
      ASSERT_NE(handset, handsets.end()) << run;
      EXPECT_EQ(run["com_port"], handset->nCom) << run;
    }
  }
};

// Four handsets at once, their modem ports arriving last to first: every
// handset verifies, and each slot took the port at its handset's location,
// in its events, its record and its log lines.
TEST_F(StationRun, FourHandsetsAtOnceEachSlotTakesThePortAtItsLocation) {
  const std::vector<Handset> handsets = Handsets(4, true);
  std::vector<std::unique_ptr<ChildProcess>> plugged;
  for (const Handset& handset : handsets) plugged.push_back(PlugIn(handset));
  auto upgrader = StartUpgrader({"--slots", "4", "--record", RecordPath()});
  ASSERT_EQ(upgrader->Wait(kStationBoundSeconds), 0) << ReadFile(m_dir + "/tw.err");
  for (std::size_t k = 0; k < handsets.size(); ++k) ExpectVerified(*plugged[k], handsets[k]);

  const std::vector<Json> events = Events();
  std::vector<std::string> ports;
  for (const Json& event : Named(events, "device_arrived")) {
    if (event["kind"] == "port") ports.push_back(event["name"]);
  }
  EXPECT_EQ(ports, (std::vector<std::string>{"COM14", "COM13", "COM12", "COM11"}));
  const std::vector<Json> runs = Named(events, "run_ended");
  ASSERT_EQ(runs.size(), 4u);
  std::set<int> slots;
  for (const Json& run : runs) {
    EXPECT_EQ(run["outcome"], "done") << run;
    EXPECT_FALSE(run["com_port"].is_null()) << run;
    slots.insert(run["slot"].get<int>());
  }
  EXPECT_EQ(slots, (std::set<int>{0, 1, 2, 3}));
  ExpectPairedAsTheHandsets(runs, handsets);
  ExpectEachEventOnItsSlot(events);

  // The records pair as the run ends do.
  const std::vector<Json> records = JsonLines(ReadFile(RecordPath()));
  ASSERT_EQ(records.size(), runs.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i]["slot"], runs[i]["slot"]);
    EXPECT_EQ(records[i]["location"], runs[i]["location"]);
    EXPECT_EQ(records[i]["com_port"], runs[i]["com_port"]);
  }

  // On stdout each line that names a COM port begins with that port's slot.
  std::map<std::string, std::string> prefixOfPort;
  for (const Json& run : runs) {
    prefixOfPort["[COM" + std::to_string(run["com_port"].get<int>()) + "]"] =
        "[slot " + std::to_string(run["slot"].get<int>()) + "] ";
  }
  std::istringstream log(ReadFile(m_dir + "/tw.out"));
  for (std::string line; std::getline(log, line);) {
    for (const auto& [port, prefix] : prefixOfPort) {
      if (line.find(port) != std::string::npos) {
        EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
      }
    }
  }
}

// A four-slot station: one handset unplugged in its phone stage fails only
// its own run; a fifth handset plugged in while all four run waits, takes
// the first slot that frees and verifies; the station ends after its count.
TEST_F(StationRun, AnUnpluggedHandsetFailsOnlyItsSlotAndAWaitingHandsetTakesTheFirstFreeSlot) {
  std::vector<Handset> handsets = Handsets(5, false);
  handsets[1].switches = {"--disconnect-phone", "20000"};
  auto upgrader = StartUpgrader({"--slots", "4", "--station", "--count", "5", "--record", RecordPath()});
  std::vector<std::unique_ptr<ChildProcess>> plugged;
  for (int k = 0; k < 4; ++k) plugged.push_back(PlugIn(handsets[static_cast<std::size_t>(k)]));
  ASSERT_TRUE(WaitForEvents([](const std::vector<Json>& events) {
    return Named(events, "run_started").size() == 4 && Named(events, "run_ended").empty();
  })) << ReadFile(m_dir + "/tw.err");
  plugged.push_back(PlugIn(handsets[4]));
  EXPECT_EQ(upgrader->Wait(kStationBoundSeconds), 1) << ReadFile(m_dir + "/tw.err");
  for (std::size_t k : {0u, 2u, 3u, 4u}) ExpectVerified(*plugged[k], handsets[k]);

  const std::vector<Json> events = Events();
  const std::vector<Json> runs = Named(events, "run_ended");
  ASSERT_EQ(runs.size(), 5u);
  for (const Json& run : runs) {
    if (run["location"] == "1-2") {
      EXPECT_EQ(run["outcome"], "failed") << run;
      EXPECT_NE(run["reason"].get<std::string>().find("the device vanished"), std::string::npos) << run;
    } else {
      EXPECT_EQ(run["outcome"], "done") << run;
    }
  }
  ExpectPairedAsTheHandsets(runs, handsets);
  ExpectEachEventOnItsSlot(events);

  // The fifth handset's run began on the slot whose run ended first, after
  // that end.
  const int firstFree = runs[0]["slot"];
  EXPECT_EQ(runs.back()["location"], "1-5");
  EXPECT_EQ(runs.back()["slot"], firstFree);
  const auto firstEnd = std::find_if(events.begin(), events.end(),
                                     [](const Json& event) { return event["event"] == "run_ended"; });
  const auto lastStart = std::find_if(events.rbegin(), events.rend(),
                                      [](const Json& event) { return event["event"] == "run_started"; });
  EXPECT_EQ((*lastStart)["slot"], firstFree);
  EXPECT_GT(lastStart.base() - 1, firstEnd);
  const std::string log = ReadFile(m_dir + "/tw.out");
  EXPECT_NE(log.find("[station] The handset at 1-5 waits for a free slot.\n"), std::string::npos) << log;
  EXPECT_NE(log.find("[station] Slot " + std::to_string(firstFree) + " takes the waiting handset at 1-5.\n"),
            std::string::npos)
      << log;

  // One summary line per run, the records as the runs ended.
  const std::string err = ReadFile(m_dir + "/tw.err");
  EXPECT_NE(err.find("tidewell: run 5: slot " + std::to_string(firstFree) + " at 1-5 on COM15: done in "),
            std::string::npos)
      << err;
  EXPECT_NE(err.find(" at 1-2 on COM12: failed in "), std::string::npos) << err;
  const std::vector<Json> records = JsonLines(ReadFile(RecordPath()));
  ASSERT_EQ(records.size(), runs.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i]["location"], runs[i]["location"]);
    EXPECT_EQ(records[i]["com_port"], runs[i]["com_port"]);
  }
}

// Five handsets one after the other through one station: each verifies,
// and after each run the station holds as many descriptors and threads as
// after the first. SIGINT then ends the idle station with status 0.
TEST_F(StationRun, HandsetAfterHandsetLeavesNoDescriptorOrThreadBehind) {
  auto upgrader = StartUpgrader({"--station"});
  const std::string proc = "/proc/" + std::to_string(upgrader->Pid());
  auto counts = [&proc] { return std::pair{CountEntries(proc + "/fd"), CountEntries(proc + "/task")}; };
  // The counts once they have held still for half a second.
  auto settled = [&counts] {
    auto last = counts();
    for (int i = 0; i < 40; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      const auto now = counts();
      if (now == last) break;
      last = now;
    }
    return last;
  };
  const std::vector<Handset> handsets = Handsets(5, false);
  std::pair<int, int> first;
  for (std::size_t k = 1; k <= handsets.size(); ++k) {
    const Handset& handset = handsets[k - 1];
    auto plugged = PlugIn(handset);
    ASSERT_TRUE(WaitForEvents([k](const std::vector<Json>& events) {
      return Named(events, "run_ended").size() == k;
    })) << ReadFile(m_dir + "/tw.err");
    ExpectVerified(*plugged, handset);
    const auto now = settled();
    if (k == 1) first = now;
    EXPECT_EQ(now, first) << "descriptors and threads after run " << k;
  }
  kill(upgrader->Pid(), SIGINT);
  EXPECT_EQ(upgrader->Wait(60), 0) << ReadFile(m_dir + "/tw.err");
  const std::vector<Json> events = Events();
  const std::vector<Json> runs = Named(events, "run_ended");
  ASSERT_EQ(runs.size(), 5u);
  for (const Json& run : runs) EXPECT_EQ(run["outcome"], "done") << run;
  ExpectPairedAsTheHandsets(runs, handsets);
  ExpectEachEventOnItsSlot(events);
  EXPECT_NE(ReadFile(m_dir + "/tw.err").find("tidewell: run 5: slot 0 at 1-5 on COM15: done in "),
            std::string::npos);
}

// A signal while four runs are in progress, two in their phone stage and
// two slowed down in their PDA stage: every run ends as stopped within 2 s,
// no port or interface stays open, the interfaces open again at once, and
// the status is 1.
class StationSignal : public StationRun, public testing::WithParamInterface<int> {};

TEST_P(StationSignal, StopsEveryRunAndReleasesEveryPort) {
  std::vector<Handset> handsets = Handsets(4, false);
  for (std::size_t k : {2u, 3u}) handsets[k].switches = {"--delay", "40"};
  auto upgrader = StartUpgrader({"--slots", "4", "--station"});
  std::vector<std::unique_ptr<ChildProcess>> plugged;
  for (const Handset& handset : handsets) plugged.push_back(PlugIn(handset));
  ASSERT_TRUE(WaitForEvents([](const std::vector<Json>& events) {
    int inPhoneStage = 0;
    for (const Json& event : Named(events, "stage_started")) inPhoneStage += event["stage"] == "phone";
    return inPhoneStage == 2;
  })) << ReadFile(m_dir + "/tw.err");
  const std::vector<Json> before = Events();
  ASSERT_EQ(Named(before, "run_started").size(), 4u);
  ASSERT_TRUE(Named(before, "run_ended").empty());
  // The devices the runs hold: two modem ports, two download interfaces.
  std::set<std::string> devices;
  const std::vector<std::string> entries{"COM11@1-1", "COM12@1-2", "pda@1-3", "pda@1-4"};
  for (const std::string& entry : entries) {
    devices.insert(fs::canonical(m_devDir + "/" + entry).string());
  }

  const auto signalled = std::chrono::system_clock::now();
  kill(upgrader->Pid(), GetParam());
  ASSERT_TRUE(WaitForEvents([](const std::vector<Json>& events) {
    return Named(events, "run_ended").size() == 4;
  })) << ReadFile(m_dir + "/tw.err");
  for (const std::string& target : DescriptorTargets(upgrader->Pid())) {
    EXPECT_FALSE(devices.contains(target)) << target << " is still open";
  }
  for (const char* entry : {"pda@1-3", "pda@1-4"}) {
    std::string error;
    EXPECT_TRUE(CTtyDevice::TryOpen(m_devDir + "/" + entry, &error)) << error;
  }
  EXPECT_EQ(upgrader->Wait(60), 1);

  const std::vector<Json> runs = Named(Events(), "run_ended");
  for (const Json& run : runs) {
    EXPECT_EQ(run["outcome"], "stopped") << run;
    EXPECT_LE(EventTime(run) - signalled, std::chrono::seconds(2)) << run;
  }
  ExpectPairedAsTheHandsets(runs, handsets);
  const std::string err = ReadFile(m_dir + "/tw.err");
  EXPECT_NE(err.find("tidewell: stopping the station\n"), std::string::npos) << err;
  EXPECT_NE(err.find("tidewell: run 4: slot "), std::string::npos) << err;
  EXPECT_EQ(err.find(": done in "), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Signals, StationSignal, testing::Values(SIGINT, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGINT ? "SIGINT" : "SIGHUP");
                         });

// Two handsets wait in their phone stage and their modem ports arrive
// without a location: neither port is taken, and the log says why. SIGTERM
// then stops both runs.
TEST_F(StationRun, PortsWithoutALocationAreTakenByNoneOfTwoWaitingSlots) {
  const std::string simDir = m_dir + "/sim-dev";
  fs::create_directory(simDir);
  CLocationlessPorts rig(simDir, m_devDir);
  std::vector<Handset> handsets = Handsets(2, false);
  // The modem ports appear once both handsets have left for the phone.
  for (Handset& handset : handsets) handset.switches = {"--com-after", ".both-handed-over"};
  auto upgrader = StartUpgrader({"--slots", "2", "--station"});
  std::vector<std::unique_ptr<ChildProcess>> plugged;
  for (const Handset& handset : handsets) plugged.push_back(PlugIn(handset, simDir));
  ASSERT_TRUE(WaitForEvents([](const std::vector<Json>& events) {
    int handedOver = 0;
    for (const Json& event : Named(events, "stage_ended")) {
      handedOver += event["stage"] == "phone_mode" && event["result"] == "handed_over";
    }
    return handedOver == 2;
  })) << ReadFile(m_dir + "/tw.err");
  std::FILE* gate = std::fopen((simDir + "/.both-handed-over").c_str(), "w");
  ASSERT_NE(gate, nullptr);
  std::fclose(gate);

  const std::string note =
      " is not taken: 2 handsets wait for their COM port and its location does not tell whose.\n";
  const auto told = [&] {
    const std::string log = ReadFile(m_dir + "/tw.out");
    return log.find("[station] COM11" + note) != std::string::npos &&
           log.find("[station] COM12" + note) != std::string::npos;
  };
  for (int i = 0; i < 500 && !told(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(told()) << ReadFile(m_dir + "/tw.out");
  kill(upgrader->Pid(), SIGTERM);
  EXPECT_EQ(upgrader->Wait(60), 1);
  const std::vector<Json> events = Events();
  EXPECT_TRUE(Named(events, "stage_started").size() == Named(events, "stage_ended").size());
  for (const Json& event : Named(events, "stage_started")) EXPECT_NE(event["stage"], "port_opening") << event;
  const std::vector<Json> runs = Named(events, "run_ended");
  ASSERT_EQ(runs.size(), 2u);
  for (const Json& run : runs) {
    EXPECT_EQ(run["outcome"], "stopped") << run;
    EXPECT_TRUE(run["com_port"].is_null()) << run;
  }
}

}  // namespace
}  // namespace tw::test

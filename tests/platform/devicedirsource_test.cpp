#include "platform/devicedirsource.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <mutex>

#include "tests/platform/ptypair.h"

namespace tw {
namespace {

using test::TempDir;
using Action = DeviceEvent::Action;
using Kind = DeviceEvent::Kind;

// Collects the events of a source and lets the test wait for the next one.
class EventLog {
 public:
  IDeviceEventSource::Sink Sink() {
    return [this](const DeviceEvent& event) {
      std::lock_guard guard(m_lock);
      m_events.push_back(event);
      m_arrived.notify_all();
    };
  }
  // The next event, or an event named "(none)" when none came within a generous bound.
  DeviceEvent Next() {
    std::unique_lock guard(m_lock);
    if (!m_arrived.wait_for(guard, std::chrono::seconds(10), [&] { return !m_events.empty(); })) {
      return DeviceEvent{Action::Arrival, Kind::Other, "(none)"};
    }
    DeviceEvent event = m_events.front();
    m_events.pop_front();
    return event;
  }
  std::size_t Pending() {
    std::lock_guard guard(m_lock);
    return m_events.size();
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_arrived;
  std::deque<DeviceEvent> m_events;
};

struct Expected {
  Action action;
  Kind kind;
  std::string name;
};

void ExpectEvent(const DeviceEvent& got, const Expected& want) {
  EXPECT_EQ(got.action, want.action) << got.name;
  EXPECT_EQ(got.kind, want.kind) << got.name;
  EXPECT_EQ(got.name, want.name);
}

TEST(DeviceDirSourceTest, EntriesPresentAtStartArriveOnceInNameOrder) {
  TempDir dir;
  ASSERT_TRUE(dir.Link("pda0", "/dev/null"));
  ASSERT_TRUE(dir.Link("COM12", "/nowhere"));  // a dangling link still counts
  std::ofstream(dir / "LPT1") << "";
  std::ofstream(dir / ".hidden") << "";
  EventLog log;
  CDeviceDirSource source(dir.Path());
  ASSERT_TRUE(source.Start(log.Sink()));
  const Expected want[] = {
      {Action::Arrival, Kind::Port, "COM12"},
      {Action::Arrival, Kind::Port, "LPT1"},
      {Action::Arrival, Kind::Other, dir / "pda0"},
  };
  for (const Expected& w : want) {
    ExpectEvent(log.Next(), w);
  }
  source.Stop();
  EXPECT_EQ(log.Pending(), 0u);
}

TEST(DeviceDirSourceTest, CreatingAndRemovingEntriesAreArrivalsAndRemovals) {
  TempDir dir;
  EventLog log;
  CDeviceDirSource source(dir.Path());
  ASSERT_TRUE(source.Start(log.Sink()));

  struct Step {
    std::function<bool()> change;
    Expected event;
  };
  const std::string staged = dir / ".staged";
  const Step steps[] = {
      {[&] { return dir.Link("pda0", "/dev/null"); }, {Action::Arrival, Kind::Other, dir / "pda0"}},
      {[&] { return dir.Link("COM12", "/dev/null"); }, {Action::Arrival, Kind::Port, "COM12"}},
      {[&] { return std::ofstream(dir / "LPT1").good(); }, {Action::Arrival, Kind::Port, "LPT1"}},
      {[&] { return std::remove((dir / "COM12").c_str()) == 0; }, {Action::Removal, Kind::Port, "COM12"}},
      {[&] { return std::remove((dir / "pda0").c_str()) == 0; },
       {Action::Removal, Kind::Other, dir / "pda0"}},
      {[&] { return std::remove((dir / "LPT1").c_str()) == 0; }, {Action::Removal, Kind::Port, "LPT1"}},
      // A link made under a hidden name and moved into place arrives under its new name.
      {[&] {
         return symlink("/dev/null", staged.c_str()) == 0 &&
                std::rename(staged.c_str(), (dir / "COM3").c_str()) == 0;
       },
       {Action::Arrival, Kind::Port, "COM3"}},
      {[&] { return std::rename((dir / "COM3").c_str(), (dir / "pda1").c_str()) == 0; },
       {Action::Removal, Kind::Port, "COM3"}},
  };
  for (const Step& step : steps) {
    ASSERT_TRUE(step.change()) << step.event.name;
    ExpectEvent(log.Next(), step.event);
  }
  ExpectEvent(log.Next(), {Action::Arrival, Kind::Other, dir / "pda1"});
  // Replaced in place by a rename: the old device leaves, the new one comes.
  ASSERT_EQ(symlink("/dev/zero", staged.c_str()), 0);
  ASSERT_EQ(std::rename(staged.c_str(), (dir / "pda1").c_str()), 0);
  ExpectEvent(log.Next(), {Action::Removal, Kind::Other, dir / "pda1"});
  ExpectEvent(log.Next(), {Action::Arrival, Kind::Other, dir / "pda1"});
  source.Stop();
  EXPECT_EQ(log.Pending(), 0u);
}

TEST(DeviceDirSourceTest, ANameSuffixIsTheLocation) {
  struct Case {
    std::string entry;
    Kind kind;
    std::string name;
    std::string location;
  };
  const Case cases[] = {
      {"pda@1-2.4", Kind::Other, "/devs/pda@1-2.4", "1-2.4"},
      {"pda0@3-1", Kind::Other, "/devs/pda0@3-1", "3-1"},
      {"COM9@1-2.4", Kind::Port, "COM9", "1-2.4"},
      {"LPT1@2-1", Kind::Port, "LPT1", "2-1"},
      // Without a suffix, today's meaning and no location.
      {"pda0", Kind::Other, "/devs/pda0", ""},
      {"COM9", Kind::Port, "COM9", ""},
      // An empty suffix names no location; only the first '@' splits.
      {"COM9@", Kind::Port, "COM9", ""},
      {"COM9@a@b", Kind::Port, "COM9", "a@b"},
  };
  for (const Case& c : cases) {
    for (Action action : {Action::Arrival, Action::Removal}) {
      DeviceEvent event = CDeviceDirSource::EventFor("/devs", c.entry, action);
      EXPECT_EQ(event.action, action) << c.entry;
      EXPECT_EQ(event.kind, c.kind) << c.entry;
      EXPECT_EQ(event.name, c.name) << c.entry;
      EXPECT_EQ(event.location, c.location) << c.entry;
    }
  }
}

TEST(DeviceDirSourceTest, EntriesWithLocationsArriveAndLeaveWithThem) {
  TempDir dir;
  ASSERT_TRUE(dir.Link("pda@1-1", "/dev/null"));
  EventLog log;
  CDeviceDirSource source(dir.Path());
  ASSERT_TRUE(source.Start(log.Sink()));
  DeviceEvent present = log.Next();
  EXPECT_EQ(present.name, dir / "pda@1-1");
  EXPECT_EQ(present.location, "1-1");

  ASSERT_TRUE(dir.Link("COM4@1-1", "/dev/null"));
  DeviceEvent port = log.Next();
  ExpectEvent(port, {Action::Arrival, Kind::Port, "COM4"});
  EXPECT_EQ(port.location, "1-1");
  ASSERT_EQ(std::remove((dir / "COM4@1-1").c_str()), 0);
  port = log.Next();
  ExpectEvent(port, {Action::Removal, Kind::Port, "COM4"});
  EXPECT_EQ(port.location, "1-1");
  source.Stop();
}

TEST(DeviceDirSourceTest, StartFailsOnAMissingDirectoryAndStopIsHarmless) {
  TempDir dir;
  EventLog log;
  CDeviceDirSource source(dir / "absent");
  EXPECT_FALSE(source.Start(log.Sink()));
  source.Stop();
  source.Stop();
}

TEST(DeviceDirSourceTest, StopEndsTheThreadAndTheSourceCanStartAgain) {
  TempDir dir;
  ASSERT_TRUE(dir.Link("COM5", "/dev/null"));
  EventLog log;
  CDeviceDirSource source(dir.Path());
  ASSERT_TRUE(source.Start(log.Sink()));
  EXPECT_FALSE(source.Start(log.Sink()));
  ExpectEvent(log.Next(), {Action::Arrival, Kind::Port, "COM5"});
  source.Stop();
  ASSERT_TRUE(dir.Link("COM6", "/dev/null"));
  ASSERT_TRUE(source.Start(log.Sink()));
  ExpectEvent(log.Next(), {Action::Arrival, Kind::Port, "COM5"});
  ExpectEvent(log.Next(), {Action::Arrival, Kind::Port, "COM6"});
  source.Stop();
}

TEST(DeviceDirSourceTest, StopFromTheSinkEndsReportingWithoutDeadlock) {
  TempDir dir;
  ASSERT_TRUE(dir.Link("COM1", "/dev/null"));
  ASSERT_TRUE(dir.Link("COM2", "/dev/null"));
  EventLog log;
  CDeviceDirSource source(dir.Path());
  auto forward = log.Sink();
  ASSERT_TRUE(source.Start([&](const DeviceEvent& event) {
    forward(event);
    source.Stop();
  }));
  ExpectEvent(log.Next(), {Action::Arrival, Kind::Port, "COM1"});
  ASSERT_TRUE(dir.Link("COM3", "/dev/null"));
  source.Stop();
  // The start-up scan finishes its list; nothing after it is reported.
  ExpectEvent(log.Next(), {Action::Arrival, Kind::Port, "COM2"});
  EXPECT_EQ(log.Pending(), 0u);
}

TEST(DeviceDirSourceTest, RemovingTheDirectoryRemovesItsEntries) {
  TempDir parent;
  std::string path = parent / "devs";
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  ASSERT_EQ(symlink("/dev/null", (path + "/COM4").c_str()), 0);
  EventLog log;
  CDeviceDirSource source(path);
  ASSERT_TRUE(source.Start(log.Sink()));
  ExpectEvent(log.Next(), {Action::Arrival, Kind::Port, "COM4"});
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  ExpectEvent(log.Next(), {Action::Removal, Kind::Port, "COM4"});
  source.Stop();
}

}  // namespace
}  // namespace tw

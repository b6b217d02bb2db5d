// Ending an older upgrader at start-up, on an X server (skipped without
// one): two client windows stand in for the older upgrader and for this
// program's own caption, each owned by a child process.
#include "platform/olderupgrader.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/platform/x11clients.h"

namespace tw::test {
namespace {

pid_t SleepingChild() {
  pid_t pid = fork();
  if (pid == 0) {
    pause();
    _exit(0);
  }
  return pid;
}

TEST(OlderUpgrader, EndsOnlyTheWindowWithTheExactTitle) {
  const char* displayName = std::getenv("DISPLAY");
  if (displayName == nullptr || *displayName == '\0') {
    GTEST_SKIP() << "no X display";
  }
  pid_t older = SleepingChild();
  pid_t ours = SleepingChild();
  auto clients = X11Clients::Create({{"KORV-352 Upgrader", older}, {"KORV-352 EXE Upgrader v1.1", ours}});
  if (!clients) {
    kill(older, SIGKILL);
    kill(ours, SIGKILL);
    waitpid(older, nullptr, 0);
    waitpid(ours, nullptr, 0);
    GTEST_SKIP() << "the X display cannot be opened";
  }

  EXPECT_EQ(FindX11WindowProcesses("KORV-352 Upgrader"), (std::vector<pid_t>{older}));
  EndOlderUpgrader("KORV-352 Upgrader");

  int status = 0;
  ASSERT_EQ(waitpid(older, &status, WNOHANG), older);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(waitpid(ours, &status, WNOHANG), 0);  // still running
  kill(ours, SIGKILL);
  waitpid(ours, &status, 0);
}

TEST(OlderUpgrader, NothingWithoutADisplay) {
  const char* saved = std::getenv("DISPLAY");
  std::string keep = saved ? saved : "";
  unsetenv("DISPLAY");
  EXPECT_TRUE(FindX11WindowProcesses("KORV-352 Upgrader").empty());
  setenv("DISPLAY", ":98765", 1);  // no such server
  EXPECT_TRUE(FindX11WindowProcesses("KORV-352 Upgrader").empty());
  EndOlderUpgrader("KORV-352 Upgrader");
  if (saved) {
    setenv("DISPLAY", keep.c_str(), 1);
  } else {
    unsetenv("DISPLAY");
  }
}

}  // namespace
}  // namespace tw::test

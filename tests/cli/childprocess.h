// Runs a program of the build as a child process with its output in files,
// and waits for it within a generous bound (a hung child is killed, so a
// fault cannot hang the test run).
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tw::test {

class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ChildProcess() {
    if (m_pid > 0 && !m_bReaped) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return m_pid > 0; }
  pid_t Pid() const { return m_pid; }

  // The exit status; -1 when the child had to be killed after boundSeconds,
  // -2 when it ended by a signal.
  int Wait(int boundSeconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(boundSeconds);
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
        m_bReaped = true;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_bReaped = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
  }
  // The exit status once the child has ended (as Wait gives it), kRunning
  // while it runs.
  static constexpr int kRunning = -3;
  int Poll() {
    int status = 0;
    if (m_bReaped || waitpid(m_pid, &status, WNOHANG) == 0) {
      return kRunning;
    }
    m_bReaped = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
  }
  void Terminate() {
    if (m_pid > 0 && !m_bReaped) {
      kill(m_pid, SIGTERM);
    }
  }

 private:
  pid_t m_pid = -1;
  bool m_bReaped = false;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace tw::test

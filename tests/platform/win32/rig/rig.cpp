// tidewell-wine-rig --pair KEY[=NAME] ... -- PROGRAM ARGS...
// Null-modem cables for Windows programs under Wine: each pair is two ptys
// whose masters this rig joins, linked into the prefix's dosdevices under the
// names $TIDEWELL_RIG_<KEY>_A and _B (A is NAME when given). The program
// makes a file vanish-<KEY> in $TIDEWELL_RIG_CONTROL (a Windows path) to make
// side A's device vanish. The rig ends with the program's exit status.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Pty {
  int master = -1;
  int slave = -1;  // held open, so the master never sees a hang-up of its own
  std::string link;
};

struct Pair {
  std::string key;
  Pty a, b;
  bool alive = true;
};

bool OpenPty(Pty& pty) {
  pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) {
    return false;
  }
  const char* name = ptsname(pty.master);
  pty.slave = name ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  if (pty.slave < 0) {
    return false;
  }
  for (int fd : {pty.master, pty.slave}) {
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
  }
  fcntl(pty.master, F_SETFL, O_NONBLOCK);
  return true;
}

bool Link(Pty& pty, const std::string& dosdevices, std::string name) {
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  pty.link = dosdevices + "/" + name;
  std::error_code ignored;
  fs::remove(pty.link, ignored);
  fs::create_symlink(ptsname(pty.master), pty.link, ignored);
  return !ignored;
}

// Moves what one master has to the other (a full write queue drops nothing:
// the rest waits for the next turn).
void Relay(int from, int to) {
  char buffer[4096];
  const ssize_t n = read(from, buffer, sizeof buffer);
  for (ssize_t done = 0; n > 0 && done < n;) {
    const ssize_t put = write(to, buffer + done, static_cast<std::size_t>(n - done));
    if (put > 0) {
      done += put;
    } else {
      pollfd room{to, POLLOUT, 0};
      poll(&room, 1, 100);
    }
  }
}

std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  const char* prefix = getenv("WINEPREFIX");
  if (prefix == nullptr) {
    std::fprintf(stderr, "tidewell-wine-rig: WINEPREFIX is not set\n");
    return 2;
  }
  const std::string dosdevices = std::string(prefix) + "/dosdevices";
  std::vector<Pair> pairs;
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--pair") != 0 || i + 1 >= argc) {
      std::fprintf(stderr, "usage: tidewell-wine-rig --pair KEY[=NAME] ... -- PROGRAM ARGS...\n");
      return 2;
    }
    std::string spec = argv[++i];
    Pair pair;
    const std::size_t equals = spec.find('=');
    pair.key = spec.substr(0, equals);
    const std::string stem = "tw" + std::to_string(getpid()) + "-" + pair.key;
    const std::string nameA = equals == std::string::npos ? stem + "-a" : spec.substr(equals + 1);
    if (!OpenPty(pair.a) || !OpenPty(pair.b) || !Link(pair.a, dosdevices, nameA) ||
        !Link(pair.b, dosdevices, stem + "-b")) {
      std::fprintf(stderr, "tidewell-wine-rig: cannot make the pair %s\n", pair.key.c_str());
      return 2;
    }
    std::string upper = pair.key;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    setenv(("TIDEWELL_RIG_" + upper + "_A").c_str(), ("\\\\.\\" + nameA).c_str(), 1);
    setenv(("TIDEWELL_RIG_" + upper + "_B").c_str(), ("\\\\.\\" + stem + "-b").c_str(), 1);
    pairs.push_back(std::move(pair));
  }
  if (i + 1 >= argc) {
    std::fprintf(stderr, "tidewell-wine-rig: no program given\n");
    return 2;
  }
  char control[] = "/tmp/tidewell-rig-XXXXXX";
  if (mkdtemp(control) == nullptr) {
    return 2;
  }
  setenv("TIDEWELL_RIG_CONTROL", WindowsPath(control).c_str(), 1);

  // The cables work until the program ends.
  std::atomic<bool> running{true};
  std::thread cables([&] {
    while (running) {
      std::vector<pollfd> fds;
      for (Pair& pair : pairs) {
        if (pair.alive && fs::exists(std::string(control) + "/vanish-" + pair.key)) {
          close(pair.a.master);
          close(pair.a.slave);
          pair.alive = false;
        }
        if (pair.alive) {
          fds.push_back({pair.a.master, POLLIN, 0});
          fds.push_back({pair.b.master, POLLIN, 0});
        }
      }
      poll(fds.data(), fds.size(), 20);
      std::size_t at = 0;
      for (Pair& pair : pairs) {
        if (!pair.alive) {
          continue;
        }
        if (fds[at].revents & POLLIN) {
          Relay(pair.a.master, pair.b.master);
        }
        if (fds[at + 1].revents & POLLIN) {
          Relay(pair.b.master, pair.a.master);
        }
        at += 2;
      }
    }
  });

  pid_t child = -1;
  int status = 0;
  if (posix_spawnp(&child, argv[i + 1], nullptr, nullptr, argv + i + 1, environ) != 0) {
    std::perror("tidewell-wine-rig: cannot start the program");
    status = 2 << 8;
  } else {
    waitpid(child, &status, 0);
  }
  running = false;
  cables.join();
  for (Pair& pair : pairs) {
    std::error_code ignored;
    fs::remove(pair.a.link, ignored);
    fs::remove(pair.b.link, ignored);
  }
  fs::remove_all(control);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

#include "platform/processes.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tw {

namespace {

namespace fs = std::filesystem;

// The process directories under procRoot, with their ids.
std::vector<std::pair<pid_t, fs::path>> ProcessDirs(const std::string& procRoot) {
  std::vector<std::pair<pid_t, fs::path>> dirs;
  std::error_code error;
  for (fs::directory_iterator it(procRoot, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    char* rest = nullptr;
    const long pid = std::strtol(name.c_str(), &rest, 10);
    if (!name.empty() && *rest == '\0' && pid > 0) {
      dirs.emplace_back(static_cast<pid_t>(pid), it->path());
    }
  }
  return dirs;
}

std::string CommandName(const fs::path& dir) {
  std::ifstream comm(dir / "comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// Whether two stats name the same device (a device node) or the same file.
bool SameObject(const struct stat& a, const struct stat& b) {
  if ((S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) || (S_ISBLK(a.st_mode) && S_ISBLK(b.st_mode))) {
    return a.st_rdev == b.st_rdev;
  }
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::vector<ProcessRef> ProcessesHolding(const std::string& path, const std::string& procRoot) {
  std::vector<ProcessRef> holders;
  struct stat target {};
  if (::stat(path.c_str(), &target) != 0) {
    return holders;
  }
  const pid_t self = ::getpid();
  for (const auto& [pid, dir] : ProcessDirs(procRoot)) {
    if (pid == self) {
      continue;
    }
    std::error_code error;
    for (fs::directory_iterator it(dir / "fd", error), end; !error && it != end; it.increment(error)) {
      struct stat open {};
      if (::stat(it->path().c_str(), &open) == 0 && SameObject(open, target)) {
        holders.push_back({pid, CommandName(dir)});
        break;
      }
    }
  }
  return holders;
}

std::vector<ProcessRef> ProcessesLocking(const std::string& path, const std::string& procRoot) {
  std::vector<ProcessRef> holders;
  struct stat target {};
  if (::stat(path.c_str(), &target) != 0) {
    return holders;
  }
  // "1: FLOCK  ADVISORY  WRITE 1234 00:1a:3 0 EOF": the holder, then the
  // file's device (major:minor, hexadecimal) and inode.
  std::ifstream locks(fs::path(procRoot) / "locks");
  std::string line;
  while (std::getline(locks, line)) {
    char kind[16] = {};
    long pid = 0;
    unsigned major = 0;
    unsigned minor = 0;
    unsigned long inode = 0;
    if (std::sscanf(line.c_str(), "%*[^:]: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &major, &minor, &inode) ==
            5 &&
        std::string(kind) == "FLOCK" && major == ::major(target.st_dev) && minor == ::minor(target.st_dev) &&
        inode == target.st_ino) {
      holders.push_back({static_cast<pid_t>(pid), CommandName(fs::path(procRoot) / std::to_string(pid))});
    }
  }
  return holders;
}

DeviceHolders FindHolders(const std::string& path) {
  DeviceHolders holders;
  const pid_t self = ::getpid();
  for (const ProcessRef& locker : ProcessesLocking(path)) {
    if (locker.pid == self) {
      holders.self = true;
    } else {
      holders.others.push_back(locker);
    }
  }
  if (holders.others.empty() && !holders.self) {
    holders.others = ProcessesHolding(path);
  }
  return holders;
}

std::string DescribeHolders(const DeviceHolders& holders) {
  if (!holders.others.empty()) {
    return DescribeProcesses(holders.others);
  }
  return holders.self ? "this program" : "another program";
}

std::vector<ProcessRef> ProcessesNamed(const std::string& name, const std::string& procRoot) {
  std::vector<ProcessRef> found;
  for (const auto& [pid, dir] : ProcessDirs(procRoot)) {
    if (CommandName(dir) == name) {
      found.push_back({pid, name});
    }
  }
  return found;
}

std::string DescribeProcesses(const std::vector<ProcessRef>& processes) {
  std::string text;
  for (const ProcessRef& process : processes) {
    if (!text.empty()) {
      text += ", ";
    }
    text += "process " + std::to_string(process.pid) + " (" + process.name + ")";
  }
  return text;
}

}  // namespace tw

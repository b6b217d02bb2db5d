// What other processes do, as far as /proc shows it to this user: which hold
// a device open, and whether a program runs. Used to say who holds a port.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace tw {

struct ProcessRef {
  pid_t pid = 0;
  std::string name;  // the command name (/proc/PID/comm)

  friend bool operator==(const ProcessRef&, const ProcessRef&) = default;
};

// The processes other than this one with a descriptor open on path (the same
// device, or the same file). Processes whose descriptors this user may not
// read are not seen. Empty when path does not exist.
std::vector<ProcessRef> ProcessesHolding(const std::string& path, const std::string& procRoot = "/proc");

// The processes that hold a flock() on path, as /proc/locks lists them (the
// lock an exclusive open of a serial device takes), this one included.
std::vector<ProcessRef> ProcessesLocking(const std::string& path, const std::string& procRoot = "/proc");

// Who holds a device that would not open: the other processes that lock it
// (else those that have it open), and whether this process locks it itself.
// A device without a lock (a claimed USB interface) is never taken for this
// process's own.
struct DeviceHolders {
  std::vector<ProcessRef> others;
  bool self = false;
};
DeviceHolders FindHolders(const std::string& path);

// "process 1234 (tidewell)", "this program" or "another program".
std::string DescribeHolders(const DeviceHolders& holders);

// The processes whose command name is exactly name.
std::vector<ProcessRef> ProcessesNamed(const std::string& name, const std::string& procRoot = "/proc");

// "process 1234 (minicom)" for each, joined with ", ".
std::string DescribeProcesses(const std::vector<ProcessRef>& processes);

}  // namespace tw

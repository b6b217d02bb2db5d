// Start-up: ends the process of an older upgrader whose window has exactly
// the given title: on Linux through X11 (EWMH client list), on Windows through
// FindWindow. Without a display, and on any failure, nothing happens.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace tw {

// Process ids of the top-level X11 windows titled exactly `title`, found
// through _NET_CLIENT_LIST, _NET_WM_NAME (or WM_NAME) and _NET_WM_PID.
// Empty without a display or without libX11 at run time.
std::vector<pid_t> FindX11WindowProcesses(const std::string& title);

// Kills each of those processes (never this one) and waits, bounded, until
// it has gone (on Windows: TerminateProcess with exit code 0xFFFFFFFF).
// Failures are ignored.
void EndOlderUpgrader(const std::string& title);

}  // namespace tw

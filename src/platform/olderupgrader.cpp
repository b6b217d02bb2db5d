#include "platform/olderupgrader.h"

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/clock.h"
#include "platform/trace.h"
#include "platform/tunables.h"

namespace tw {

namespace {

// The few Xlib declarations used here. libX11 is loaded at run time, so the
// build needs no X11 headers and a machine without X11 simply finds nothing.
struct XDisplay;
using XWindow = unsigned long;
using XAtom = unsigned long;
using XErrorHandler = int (*)(XDisplay*, void*);
constexpr XAtom kAnyPropertyType = 0;
constexpr int kSuccess = 0;

struct Xlib {
  XDisplay* (*OpenDisplay)(const char*) = nullptr;
  int (*CloseDisplay)(XDisplay*) = nullptr;
  XWindow (*DefaultRootWindow)(XDisplay*) = nullptr;
  XAtom (*InternAtom)(XDisplay*, const char*, int) = nullptr;
  int (*GetWindowProperty)(XDisplay*, XWindow, XAtom, long, long, int, XAtom, XAtom*, int*, unsigned long*,
                           unsigned long*, unsigned char**) = nullptr;
  int (*Free)(void*) = nullptr;
  XErrorHandler (*SetErrorHandler)(XErrorHandler) = nullptr;
  void* library = nullptr;

  bool Load() {
    library = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      return false;
    }
    Bind(OpenDisplay, "XOpenDisplay");
    Bind(CloseDisplay, "XCloseDisplay");
    Bind(DefaultRootWindow, "XDefaultRootWindow");
    Bind(InternAtom, "XInternAtom");
    Bind(GetWindowProperty, "XGetWindowProperty");
    Bind(Free, "XFree");
    Bind(SetErrorHandler, "XSetErrorHandler");
    return OpenDisplay && CloseDisplay && DefaultRootWindow && InternAtom && GetWindowProperty && Free &&
           SetErrorHandler;
  }

  template <typename F>
  void Bind(F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(library, name));
  }

  ~Xlib() {
    if (library != nullptr) {
      dlclose(library);
    }
  }
};

// A window may vanish while it is examined; Xlib's default handler would
// end this process for that.
int IgnoreXError(XDisplay*, void*) {
  return 0;
}

// Reads a whole property; empty when it is missing or of another format.
std::vector<unsigned char> ReadProperty(Xlib& x, XDisplay* display, XWindow window, XAtom property,
                                        int wantFormat, unsigned long* items) {
  XAtom actualType = 0;
  int actualFormat = 0;
  unsigned long bytesAfter = 0;
  unsigned char* data = nullptr;
  *items = 0;
  if (x.GetWindowProperty(display, window, property, 0, 1L << 20, 0, kAnyPropertyType, &actualType,
                          &actualFormat, items, &bytesAfter, &data) != kSuccess ||
      data == nullptr) {
    return {};
  }
  std::vector<unsigned char> bytes;
  if (actualFormat == wantFormat) {
    // Format 32 items arrive as longs.
    std::size_t unit = wantFormat == 32 ? sizeof(long) : 1;
    bytes.assign(data, data + *items * unit);
  } else {
    *items = 0;
  }
  x.Free(data);
  return bytes;
}

std::string WindowTitle(Xlib& x, XDisplay* display, XWindow window) {
  unsigned long items = 0;
  std::vector<unsigned char> name =
      ReadProperty(x, display, window, x.InternAtom(display, "_NET_WM_NAME", 0), 8, &items);
  if (items == 0) {
    name = ReadProperty(x, display, window, x.InternAtom(display, "WM_NAME", 0), 8, &items);
  }
  return std::string(name.begin(), name.end());
}

pid_t WindowProcess(Xlib& x, XDisplay* display, XWindow window) {
  unsigned long items = 0;
  std::vector<unsigned char> pid =
      ReadProperty(x, display, window, x.InternAtom(display, "_NET_WM_PID", 0), 32, &items);
  if (items == 0) {
    return 0;
  }
  long value = 0;
  std::memcpy(&value, pid.data(), sizeof value);
  return static_cast<pid_t>(value);
}

// True while the process exists and is not a zombie.
bool ProcessAlive(pid_t pid) {
  if (kill(pid, 0) != 0 && errno == ESRCH) {
    return false;
  }
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) {
    return false;
  }
  std::size_t close = line.rfind(')');
  return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

}  // namespace

std::vector<pid_t> FindX11WindowProcesses(const std::string& title) {
  const char* displayName = std::getenv("DISPLAY");
  if (displayName == nullptr || *displayName == '\0') {
    return {};
  }
  Xlib x;
  if (!x.Load()) {
    return {};
  }
  XDisplay* display = x.OpenDisplay(nullptr);
  if (display == nullptr) {
    return {};
  }
  XErrorHandler previous = x.SetErrorHandler(IgnoreXError);
  std::vector<pid_t> pids;
  unsigned long count = 0;
  std::vector<unsigned char> list = ReadProperty(x, display, x.DefaultRootWindow(display),
                                                 x.InternAtom(display, "_NET_CLIENT_LIST", 0), 32, &count);
  for (unsigned long i = 0; i < count; ++i) {
    long window = 0;
    std::memcpy(&window, list.data() + i * sizeof(long), sizeof window);
    if (WindowTitle(x, display, static_cast<XWindow>(window)) == title) {
      if (pid_t pid = WindowProcess(x, display, static_cast<XWindow>(window)); pid > 0) {
        pids.push_back(pid);
      }
    }
  }
  x.SetErrorHandler(previous);
  x.CloseDisplay(display);
  return pids;
}

void EndOlderUpgrader(const std::string& title) {
  for (pid_t pid : FindX11WindowProcesses(title)) {
    if (pid == getpid() || kill(pid, SIGKILL) != 0) {
      continue;
    }
    Trace("ending older upgrader, pid %d\n", static_cast<int>(pid));
    // The older process's end is awaited, but never without a bound.
    const int stepMs = 20;
    for (int waited = 0; waited < GetTunables().olderUpgraderWaitMs && ProcessAlive(pid); waited += stepMs) {
      DefaultClock().Sleep(stepMs);
    }
  }
}

}  // namespace tw

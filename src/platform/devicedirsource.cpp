#include "platform/devicedirsource.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/dirpath.h"
#include "platform/devicelocation.h"
#include "platform/trace.h"

namespace tw {

namespace {

constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ONLYDIR;

bool IsHidden(const std::string& name) {
  return name.empty() || name.front() == '.';
}

}  // namespace

CDeviceDirSource::CDeviceDirSource(std::string directory)
    : m_directory(TrimTrailingSlashes(std::move(directory))) {}

CDeviceDirSource::~CDeviceDirSource() {
  Stop();
}

DeviceEvent CDeviceDirSource::EventFor(const std::string& directory, const std::string& name,
                                       DeviceEvent::Action action) {
  DeviceEvent event;
  event.action = action;
  LocatedName entry = SplitLocatedName(name);
  if (entry.name.starts_with("pda")) {
    event.kind = DeviceEvent::Kind::Other;
    event.name = JoinPath(directory, name);
  } else {
    event.kind = DeviceEvent::Kind::Port;
    event.name = std::move(entry.name);
  }
  event.location = std::move(entry.location);
  return event;
}

bool CDeviceDirSource::Start(Sink sink) {
  if (m_thread.joinable()) {
    return false;
  }
  // 1. The watch first, so that nothing created while the directory is read is missed.
  m_inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (m_inotifyFd < 0 || m_wakeFd < 0 ||
      inotify_add_watch(m_inotifyFd, m_directory.c_str(), kWatchMask) < 0) {
    Trace("device directory %s cannot be watched: errno %d\n", m_directory.c_str(), errno);
    Stop();
    return false;
  }
  // 2. The thread reports what is there, then what changes.
  m_present.clear();
  m_thread = std::thread(&CDeviceDirSource::Run, this, std::move(sink));
  return true;
}

void CDeviceDirSource::Stop() {
  // From the sink: wake the loop so the thread ends after the sink; the owner joins it.
  if (m_runner.load() == std::this_thread::get_id()) {
    Wake();
    return;
  }
  if (m_thread.joinable()) {
    Wake();
    m_thread.join();
    m_runner.store(std::thread::id{});
  }
  for (int* fd : {&m_inotifyFd, &m_wakeFd}) {
    if (*fd >= 0) {
      close(*fd);
      *fd = -1;
    }
  }
}

void CDeviceDirSource::Wake() {
  std::uint64_t one = 1;
  ssize_t written = write(m_wakeFd, &one, sizeof one);
  (void)written;  // the eventfd counter cannot overflow from a few writes
}

void CDeviceDirSource::Run(Sink sink) {
  m_runner.store(std::this_thread::get_id());
  Rescan(sink);
  for (;;) {
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_inotifyFd, POLLIN, 0}};
    int ready = poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready < 0 || fds[0].revents != 0) {
      return;
    }
    if (fds[1].revents != 0 && !DrainInotify(sink)) {
      return;
    }
  }
}

// Reports the events waiting on the inotify descriptor. False when the
// directory itself went away (every entry is then reported removed).
bool CDeviceDirSource::DrainInotify(const Sink& sink) {
  alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
  for (;;) {
    ssize_t got = read(m_inotifyFd, buffer, sizeof buffer);
    if (got < 0) {
      return errno == EAGAIN || errno == EINTR;
    }
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {
        Rescan(sink);
        continue;
      }
      if (event->mask & IN_IGNORED) {
        for (const std::string& name : std::vector<std::string>(m_present.begin(), m_present.end())) {
          Report(sink, name, DeviceEvent::Action::Removal);
        }
        return false;
      }
      if (event->len == 0) {
        continue;
      }
      std::string name = event->name;
      if ((event->mask & IN_MOVED_TO) && m_present.contains(name)) {
        // Moved over a present entry: another device stands there now.
        Report(sink, name, DeviceEvent::Action::Removal);
        Report(sink, name, DeviceEvent::Action::Arrival);
      } else if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
        Report(sink, name, DeviceEvent::Action::Arrival);
      } else if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
        Report(sink, name, DeviceEvent::Action::Removal);
      }
    }
  }
}

// Brings the known entries in line with the directory: arrivals for new
// entries, removals for vanished ones. Used at start and after an overflow.
void CDeviceDirSource::Rescan(const Sink& sink) {
  std::set<std::string> now;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(m_directory, ec); !ec && it != std::filesystem::end(it);
       it.increment(ec)) {
    now.insert(it->path().filename().string());
  }
  for (const std::string& name : std::vector<std::string>(m_present.begin(), m_present.end())) {
    if (!now.contains(name)) {
      Report(sink, name, DeviceEvent::Action::Removal);
    }
  }
  for (const std::string& name : now) {
    Report(sink, name, DeviceEvent::Action::Arrival);
  }
}

// Reports one change once: an arrival of a known entry or the removal of an
// unknown one (the start-up scan can overlap the first inotify events) is dropped.
void CDeviceDirSource::Report(const Sink& sink, const std::string& name, DeviceEvent::Action action) {
  if (IsHidden(name)) {
    return;
  }
  bool known = m_present.contains(name);
  if (action == DeviceEvent::Action::Arrival ? known : !known) {
    return;
  }
  if (action == DeviceEvent::Action::Arrival) {
    m_present.insert(name);
  } else {
    m_present.erase(name);
  }
  sink(EventFor(m_directory, name, action));
}

}  // namespace tw

// Device events from a watched device directory (--device-dir DIR):
// an entry "pda..." is the PDA download interface (kind Other, named by its
// path), any other entry a serial port named by the entry ("COM12"). Names
// that carry no COM number ("LPT1") are reported too; device detection
// passes them over. A name may end in "@LOC", the device's location:
// "pda@1-2.4" and "COM9@1-2.4" (reported as "COM9") are at "1-2.4". Hidden entries (".name") are ignored: a
// rig that makes an entry under a hidden name and renames it into place announces it once. Creating or moving
// in an entry is its arrival, deleting or moving it out its removal; an entry moved over a present one is a
// removal and an arrival. Entries may be symlinks.
#pragma once
#include <atomic>
#include <set>
#include <string>
#include <thread>

#include "platform/deviceevents.h"

namespace tw {

class CDeviceDirSource final : public IDeviceEventSource {
 public:
  explicit CDeviceDirSource(std::string directory);
  CDeviceDirSource(const CDeviceDirSource&) = delete;
  CDeviceDirSource& operator=(const CDeviceDirSource&) = delete;
  ~CDeviceDirSource() override;

  // Watches the directory; the entries present are reported as arrivals
  // first, on the source's thread. False when the directory cannot be
  // watched or the source already runs.
  bool Start(Sink sink) override;
  // Wakes and joins the thread. From the sink it only ends the reporting;
  // the owner's Stop or the destructor joins.
  void Stop() override;

  // The event an entry's name gives (arrival or removal).
  static DeviceEvent EventFor(const std::string& directory, const std::string& name,
                              DeviceEvent::Action action);

 private:
  void Wake();
  void Run(Sink sink);
  bool DrainInotify(const Sink& sink);
  void Rescan(const Sink& sink);
  void Report(const Sink& sink, const std::string& name, DeviceEvent::Action action);

  std::string m_directory;
  int m_inotifyFd = -1;
  int m_wakeFd = -1;
  std::set<std::string> m_present;  // touched by the source's thread only
  std::thread m_thread;
  std::atomic<std::thread::id> m_runner;  // the reporting thread, for a Stop from the sink
};

}  // namespace tw

// The in-process transport of the simulated handset, for tests of the
// downloader: a device provider and a device event source whose devices
// connect straight to the handset's agents. Thread-safe; every host-side
// wait is bounded by the time-out it is given.
//
//   tw::sim::InProcChannel channel;
//   tw::sim::SimHandset handset(config, channel, clock);
//   handset.Start();                       // "pda0" arrives
//   host: channel.Provider(), channel.Events()
//   handset.WaitEnd(ms); handset.Summary();
#pragma once
#include <memory>
#include <string>

#include "platform/deviceevents.h"
#include "platform/deviceprovider.h"
#include "sim/simport.h"

namespace tw::sim {

struct InProcState;

// Names the host sees: the PDA interface path and event name, and the port.
inline constexpr const char* kInProcPdaPath = "sim:pda0";
inline constexpr const char* kInProcPdaEventName = "pda0";

class InProcChannel final : public ISimTransport {
 public:
  InProcChannel();
  ~InProcChannel() override;
  InProcChannel(const InProcChannel&) = delete;
  InProcChannel& operator=(const InProcChannel&) = delete;

  // Host side. EnumerateInterfaces lists kInProcPdaPath for
  // GUID_PDA_DOWNLOAD_INTERFACE while the PDA side is up; OpenPort takes
  // "COM7", "COM7:" or "\\.\COM7". Opens are exclusive.
  IDeviceProvider& Provider();
  // Reports "pda0" (Kind::Other) arrival and removal and "COM<n>"
  // (Kind::Port) arrival and removal, on its own thread.
  IDeviceEventSource& Events();
  // A further, independent event source on the same devices.
  std::unique_ptr<IDeviceEventSource> NewEventSource();

  // Handset side.
  std::unique_ptr<ISimPort> AnnouncePda() override;
  std::unique_ptr<ISimPort> AnnounceCom(int n) override;

 private:
  std::shared_ptr<InProcState> m_state;
  std::unique_ptr<IDeviceProvider> m_provider;
  std::unique_ptr<IDeviceEventSource> m_events;
};

}  // namespace tw::sim

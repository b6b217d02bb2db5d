// The set-up shared by the tests and the benchmark of the dialog's logic:
// its services over the given parts, and a view that shows nothing.
#pragma once
#include <string>

#include "app/tidewelldlglogic.h"

namespace tw::test {

// No firmware package is found at this path.
inline constexpr const char* kNoPackagePath = "/nonexistent/tidewell-package";

// The logic's services: these parts, no firmware package, and downloaders
// from makeDownloader (real ones when it is empty).
inline CTidewellDlgLogic::Services LogicServices(ITidewellView& view, IMessageQueue& queue, IClock& clock,
                                                 IDeviceProvider& devices, IDeviceEventSource& events,
                                                 SlotDownloaderFactory makeDownloader = {}) {
  CTidewellDlgLogic::Services services;
  services.pView = &view;
  services.pQueue = &queue;
  services.pClock = &clock;
  services.pDevices = &devices;
  services.pEvents = &events;
  services.makeDownloader = std::move(makeDownloader);
  services.strPackagePath = kNoPackagePath;
  return services;
}

// A view, log box and progress bar that show nothing; a test overrides
// what it watches.
class SilentView : public ITidewellView, public ILogSink, public IProgressSink {
 public:
  void EnableStart(BOOL) override {}
  void MessageBox(const std::string&, const std::string&, MessageIcon) override {}
  ILogSink* LogEdit() override { return this; }
  IProgressSink* ProgressBar() override { return this; }
  void EndDialog(int) override {}
  void SetLogText(const std::string&) override {}
  void SetText(const std::string&) override {}
  void SetPos(int) override {}
};

}  // namespace tw::test

// What both front ends set up before the dialog's logic exists: the
// simulated handset (--simulate), the devices and their events (a device
// directory, or the system's USB devices through libusb and udev), the
// package path and the phone exchange's pacing.
#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "app/tidewelldlglogic.h"
#include "cli/frontoptions.h"
#include "cli/simulation.h"
#include "platform/deviceaccess.h"

namespace tw {

class CFrontSetup {
 public:
  CFrontSetup() = default;
  CFrontSetup(const CFrontSetup&) = delete;
  CFrontSetup& operator=(const CFrontSetup&) = delete;

  // False with the reason in *error when the package named by --package
  // cannot be read, when the simulation cannot be prepared, or when the
  // USB id rules cannot be read.
  bool Prepare(const FrontOptions& options, std::string* error);

  // Whether --device-dir names a directory that can be watched; false with
  // the reason in *error. The headless run ends on it; the window shows the
  // failed registration and keeps running.
  static bool DeviceDirUsable(const std::string& dir, std::string* error);

  // The logic's clock, devices, device events and package path (the view
  // and the queue are the front end's).
  CTidewellDlgLogic::Services Services();
  // The package the firmware set is taken from, as the user knows it.
  std::string PackageName() const;
  // Where handsets are looked for, as a user would name it ("on USB", "in
  // the device directory DIR").
  std::string DeviceSourceName() const;

  // --simulate: switches the simulated handset on, and after the run
  // writes its verification to err (true when it passed). Without
  // --simulate both succeed and do nothing.
  bool StartSimulation(std::string* error);
  bool FinishSimulation(std::FILE* err);

 private:
  std::unique_ptr<CSimulation> m_pSimulation;
  // The devices and their event source: a device directory's pda* and
  // COM<n> entries, or the system's own devices.
  std::unique_ptr<IDeviceAccess> m_pDevices;
  // The provider without a device source: nothing to enumerate or open.
  CNoDeviceProvider m_NoDevices;
  std::string m_strPackage;
  std::string m_strDeviceDir;
  PhonePacing m_Pacing = PhonePacing::Fixed;
  int m_nSlots = 1;
  bool m_bAutoStart = false;
};

}  // namespace tw

#include "cli/frontsetup.h"

#include <filesystem>

#include "firmware/imageset.h"
#include "pda/pdaguid.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/ownexecutable.h"

namespace tw {

namespace {

// A package named on the command line is read whole later; here it must at
// least open as a file, so that a wrong path is named with its reason.
bool PackageReadable(const std::string& path, std::string* error) {
  CFile file;
  std::string reason;
  CFileStatus status;
  if (!file.Open(path, CFile::modeRead, &reason)) {
    *error = "cannot read the package " + path + ": " + reason;
    return false;
  }
  if (!file.GetStatus(status) || !status.m_regular) {
    *error = "cannot read the package " + path + ": not a file";
    return false;
  }
  return true;
}

}  // namespace

bool CFrontSetup::DeviceDirUsable(const std::string& dir, std::string* error) {
  std::error_code code;
  const std::filesystem::file_status status = std::filesystem::status(dir, code);
  if (status.type() == std::filesystem::file_type::not_found) {
    *error = "the device directory " + dir + " does not exist";
    return false;
  }
  if (code || status.type() != std::filesystem::file_type::directory) {
    *error = "the device directory " + dir + " is not a directory" + (code ? ": " + code.message() : "");
    return false;
  }
  std::filesystem::directory_iterator entries(dir, code);
  if (code) {
    *error = "the device directory " + dir + " cannot be read: " + code.message();
    return false;
  }
  return true;
}

bool CFrontSetup::Prepare(const FrontOptions& options, std::string* error) {
  if (!options.strPackage.empty() && !PackageReadable(options.strPackage, error)) {
    return false;
  }
  std::string deviceDir = options.strDeviceDir;
  m_strPackage = options.strPackage;
  m_Pacing = options.pacing;
  m_nSlots = options.nSlots;
  m_bAutoStart = options.bAutoStart;
  if (options.bSimulate) {
    m_pSimulation = std::make_unique<CSimulation>();
    if (!m_pSimulation->Prepare(options, error)) {
      return false;
    }
    deviceDir = m_pSimulation->DeviceDir();
    m_strPackage = m_pSimulation->PackagePath();
  }
  // A device directory, or the handset on the system's USB.
  m_strDeviceDir = deviceDir;
  m_pDevices = deviceDir.empty() ? OpenSystemDevices(GUID_PDA_DOWNLOAD_INTERFACE, error)
                                 : OpenDeviceDirectory(deviceDir, GUID_PDA_DOWNLOAD_INTERFACE, error);
  return m_pDevices != nullptr;
}

CTidewellDlgLogic::Services CFrontSetup::Services() {
  CTidewellDlgLogic::Services services;
  services.pClock = &DefaultClock();
  services.pDevices = m_pDevices ? &m_pDevices->Provider() : &m_NoDevices;
  services.pEvents = m_pDevices ? &m_pDevices->Events() : nullptr;
  services.strPackagePath = m_strPackage.empty() ? OwnExecutableFile() : m_strPackage;
  services.pacing = m_Pacing;
  services.nSlots = m_nSlots;
  services.bAutoStart = m_bAutoStart;
  return services;
}

std::string CFrontSetup::PackageName() const {
  return m_strPackage.empty() ? "this executable" : m_strPackage;
}

std::string CFrontSetup::DeviceSourceName() const {
  return m_strDeviceDir.empty() ? "on USB" : "in the device directory " + m_strDeviceDir;
}

bool CFrontSetup::StartSimulation(std::string* error) {
  return !m_pSimulation || m_pSimulation->Start(error);
}

bool CFrontSetup::FinishSimulation(std::FILE* err) {
  return !m_pSimulation || m_pSimulation->Finish(err);
}

}  // namespace tw

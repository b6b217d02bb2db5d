// The one reporting seam of a run: everything a downloader reports (log
// lines, progress, stage and region starts and ends, the run's start and
// end) and the device events the dialog's logic sees reach the front ends
// through IRunObserver. The log box, the progress bar, the headless view and
// the event and record writers subscribe to it.
//
// Calls come from worker threads and from the UI thread; each subscriber
// guards its own state. Within one slot the calls arrive in the order the run
// made them.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "download/runoutcome.h"

namespace tw {

// The steps of a run that report a start and an end.
enum class RunStage {
  Hello,        // the PDA handshake on the download interface
  Eboot,        // the EBOOT image
  OsImage,      // the PDA OS image
  PhoneMode,    // the hand-over into phone download mode
  PortOpening,  // opening the phone's COM port
  Phone,        // the phone image, region after region
  Region,       // one region of the phone image: erase and blocks
};

// "hello", "eboot", "os_image", "phone_mode", "port_opening", "phone", "region".
const char* RunStageName(RunStage stage);

struct StageInfo {
  explicit StageInfo(RunStage what, int port = 0) : stage(what), nPort(port) {}
  StageInfo(std::string name, std::uint32_t dwStart, std::uint32_t dwLength, std::uint32_t nBlocks, int port)
      : stage(RunStage::Region),
        region(std::move(name)),
        start(dwStart),
        length(dwLength),
        blocks(nBlocks),
        nPort(port) {}

  RunStage stage = RunStage::Hello;
  // A region: its short name ("CODE"), flash address, length in bytes and
  // block count. The COM port for the port opening and the phone stages.
  std::string region;
  std::uint32_t start = 0;
  std::uint32_t length = 0;
  std::uint32_t blocks = 0;
  int nPort = 0;
};

// How a stage ended, with the image bytes it wrote (acknowledged).
struct StageOutcome {
  explicit StageOutcome(StageResult what, std::uint64_t nBytes = 0, std::string strDetail = {})
      : result(std::move(what)), bytes(nBytes), detail(std::move(strDetail)) {}

  StageResult result;
  std::uint64_t bytes = 0;
  // A region: "written", "skipped" (erase refused), "refused" (beyond the
  // image), "failed" or "stopped"; empty for the other stages.
  std::string detail;
};

// A device arrival or removal as the dialog's logic received it.
struct DeviceReport {
  bool bArrival = true;
  std::string kind;  // "pda" or "port"
  std::string name;
  std::string location;  // the USB port path; empty when unknown
};

class IRunObserver {
 public:
  virtual ~IRunObserver() = default;
  virtual void OnDevice(const DeviceReport& /*device*/) {}
  // A run begins on the slot (its handset is being connected).
  virtual void OnRunStarted(int /*nSlot*/) {}
  // One log line, exactly as the log box adds it.
  virtual void OnLogLine(int /*nSlot*/, const std::string& /*line*/) {}
  // A text the documented program printed on its console (the download
  // interface's open attempts), not a log line.
  virtual void OnConsoleText(int /*nSlot*/, const std::string& /*text*/) {}
  // The progress bar: its position (0 to 100) and its caption.
  virtual void OnProgress(int /*nSlot*/, int /*nPos*/, const std::string& /*text*/) {}
  virtual void OnStageStarted(int /*nSlot*/, const StageInfo& /*stage*/) {}
  virtual void OnStageEnded(int /*nSlot*/, const StageInfo& /*stage*/, const StageOutcome& /*outcome*/) {}
  // The run's one end (also for a run whose connect failed).
  virtual void OnRunEnded(const RunEnd& /*end*/) {}
};

}  // namespace tw

// --record: one JSON line per finished run, appended to a file: the package
// flashed (path, each image's SHA-256, the header's options), the slot, its
// location and COM port, start and end time, outcome and reason, skipped
// regions, bytes and durations. The file is opened for appending and each
// record is one write, forced to the disk, so a crash or a full disk never
// damages the records before it; a record that cannot be written is told to
// the error sink and the run goes on.
#pragma once
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "download/runobserver.h"
#include "report/lineoutput.h"
#include "report/packagefacts.h"
#include "report/runtally.h"

namespace tw {

class CRecordWriter final : public IRunObserver {
 public:
  // describe: the firmware of the run, asked at its start.
  CRecordWriter(std::string path, std::function<PackageFacts()> describe, CLineOutput::ErrorSink onError);

  void OnDevice(const DeviceReport& device) override;
  void OnRunStarted(int nSlot) override;
  void OnStageStarted(int nSlot, const StageInfo& stage) override;
  void OnStageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) override;
  void OnRunEnded(const RunEnd& end) override;

 private:
  const std::string m_strPath;
  std::function<PackageFacts()> m_describe;
  CLineOutput::ErrorSink m_onError;
  CLineOutput m_out;
  CRunTallies m_tallies;
  std::mutex m_lock;
  std::map<int, PackageFacts> m_packages;  // by slot, for the runs under way
  std::string m_strLastLocation;           // the location of the last PDA arrival
  std::map<int, std::string> m_locations;  // by slot
};

}  // namespace tw

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
#include <memory>
#include <mutex>
#include <string>

#include "download/runobserver.h"
#include "report/lineoutput.h"
#include "report/packagefacts.h"
#include "report/runtally.h"

namespace tw {

class CRecordWriter final : public IRunObserver {
 public:
  // describe: the firmware of the run. Its images are described when the
  // run's first image stage starts: the images can no longer be replaced
  // then, and they are the ones flashed. A run that never got so far
  // (its handshake failed) names the package without images.
  using Describer = std::function<PackageFacts(bool bImages)>;
  CRecordWriter(std::string path, Describer describe, CLineOutput::ErrorSink onError);

  // The file of the records of runs that end from now on; empty: none.
  void SetPath(std::string path);
  std::string Path() const;

  void OnDevice(const DeviceReport& device) override;
  void OnRunStarted(int nSlot) override;
  void OnStageStarted(int nSlot, const StageInfo& stage) override;
  void OnStageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) override;
  void OnRunEnded(const RunEnd& end) override;

 private:
  std::string m_strPath;  // guarded by m_lock
  Describer m_describe;
  CLineOutput::ErrorSink m_onError;
  std::shared_ptr<CLineOutput> m_out;  // guarded by m_lock; a new one for a new path
  CRunTallies m_tallies;
  mutable std::mutex m_lock;
  std::map<int, PackageFacts> m_packages;  // by slot, for the runs whose images are described
  // The location of the last PDA arrival, and by slot the one its run began
  // with: the record's location when the run's end names none.
  std::string m_strLastLocation;
  std::map<int, std::string> m_locations;
};

}  // namespace tw

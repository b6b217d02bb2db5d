#include "report/recordwriter.h"

#include "report/reportjson.h"

namespace tw {

CRecordWriter::CRecordWriter(std::string path, Describer describe, CLineOutput::ErrorSink onError)
    : m_strPath(std::move(path)), m_describe(std::move(describe)), m_onError(std::move(onError)) {
  m_out = std::make_unique<CLineOutput>(m_onError);
  m_out->SyncEachLine();
}

void CRecordWriter::SetPath(std::string path) {
  std::lock_guard guard(m_lock);
  if (path == m_strPath) return;
  m_strPath = std::move(path);
  m_out = std::make_unique<CLineOutput>(m_onError);
  m_out->SyncEachLine();
}

std::string CRecordWriter::Path() const {
  std::lock_guard guard(m_lock);
  return m_strPath;
}

void CRecordWriter::OnDevice(const DeviceReport& device) {
  if (!device.bArrival || device.kind != "pda") return;
  std::lock_guard guard(m_lock);
  m_strLastLocation = device.location;
}

void CRecordWriter::OnRunStarted(int nSlot) {
  m_tallies.RunStarted(nSlot);
  std::lock_guard guard(m_lock);
  m_packages.erase(nSlot);
  m_locations[nSlot] = m_strLastLocation;
}

void CRecordWriter::OnStageStarted(int nSlot, const StageInfo& stage) {
  m_tallies.StageStarted(nSlot, stage);
  const bool bImageStage = stage.stage == RunStage::Eboot || stage.stage == RunStage::OsImage ||
                           stage.stage == RunStage::PhoneMode || stage.stage == RunStage::Phone;
  if (!bImageStage || !m_describe) return;
  {
    std::lock_guard guard(m_lock);
    if (m_packages.contains(nSlot)) return;
  }
  PackageFacts facts = m_describe(true);
  std::lock_guard guard(m_lock);
  m_packages[nSlot] = std::move(facts);
}

void CRecordWriter::OnStageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) {
  m_tallies.StageEnded(nSlot, stage, outcome);
}

// The file is opened with the first record and stays open; a record file
// that could not be opened (a missing directory, a read-only file system)
// is tried again with the next record.
void CRecordWriter::OnRunEnded(const RunEnd& end) {
  const RunTally tally = m_tallies.RunEnded(end.nSlot);
  ReportJson record = {{"schema", kReportSchema}};
  std::string path;
  std::shared_ptr<CLineOutput> out;
  {
    std::lock_guard guard(m_lock);
    path = m_strPath;
    out = m_out;
    auto described = m_packages.find(end.nSlot);
    record["package"] = PackageJson(described != m_packages.end() ? described->second
                                    : m_describe                  ? m_describe(false)
                                                                  : PackageFacts{});
    record["slot"] = end.nSlot;
    AddWhere(record, end, tally, m_locations[end.nSlot]);
    m_packages.erase(end.nSlot);
    m_locations.erase(end.nSlot);
  }
  record["started"] = UtcTimestamp(tally.startedWall);
  record["ended"] = UtcTimestamp(std::chrono::system_clock::now());
  AddRunEnd(record, end, tally);
  if (path.empty()) return;
  if (!out->IsOpen()) {
    std::string error;
    if (!out->OpenFile(path, &error)) {
      if (m_onError) {
        m_onError("cannot open the record file " + path + ": " + error + "; the record of this run is lost");
      }
      return;
    }
  }
  out->WriteLine(JsonLine(record));
}

}  // namespace tw

#include "report/runreports.h"

namespace tw {

CRunReports::CRunReports(ReportOptions options, std::FILE* dash, CLineOutput::ErrorSink onError)
    : m_options(std::move(options)), m_pDash(dash), m_onError(onError), m_eventsOut(onError) {}

bool CRunReports::Open(std::string* error) {
  if (!m_options.strEvents.empty()) {
    if (m_options.strEvents == "-") {
      m_eventsOut.UseStream(m_pDash, "the standard output");
    } else if (!m_eventsOut.OpenFile(m_options.strEvents, error)) {
      *error = "cannot open the events file " + m_options.strEvents + ": " + *error;
      return false;
    }
    m_pEvents = std::make_unique<CEventsWriter>(m_eventsOut);
    m_list.Add(m_pEvents.get());
  }
  if (!m_options.strRecord.empty() || m_bRecordChoice) {
    m_pRecord = std::make_unique<CRecordWriter>(
        m_options.strRecord, [this](bool bImages) { return Describe(bImages); }, m_onError);
    m_list.Add(m_pRecord.get());
  }
  return true;
}

void CRunReports::SetRecordFile(const std::string& path) {
  if (m_pRecord) m_pRecord->SetPath(path);
}

std::string CRunReports::RecordFile() const {
  return m_pRecord ? m_pRecord->Path() : std::string();
}

void CRunReports::AttachImages(const CImageSet& images, std::string packagePath) {
  m_pDescriber = std::make_unique<CPackageDescriber>(images, std::move(packagePath));
}

PackageFacts CRunReports::Describe(bool bImages) {
  return m_pDescriber ? m_pDescriber->Describe(bImages) : PackageFacts{};
}

}  // namespace tw

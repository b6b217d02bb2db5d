#include "report/lineoutput.h"

#include <cerrno>
#include <cstring>

namespace tw {

CLineOutput::CLineOutput(ErrorSink onError) : m_onError(std::move(onError)) {}

bool CLineOutput::OpenFile(const std::string& path, std::string* error) {
  std::lock_guard guard(m_lock);
  m_strName = path;
  return m_file.Open(path, CFile::modeWrite | CFile::modeAppend, error) == TRUE;
}

bool CLineOutput::IsOpen() {
  std::lock_guard guard(m_lock);
  return m_pStream != nullptr || m_file.IsOpen();
}

void CLineOutput::UseStream(std::FILE* stream, std::string name) {
  std::lock_guard guard(m_lock);
  m_pStream = stream;
  m_strName = std::move(name);
}

bool CLineOutput::WriteLine(const std::string& line) {
  std::lock_guard guard(m_lock);
  const std::string text = (m_bCutLine ? "\n" : "") + line + "\n";
  bool bWritten = false;
  errno = 0;
  if (m_pStream) {
    bWritten = std::fputs(text.c_str(), m_pStream) >= 0 && std::fflush(m_pStream) == 0;
  } else if (m_file.IsOpen()) {
    bWritten = m_file.Write(text.data(), text.size()) == TRUE;
    m_bCutLine = !bWritten;
    if (bWritten && m_bSync) m_file.Flush();
  } else {
    errno = EBADF;
  }
  if (!bWritten) {
    Failed(errno != 0 ? std::strerror(errno) : "write failed");
    return false;
  }
  m_bFailing = false;
  return true;
}

void CLineOutput::Failed(const std::string& why) {
  if (m_bFailing) return;
  m_bFailing = true;
  if (m_onError) m_onError("cannot write to " + m_strName + ": " + why + "; the run goes on");
}

}  // namespace tw

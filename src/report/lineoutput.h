// Where the JSON lines go: a file opened for appending, written with one
// write per line (so a line is never interleaved with another writer's and a
// crash leaves every earlier line whole), or a stream flushed per line.
#pragma once
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "platform/file.h"

namespace tw {

class CLineOutput {
 public:
  // Told once when writing starts to fail (and again after a success).
  using ErrorSink = std::function<void(const std::string& message)>;

  explicit CLineOutput(ErrorSink onError);
  // Appends to path, creating it when missing. False with the reason.
  bool OpenFile(const std::string& path, std::string* error);
  // Each line written to a file is also forced to the disk (fsync).
  void SyncEachLine() { m_bSync = true; }
  bool IsOpen();
  // Writes to stream (not owned), flushed after each line.
  void UseStream(std::FILE* stream, std::string name);
  // Appends line and a line end. A line cut short by a full disk is ended
  // before the next line, so that the next line still stands on its own.
  bool WriteLine(const std::string& line);

 private:
  void Failed(const std::string& why);

  ErrorSink m_onError;
  std::mutex m_lock;
  CFile m_file;
  std::FILE* m_pStream = nullptr;
  std::string m_strName;
  bool m_bCutLine = false;  // the last write may have left part of a line
  bool m_bFailing = false;  // the last write failed (told already)
  bool m_bSync = false;
};

}  // namespace tw

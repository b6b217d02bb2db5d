// COM numbers for serial devices. The upgrader names its ports "COMn:" and
// "\\.\COMn"; the table says which device path stands behind number n.
// Filled by the device event source (stable numbers while a device is
// present); in device-directory mode number n is the entry DIR/COMn, or
// DIR/COMn@LOC when the entry carries its location.
#pragma once
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace tw {

// The port number of "COMn", "COMn:" or "\\.\COMn" (n from 1 to kMaxPortNumber,
// no sign, no leading zero, "COM" in any case); nullopt for any other name.
std::optional<int> ParsePortName(const std::string& name);

class CPortTable {
 public:
  static constexpr int kMaxPortNumber = 9999;

  CPortTable() = default;
  // Device-directory mode: a number without an entry of its own resolves to dir/COMn.
  explicit CPortTable(std::string directory);

  // Gives number n to path (replacing what n had). False for a number out of range.
  bool Set(int n, const std::string& path);
  // The number of path: its present one, or the lowest free one. 0 when all are taken.
  int Assign(const std::string& path);
  void Remove(int n);
  void RemovePath(const std::string& path);

  // The device path behind number n, or nullopt with the reason in *why.
  std::optional<std::string> Lookup(int n, std::string* why = nullptr) const;
  // The device path behind a port name ("COM7", "COM7:", "\\.\COM7"), or
  // nullopt with the reason in *why.
  std::optional<std::string> Resolve(const std::string& name, std::string* why = nullptr) const;

 private:
  // The entry of number n in the directory: the one entry whose name gives n
  // ("COMn", "COMn@LOC"), DIR/COMn when there is none, nullopt when several do.
  std::optional<std::string> DirectoryEntry(int n, std::string* why) const;

  mutable std::mutex m_lock;
  std::string m_directory;
  std::map<int, std::string> m_paths;
};

}  // namespace tw

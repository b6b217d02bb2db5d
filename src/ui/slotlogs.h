// The logs of the armed slots as the window keeps them: each slot's
// downloader log with the station's lines that came in between ("[station]
// A handset waits for a free slot."), so that the log box can show any
// slot's whole story when that slot is chosen.
#pragma once
#include <string>
#include <vector>

namespace tw {

// How a slot's text changed: a tail added at its end, or the whole text
// replaced (the downloader's log began again with a new run).
struct LogChange {
  bool bTail = true;
  std::string tail;  // what was added (bTail)
};

class CSlotLogs {
 public:
  explicit CSlotLogs(int nSlots);

  // A slot's downloader reported its whole log. A log that continues the
  // last one adds its new lines; any other starts the slot's text again,
  // keeping the station lines that came after the last log line.
  LogChange SetLog(int nSlot, const std::string& log);
  // A station line, added to every slot's text.
  void AddNote(const std::string& line);
  // The line as AddNote adds it.
  static std::string NoteLine(const std::string& line);

  const std::string& Text(int nSlot) const { return m_slots[static_cast<std::size_t>(nSlot)].text; }

 private:
  struct Slot {
    std::string log;            // the downloader's log as last reported
    std::string text;           // what the log box shows for the slot
    std::string notesSinceLog;  // station lines after the log's last line
  };
  std::vector<Slot> m_slots;
};

}  // namespace tw

#include "ui/slotlogs.h"

namespace tw {

CSlotLogs::CSlotLogs(int nSlots) : m_slots(static_cast<std::size_t>(nSlots)) {}

LogChange CSlotLogs::SetLog(int nSlot, const std::string& log) {
  Slot& slot = m_slots[static_cast<std::size_t>(nSlot)];
  const bool bContinues = log.size() >= slot.log.size() && log.compare(0, slot.log.size(), slot.log) == 0;
  LogChange change;
  if (bContinues) {
    change.tail = log.substr(slot.log.size());
    slot.text += change.tail;
    // Station lines before new log lines stay where they are.
    if (!change.tail.empty()) slot.notesSinceLog.clear();
  } else {
    change.bTail = false;
    slot.text = slot.notesSinceLog + log;
    slot.notesSinceLog.clear();
  }
  slot.log = log;
  return change;
}

void CSlotLogs::AddNote(const std::string& line) {
  const std::string text = NoteLine(line);
  for (Slot& slot : m_slots) {
    slot.text += text;
    slot.notesSinceLog += text;
  }
}

std::string CSlotLogs::NoteLine(const std::string& line) {
  return "[station] " + line + "\r\n";
}

}  // namespace tw

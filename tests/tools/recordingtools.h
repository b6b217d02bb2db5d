// The developer tools over a firmware set of their own, with their message
// boxes recorded and their file-open dialog answering m_chosen (recording
// each filter and flags it was shown with). Their owner says a download runs
// while m_downloadRunning is set, and keeps what they took in m_taken.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "firmware/imageset.h"
#include "tools/devtools.h"

namespace tw::test {

struct RecordingTools {
  RecordingTools() {
    m_tools.SetCallbacks(ToolCallbacks{[this](const std::string& text) { m_messages.push_back(text); },
                                       [this](const std::string& filter, DWORD flags) {
                                         m_filters.push_back(filter);
                                         m_flags.push_back(flags);
                                         return m_chosen;
                                       }});
  }

  CImageSet m_images;
  bool m_downloadRunning = false;
  std::vector<ImageChoice> m_taken;
  DevToolsOwner m_owner{[this] { return m_downloadRunning; },
                        [this](ImageChoice c) { m_taken.push_back(c); }};
  CDevTools m_tools{m_images, m_owner};
  std::optional<std::string> m_chosen;
  std::vector<std::string> m_messages, m_filters;
  std::vector<DWORD> m_flags;
};

}  // namespace tw::test

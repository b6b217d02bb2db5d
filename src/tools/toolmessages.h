// How the developer tools reach the user: a message box with an OK button,
// and the file-open dialog. The window gives its dialogs, the command line
// stderr and the paths of its arguments.
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "platform/wintypes.h"

namespace tw {

// Flags of the file-open dialog, with their Windows values.
inline constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
inline constexpr DWORD OFN_HIDEREADONLY = 0x00000004;

struct ToolCallbacks {
  // Shows text in a message box with an OK button.
  std::function<void(const std::string& text)> messageBox;
  // Shows the file-open dialog with a filter in the "Name (*.ext)|*.ext|"
  // form; the chosen path, or nullopt when the user cancels.
  std::function<std::optional<std::string>(const std::string& filter, DWORD flags)> openFileName;
};

// Messages on stderr, and every file dialog cancelled.
ToolCallbacks StderrToolCallbacks();

}  // namespace tw

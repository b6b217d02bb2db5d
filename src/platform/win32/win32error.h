// A Win32 error code as text for messages: "the system's text (code N)".
#pragma once
#include <windows.h>

#include <string>

namespace tw {

std::string Win32ErrorText(unsigned long code);

}  // namespace tw

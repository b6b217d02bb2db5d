// UTF-8 (the program's strings) to and from UTF-16 (the Win32 wide calls).
#pragma once
#include <string>

namespace tw {

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

}  // namespace tw

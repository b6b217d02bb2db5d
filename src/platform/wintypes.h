// Plain integer types with the names the upgrader's results use.
#pragma once
#include <cstdint>

namespace tw {

using BOOL = int;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// Private messages between the main dialog and the downloaders.
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_DEVICE_PDA = WM_USER + 1000;
inline constexpr UINT WM_DOWNLOAD_DONE = WM_USER + 1002;
inline constexpr UINT WM_DEVICE_PHONE = WM_USER + 1005;
// A connect that ran on a downloader's worker returned (wParam the slot).
inline constexpr UINT WM_CONNECT_DONE = WM_USER + 1006;

}  // namespace tw

// The device interface class of the handset's USB download interface.
#pragma once
#include "platform/guid.h"

namespace tw {

// {25DBCE51-6C8F-4A72-8A6D-B54C2B4FC835}; in memory 51 CE DB 25 8F 6C 72 4A 8A 6D B5 4C 2B 4F C8 35.
inline constexpr GUID GUID_PDA_DOWNLOAD_INTERFACE = {
    0x25DBCE51, 0x6C8F, 0x4A72, {0x8A, 0x6D, 0xB5, 0x4C, 0x2B, 0x4F, 0xC8, 0x35}};

}  // namespace tw

// The owner a downloader falls back to when it is made without one: all
// flags clear, no devices, messages dropped, the real clock.
#pragma once
#include <memory>

#include "download/downloadowner.h"

namespace tw {

std::unique_ptr<IDownloadOwner> MakeInertOwner();

}  // namespace tw

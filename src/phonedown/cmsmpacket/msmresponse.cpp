#include "phonedown/cmsmpacket/msmresponse.h"

#include <algorithm>

namespace tw {

namespace {
constexpr BYTE kFlag = 0x7E;
constexpr BYTE kOpenAlt = 0x7F;
}  // namespace

BYTE GetResponseCode(std::span<const BYTE> response) {
  if (response.empty()) return 0;
  const bool flagged = response[0] == 0x7E || response[0] == 0x7F;
  if (!flagged) return response[0];
  return response.size() > 1 ? response[1] : 0;
}

BOOL IsAcknowledgement(std::span<const BYTE> response) {
  const bool ok = response.size() >= 2 && response[0] == 'O' && response[1] == 'K';
  return (ok || GetResponseCode(response) == ACK) ? TRUE : FALSE;
}

WholeAnswers FindWholeAnswers(std::span<const BYTE> bytes) {
  WholeAnswers found;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const BYTE b = bytes[i];
    if (b == kFlag || b == kOpenAlt) {
      const auto close = std::find(bytes.begin() + static_cast<std::ptrdiff_t>(i) + 1, bytes.end(), kFlag);
      if (close == bytes.end()) {
        found.bUnfinished = true;
        break;
      }
      const std::size_t end = static_cast<std::size_t>(close - bytes.begin());
      if (end > i + 1) {
        found.last = bytes.subspan(i, end - i + 1);
        found.bUnfinished = false;
        i = end + 1;
      } else {
        i = end;  // an empty frame: its closing flag opens the next one
      }
    } else if (b == 'O' && i + 1 == bytes.size()) {
      found.bUnfinished = true;
      break;
    } else if (b == 'O' && bytes[i + 1] == 'K') {
      found.last = bytes.subspan(i, 2);
      found.bUnfinished = false;
      i += 2;
    } else {
      ++i;
    }
  }
  return found;
}

}  // namespace tw

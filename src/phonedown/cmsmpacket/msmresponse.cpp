#include "phonedown/cmsmpacket/msmresponse.h"

namespace tw {

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

}  // namespace tw

#include "sim/pdarecords.h"

namespace tw::sim {

std::size_t HostMessageBytes(std::uint32_t word0) {
  switch (word0) {
    case kDataType:
      return kOsPacketBytes;
    case kCmdEbootData:
      return kEbootRecordBytes;
    case kCmdEbootEnd:
      return kEbootEndBytes;
    case kCmdEbootInfo:
    case kCmdOsInfo:
    case kCmdPhoneMode:
    case kCmdHelloAck:
    case kCmdFinish:
    case kCmdImageDone:
    case kCmdPoll:
    case kCmdAfterConnect:
      return kCommandBytes;
    default:
      return 0;
  }
}

}  // namespace tw::sim

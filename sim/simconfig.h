// How the simulated handset behaves: its protocol choices and the faults it
// injects. Positions are 1-based (record 1 is the first EBOOT data record);
// 0 switches a positional fault off.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tw::sim {

struct SimFaults {
  // No acknowledgement for EBOOT data record k.
  std::uint32_t noAckEbootRecord = 0;
  // No acknowledgement for OS-image packet k (counted over the whole image).
  std::uint32_t noAckOsPacket = 0;
  // The hello's first byte is 0x00 instead of 0x0A (the first hello only).
  bool wrongHello = false;
  // This many "busy" replies (neither 0x0F nor 0x12) before the completion
  // reply of the EBOOT end and of the OS image, each answering a poll.
  std::uint32_t busyReplies = 0;
  // Data request k is sent 10 bytes long instead of 16 (then, after the
  // host's poll, in full).
  std::uint32_t shortRequest = 0;
  // Data request k asks for 3000 bytes more than remain.
  std::uint32_t overRequest = 0;
  // Every erase of region r (the r-th region jump after the opening two) is
  // answered NAK_BAD_CRC.
  std::uint32_t nakEraseRegion = 0;
  // No answer for phone data block k (counted over the whole phone download).
  std::uint32_t noAnswerBlock = 0;
  // The PDA_CMD_IMAGE_DONE that hands over to the phone is answered 0x00
  // instead of 0x0F: the handset does not go into phone mode.
  bool refuseHandover = false;
  // The jump of region r is never answered (nor any of its retries).
  std::uint32_t noAckJumpRegion = 0;
  // Disconnect once the host has sent b bytes on the USB side / the COM side
  // (the device vanishes after taking byte b; 0 = never).
  std::uint64_t disconnectPdaAfterByte = 0;
  std::uint64_t disconnectPhoneAfterByte = 0;
  // Every reply leaves this many ms after the message it answers.
  std::uint32_t replyDelayMs = 0;
  // Replies go out in pieces of random sizes (seeded), a piece gap apart.
  bool splitReplies = false;
  std::uint32_t splitSeed = 1;
  std::uint32_t splitGapMs = 1;
  // Every answer of the modem goes out in this many pieces of even sizes (at
  // most one a byte), an answer gap apart; 0 and 1 keep answers whole.
  std::uint32_t answerPieces = 0;
  std::uint32_t answerGapMs = 1;
  // Every phone data block is answered this long after it arrived: a slow flash.
  std::uint32_t blockAnswerDelayMs = 0;
};

struct SimConfig {
  // Sizes of the OS-image data requests, in order; the last one repeats.
  // 0 means "the rest of the image". Each request is cut to what remains.
  std::vector<std::uint32_t> osRequestSizes{64 * 1024};
  // After the EBOOT's PDA_CMD_IMAGE_DONE the OS image follows (the host reads
  // no reply then); false makes the agent answer 0x0F for a hand-over.
  bool osImageFollowsEboot = true;
  // The COM port number the handset shows in phone mode.
  int comPort = 7;
  // Where the handset is plugged in ("1-2"), named in its summary; empty for none.
  std::string location;
  // Pause between leaving the USB side and the COM port's arrival.
  std::uint32_t phoneModePauseMs = 300;
  // Answer the modem's frames and blocks with "OK" instead of 7E 02 ... 7E.
  bool answerOk = false;
  // Regions the phone download writes (7 for the full set, 2 otherwise); the
  // run ends when the host closes the port after the last one. 0 = unknown:
  // the run ends when the host closes the port.
  int phoneRegions = 0;
  // The whole run ends after this long in real time (0 = no limit).
  std::uint32_t runTimeoutMs = 0;
  SimFaults faults;
};

}  // namespace tw::sim

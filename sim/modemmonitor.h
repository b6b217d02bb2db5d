// The modem's download monitor: takes the host's framed commands (jump,
// erase, EFS) and the raw 1 KiB blocks that follow an erase, checks each
// frame's flags, escapes and check sequence, places the blocks one after
// another from the erase's start address, and answers every frame and block
// once. Whatever the protocol does not allow (an erase off the region table
// included) is recorded as a violation with its byte offset in the host's
// stream.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "sim/simconfig.h"
#include "sim/simflash.h"
#include "sim/simsummary.h"

namespace tw::sim {

class ModemMonitor {
 public:
  // What an answer answers: a framed command, or a data block.
  enum class Answered { Frame, Block };
  using SendFn = std::function<void(std::span<const std::uint8_t>, Answered)>;

  ModemMonitor(const SimConfig& config, SimFlash& flash, SimRecorder& recorder, SendFn send);

  // Bytes from the host, in any pieces.
  void OnBytes(const std::uint8_t* data, std::size_t n);
  // The host has been quiet for a while: a frame or block begun and not
  // finished is cut short.
  void OnQuiet();

  // The host is between regions (no blocks owed) and has written at least one.
  bool BetweenRegions() const { return m_blocksLeft == 0 && m_blocksTotal > 0; }
  // The last of config.phoneRegions regions is written.
  bool Done() const { return m_done; }

 private:
  enum class Mode { Idle, InFrame, Block };

  void OnFrameByte(std::uint8_t b);
  void OnBlockByte(std::uint8_t b);
  void EndFrame();
  std::optional<std::vector<std::uint8_t>> Unstuff();
  void Dispatch(const std::vector<std::uint8_t>& payload);
  void OnJump();
  void OnErase(const std::vector<std::uint8_t>& payload);
  // With a known region set, an erase must name the table's region in turn.
  void CheckAgainstTable(std::uint32_t start, std::uint32_t length);
  void OnEfs();
  void OnBlock();
  void Answer(std::uint8_t code, Answered what = Answered::Frame);
  void Violate(std::uint64_t offset, std::string what);
  RegionSummary& Region();
  void NewRegion();
  void CheckDone();

  const SimConfig& m_config;
  SimFlash& m_flash;
  SimRecorder& m_recorder;
  SendFn m_send;

  Mode m_mode = Mode::Idle;
  std::uint64_t m_offset = 0;  // stream offset of the byte in hand
  bool m_inGarbage = false;
  bool m_padAllowed = false;          // a 0x00 may follow the frame just closed
  std::vector<std::uint8_t> m_frame;  // bytes between the flags
  std::uint64_t m_frameOffset = 0;

  std::uint32_t m_jumps = 0;
  bool m_regionJumpAnswered = false;
  int m_regionIndex = 0;  // region of the current jump, 1-based
  std::vector<RegionSummary> m_regions;
  bool m_eraseAccepted = false;  // the current region's erase was acknowledged

  std::vector<std::uint8_t> m_eraseWire;  // the accepted erase frame, to spot a repeat
  std::vector<std::uint8_t> m_block;
  std::uint64_t m_blockOffset = 0;
  std::uint32_t m_blocksLeft = 0;
  std::uint32_t m_blockAddress = 0;
  std::uint32_t m_blocksTotal = 0;
  bool m_done = false;
};

}  // namespace tw::sim

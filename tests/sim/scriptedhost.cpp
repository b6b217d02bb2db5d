#include "tests/sim/scriptedhost.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "pda/pdacommands.h"
#include "pda/pdaguid.h"
#include "phonedown/cmsmpacket/pkt.h"
#include "platform/byteorder.h"

namespace tw::sim::test {

namespace {

using SteadyClock = std::chrono::steady_clock;

int MsLeft(SteadyClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return static_cast<int>(std::max<long long>(left, 0));
}

}  // namespace

Bytes Frame(const Bytes& payload) {
  Bytes frame(FrameCapacity(payload.size()));
  frame.resize(CMsmPacket().MakeFrame(frame, payload, kFrameStuffed));
  return frame;
}

Bytes Command(std::uint32_t code, std::uint32_t size, std::uint32_t mask) {
  data_packet packet;
  packet.SetCommand(code, size, mask);
  auto wire = packet.Encode();
  return Bytes(wire.begin(), wire.begin() + static_cast<std::ptrdiff_t>(packet.WireSize()));
}

Bytes EbootRecord(const Bytes& image, std::size_t offset) {
  data_packet packet;
  packet.SetCommand(PDA_CMD_EBOOT_DATA, static_cast<DWORD>(image.size()));
  packet.SetData(image.data() + offset, std::min<std::size_t>(kDataPacketDataSize, image.size() - offset));
  auto wire = packet.Encode();
  return Bytes(wire.begin(), wire.end());
}

Bytes OsPacket(const Bytes& image, std::size_t offset, std::size_t n) {
  os_data_packet packet;
  packet.SetData(image.data() + offset, n);
  auto wire = packet.Encode();
  return Bytes(wire.begin(), wire.end());
}

Bytes JumpFrame() {
  return Frame({MSM_CMD_JUMP});
}

Bytes EraseFrame(std::uint32_t start, std::uint32_t length) {
  Bytes payload(kErasePayloadSize, 0);
  payload[0] = MSM_CMD_ERASE;
  StoreLe32(payload.data() + 5, length);
  StoreLe32(payload.data() + 9, start);
  return Frame(payload);
}

Bytes EfsFrame() {
  Bytes payload(kEfsPayloadSize, 0);
  payload[0] = MSM_CMD_EFS;
  return Frame(payload);
}

bool ScriptedHost::OpenPda(int timeoutMs) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    std::vector<std::string> paths = m_provider.EnumerateInterfaces(GUID_PDA_DOWNLOAD_INTERFACE);
    if (!paths.empty() && (m_device = m_provider.OpenInterface(paths[0], nullptr))) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (SteadyClock::now() < deadline);
  return false;
}

bool ScriptedHost::OpenCom(int n, int timeoutMs) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    if ((m_device = m_provider.OpenPort("COM" + std::to_string(n), nullptr))) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (SteadyClock::now() < deadline);
  return false;
}

bool ScriptedHost::Send(const Bytes& bytes) {
  return m_device && m_device->Write(bytes.data(), bytes.size(), 1000);
}

Bytes ScriptedHost::ReadUpTo(std::size_t n, int timeoutMs) {
  if (!m_device || m_device->WaitReceive(timeoutMs) != 1) {
    return {};
  }
  Bytes out(n);
  long got = m_device->Read(out.data(), n);
  out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return out;
}

Bytes ScriptedHost::ReadExact(std::size_t n, int timeoutMs) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  Bytes out;
  while (out.size() < n) {
    Bytes piece = ReadUpTo(n - out.size(), MsLeft(deadline));
    if (piece.empty()) {
      break;
    }
    out.insert(out.end(), piece.begin(), piece.end());
  }
  return out;
}

std::optional<std::uint8_t> ScriptedHost::ReadAnswer(int timeoutMs) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  Bytes first = ReadExact(1, timeoutMs);
  if (first.empty()) {
    return std::nullopt;
  }
  if (first[0] == 'O') {
    Bytes k = ReadExact(1, MsLeft(deadline));
    return k == Bytes{'K'} ? std::optional<std::uint8_t>(0x02) : std::nullopt;
  }
  if (first[0] != kFrameFlag) {
    return first[0];
  }
  Bytes body;
  while (true) {
    Bytes next = ReadExact(1, MsLeft(deadline));
    if (next.empty()) {
      return std::nullopt;
    }
    if (next[0] == kFrameFlag) {
      break;
    }
    body.push_back(next[0]);
  }
  return body.empty() ? std::nullopt : std::optional<std::uint8_t>(body[0]);
}

bool ScriptedHost::Gone() {
  return !m_device || m_device->BytesWaiting() < 0;
}

}  // namespace tw::sim::test

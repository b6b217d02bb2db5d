#include "tests/sim/scriptedrun.h"

#include <algorithm>
#include <random>

#include "pda/pdacommands.h"
#include "phonedown/cmsmpacket/msmresponse.h"
#include "phonedown/cmsmpacket/pkt.h"
#include "platform/byteorder.h"

namespace tw::sim::test {

namespace {

// Replies are read until the expected one, at most this often.
constexpr int kMaxPolls = 10;
constexpr int kJumpAttempts = 2;

std::uint8_t First(const Bytes& reply) {
  return reply.empty() ? 0 : reply[0];
}

// Polls until the reply's first byte is done; every reply is kept.
std::vector<std::uint8_t> CompletionReplies(ScriptedHost& host, std::uint8_t done, int waitMs) {
  std::vector<std::uint8_t> replies;
  for (int i = 0; i < kMaxPolls; ++i) {
    Bytes reply = host.ReadUpTo(kPdaReplySize, waitMs);
    if (reply.empty()) {
      break;
    }
    replies.push_back(reply[0]);
    if (reply[0] == done) {
      break;
    }
    host.Send(Command(PDA_CMD_POLL));
  }
  return replies;
}

void PlayEboot(ScriptedHost& host, const RunPlan& plan, Observed& seen) {
  std::uint32_t size = static_cast<std::uint32_t>(plan.eboot.size());
  host.Send(Command(PDA_CMD_EBOOT_INFO, size));
  host.ReadUpTo(kPdaReplySize, plan.answerWaitMs);
  host.Send(Command(PDA_CMD_POLL, size));
  host.ReadUpTo(kPdaReplySize, plan.answerWaitMs);
  for (std::size_t offset = 0; offset < size; offset += kDataPacketDataSize) {
    host.Send(EbootRecord(plan.eboot, offset));
    seen.ebootAcks.push_back(!host.ReadUpTo(kPdaReplySize, plan.answerWaitMs).empty());
  }
  host.Send(Command(PDA_CMD_EBOOT_END));
  seen.ebootEndReplies = CompletionReplies(host, PDA_RSP_READY, plan.answerWaitMs);
  host.Send(Command(PDA_CMD_IMAGE_DONE));
}

// Serves requests as the host does, cutting each to what remains.
void PlayOs(ScriptedHost& host, const RunPlan& plan, Observed& seen) {
  std::size_t size = plan.os.size();
  std::size_t sent = 0;
  host.Send(Command(PDA_CMD_OS_INFO, static_cast<std::uint32_t>(size)));
  while (true) {
    Bytes request = host.ReadUpTo(kReadHeaderSize, plan.answerWaitMs);
    seen.requestReads.push_back(request.size());
    if (request.empty()) {
      return;
    }
    if (request.size() != kReadHeaderSize) {
      host.Send(Command(PDA_CMD_POLL));
      continue;
    }
    std::uint32_t count = LoadLe32(request.data() + 8);
    seen.requests.push_back(count);
    std::size_t bytes = std::min<std::size_t>(count, size - sent);
    do {
      std::size_t n = std::min<std::size_t>(kWriteBuffDataSize, bytes);
      host.Send(OsPacket(plan.os, sent, n));
      sent += n;
      bytes -= n;
      seen.osAcks.push_back(host.ReadUpTo(kPdaOsAckSize, plan.answerWaitMs).size() == kPdaOsAckSize);
    } while (bytes > 0);
    if (sent == size) {
      seen.osEndReplies = CompletionReplies(host, PDA_RSP_OS_DONE, plan.answerWaitMs);
      return;
    }
  }
}

void PlayPhone(ScriptedHost& host, const RunPlan& plan, Observed& seen) {
  if (!host.OpenCom(plan.com)) {
    return;
  }
  for (int i = 0; i < 2; ++i) {
    host.Send(JumpFrame());
  }
  for (int i = 0; i < 2; ++i) {
    seen.openingAnswers.push_back(host.ReadAnswer(plan.answerWaitMs));
  }
  for (const PlanRegion& region : plan.regions) {
    bool jumped = false;
    for (int attempt = 0; attempt < kJumpAttempts && !jumped; ++attempt) {
      host.Send(JumpFrame());
      seen.jumpAnswers.push_back(host.ReadAnswer(plan.answerWaitMs));
      jumped = seen.jumpAnswers.back() == ACK;
    }
    if (!jumped) {
      break;
    }
    if (region.efs) {
      host.Send(EfsFrame());
      host.ReadAnswer(plan.answerWaitMs);
      continue;
    }
    host.Send(EraseFrame(region.start, region.length));
    seen.eraseAnswers.push_back(host.ReadAnswer(plan.answerWaitMs));
    if (seen.eraseAnswers.back() != ACK) {
      continue;
    }
    for (std::uint32_t at = 0; at < region.length; at += kDataBlockSize) {
      Bytes block(kDataBlockSize, 0);
      std::size_t from = std::min<std::size_t>(region.start + at, plan.phoneImage.size());
      std::size_t to = std::min<std::size_t>(from + kDataBlockSize, plan.phoneImage.size());
      std::copy(plan.phoneImage.begin() + static_cast<std::ptrdiff_t>(from),
                plan.phoneImage.begin() + static_cast<std::ptrdiff_t>(to), block.begin());
      if (!host.Send(block)) {
        seen.phoneGone = true;
        return;
      }
      seen.blockAnswers.push_back(host.ReadAnswer(plan.answerWaitMs) == ACK);
      if (!seen.blockAnswers.back()) {
        return;  // the host gives up the download here
      }
    }
  }
  seen.phoneGone = host.Gone();
}

}  // namespace

bool ConnectPda(ScriptedHost& host) {
  if (!host.OpenPda()) {
    return false;
  }
  Bytes hello = host.ReadUpTo(kPdaReplySize);
  return !hello.empty() && hello[0] == PDA_RSP_HELLO && host.Send(Command(PDA_CMD_HELLO_ACK)) &&
         host.Send(Command(PDA_CMD_AFTER_CONNECT));
}

bool EnterPhoneMode(ScriptedHost& host, ScriptedHost& modem, int com) {
  if (!ConnectPda(host) || !host.Send(Command(PDA_CMD_PHONE_MODE))) {
    return false;
  }
  host.ReadUpTo(kPdaReplySize);
  return modem.OpenCom(com);
}

Observed PlayRun(IDeviceProvider& provider, const RunPlan& plan) {
  Observed seen;
  ScriptedHost host(provider);
  if (!host.OpenPda()) {
    return seen;
  }
  seen.hello = host.ReadUpTo(kPdaReplySize);
  if (First(seen.hello) != PDA_RSP_HELLO) {
    return seen;
  }
  host.Send(Command(PDA_CMD_HELLO_ACK));
  host.Send(Command(PDA_CMD_AFTER_CONNECT));
  if (!plan.eboot.empty()) {
    PlayEboot(host, plan, seen);
  }
  PlayOs(host, plan, seen);
  seen.pdaGone = host.Gone();
  if (seen.pdaGone) {
    return seen;
  }
  if (!plan.phone) {
    host.Send(Command(PDA_CMD_FINISH));
    return seen;
  }
  host.Send(Command(PDA_CMD_IMAGE_DONE));
  Bytes reply = host.ReadUpTo(kPdaReplySize, plan.answerWaitMs);
  seen.handoverReply = reply.empty() ? std::nullopt : std::optional<std::uint8_t>(reply[0]);
  host.Send(Command(PDA_CMD_PHONE_MODE, static_cast<std::uint32_t>(plan.phoneImage.size())));
  host.Close();
  PlayPhone(host, plan, seen);
  host.Close();
  return seen;
}

Bytes Pattern(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(n);
  for (std::uint8_t& b : bytes) {
    b = static_cast<std::uint8_t>(random());
  }
  return bytes;
}

RunPlan SmallPlan() {
  RunPlan plan;
  plan.eboot = Pattern(2500, 1);
  plan.os = Pattern(5000, 2);
  plan.phoneImage = Pattern(6000, 3);
  plan.regions = {{0x1000, 0, true}, {0x1000, 3000, false}, {0x0000, 2048, false}};
  return plan;
}

}  // namespace tw::sim::test

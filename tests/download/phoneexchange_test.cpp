// The phone exchange against a scripted modem port: which answer each pacing
// judges, what it waits for, and which pauses it sleeps.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "phonedown/cmsmpacket/msmresponse.h"
#include "tests/download/downloadtestkit.h"
#include "tests/platform/envsetting.h"

namespace tw::test {
namespace {

// A short answer wait, so that an answer that never comes ends its attempt soon.
constexpr int kRxFloorMs = 200;
[[maybe_unused]] ::testing::Environment* const kRxFloor = ::testing::AddGlobalTestEnvironment(
    new EnvSetting("TIDEWELL_PHONE_RX_FLOOR_MS", std::to_string(kRxFloorMs)));

const Bytes kJump{0x7E, 0xA0, 0x72, 0x55, 0x7E};
const Bytes kAck{0x7E, 0x02, 0x6A, 0xD3, 0x7E};
const Bytes kNak{0x7E, 0xA1, 0x00, 0x00, 0x7E};

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes joined;
  for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

// One piece of an answer, sent this long after the frame was written.
struct Piece {
  int afterMs;
  Bytes bytes;
};
using Answer = std::vector<Piece>;

// The modem's port, played by the test: each write is answered by the next
// answer of the script, piece by piece; writes beyond the script get none.
class ScriptedModem {
 public:
  explicit ScriptedModem(std::vector<Answer> answers) : m_answers(std::move(answers)) {}
  ~ScriptedModem() { m_senders.clear(); }

  // Bytes that arrive now, unasked.
  void Send(const Bytes& bytes) {
    std::lock_guard guard(m_lock);
    m_rx.insert(m_rx.end(), bytes.begin(), bytes.end());
    m_arrived.notify_all();
  }
  int Writes() const {
    std::lock_guard guard(m_lock);
    return m_writes;
  }

  // The device's side.
  long BytesWaiting() {
    std::lock_guard guard(m_lock);
    return static_cast<long>(m_rx.size());
  }
  int WaitReceive(int timeoutMs) {
    std::unique_lock guard(m_lock);
    return m_arrived.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return !m_rx.empty(); })
               ? 1
               : 0;
  }
  long Read(void* dst, std::size_t n) {
    std::lock_guard guard(m_lock);
    const std::size_t take = std::min(n, m_rx.size());
    std::copy_n(m_rx.begin(), take, static_cast<BYTE*>(dst));
    m_rx.erase(m_rx.begin(), m_rx.begin() + static_cast<long>(take));
    return static_cast<long>(take);
  }
  bool Write(const void*, std::size_t) {
    std::size_t k = 0;
    {
      std::lock_guard guard(m_lock);
      k = static_cast<std::size_t>(m_writes++);
    }
    if (k < m_answers.size()) {
      m_senders.emplace_back([this, answer = m_answers[k], written = std::chrono::steady_clock::now()] {
        for (const Piece& piece : answer) {
          std::this_thread::sleep_until(written + std::chrono::milliseconds(piece.afterMs));
          Send(piece.bytes);
        }
      });
    }
    return true;
  }
  void Purge() {
    std::lock_guard guard(m_lock);
    m_rx.clear();
  }

 private:
  const std::vector<Answer> m_answers;
  mutable std::mutex m_lock;
  std::condition_variable m_arrived;
  std::deque<BYTE> m_rx;
  int m_writes = 0;
  std::vector<std::jthread> m_senders;
};

class ModemPort final : public IByteDevice {
 public:
  explicit ModemPort(ScriptedModem& modem) : m_modem(modem) {}
  long BytesWaiting() override { return m_modem.BytesWaiting(); }
  int WaitReceive(int timeoutMs) override { return m_modem.WaitReceive(timeoutMs); }
  long Read(void* dst, std::size_t n) override { return m_modem.Read(dst, n); }
  bool Write(const void* src, std::size_t n, int) override { return m_modem.Write(src, n); }
  void Purge() override { m_modem.Purge(); }

 private:
  ScriptedModem& m_modem;
};

class ModemProvider final : public IDeviceProvider {
 public:
  explicit ModemProvider(ScriptedModem& modem) : m_modem(modem) {}
  std::vector<std::string> EnumerateInterfaces(const GUID&) override { return {}; }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string&, std::string*) override { return nullptr; }
  std::unique_ptr<IByteDevice> OpenPort(const std::string&, std::string*) override {
    return std::make_unique<ModemPort>(m_modem);
  }

 private:
  ScriptedModem& m_modem;
};

struct ExchangeCase {
  const char* name;
  PhonePacing pacing;
  Bytes waiting;  // queued before the write: answers nobody read
  std::vector<Answer> answers;
  int attempts;
  DWORD pause;
  CDownLoad::PauseUse use;
  int code;                          // what the exchange returns
  int writes;                        // how often the frame went out
  std::vector<std::uint32_t> slept;  // the downloader's sleeps
  int atLeastMs;                     // the exchange lasted at least this long
};

void PrintTo(const ExchangeCase& c, std::ostream* os) {
  *os << c.name;
}

constexpr auto kArrival = CDownLoad::PauseUse::AnswerArrival;
constexpr auto kKept = CDownLoad::PauseUse::Kept;
constexpr PhonePacing kFixed = PhonePacing::Fixed;
constexpr PhonePacing kAnswerPacing = PhonePacing::Answer;

const ExchangeCase kCases[] = {
    // The answers to the opening jumps wait unread: fixed pacing judges the
    // first of them, answer pacing the answer to its own frame.
    {"FixedJudgesTheFirstAnswerThatWaits",
     kFixed,
     Join({kAck, kAck}),
     {{{0, kNak}}},
     1,
     5,
     kArrival,
     ACK,
     1,
     {5},
     0},
    {"AnswerJudgesTheAnswerToItsFrame",
     kAnswerPacing,
     Join({kAck, kAck}),
     {{{0, kNak}}},
     1,
     5,
     kArrival,
     NAK_BAD_CRC,
     1,
     {},
     0},
    {"AnswerIsNotFooledByStaleNaks",
     kAnswerPacing,
     Join({kNak, kNak}),
     {{{0, kAck}}},
     1,
     5,
     kArrival,
     ACK,
     1,
     {},
     0},
    // An answer in pieces is awaited until it is whole.
    {"AnswerWaitsForThePiecesOfAnAnswer",
     kAnswerPacing,
     {},
     {{{0, {0x7E, 0x02}}, {30, {0x6A}}, {60, {0xD3, 0x7E}}}},
     1,
     5,
     kArrival,
     ACK,
     1,
     {},
     60},
    {"AnswerTakesAnOkAnswer", kAnswerPacing, {}, {{{0, {'O'}}, {20, {'K'}}}}, 1, 5, kArrival, ACK, 1, {}, 20},
    // Two whole answers arrive after the write: the last one is judged.
    {"AnswerJudgesTheLastWholeAnswer",
     kAnswerPacing,
     {},
     {{{0, Join({kAck, kNak})}}},
     1,
     5,
     kArrival,
     NAK_BAD_CRC,
     1,
     {},
     0},
    // An answer that never completes is an attempt without an answer, at its
    // time-out; the frame goes out again while attempts remain.
    {"AnswerNeverTakesAPartialAnswer",
     kAnswerPacing,
     {},
     {{{0, {0x7E, 0x02, 0x6A}}}, {{0, {0x7E, 0x02}}}},
     2,
     5,
     kArrival,
     0,
     2,
     {},
     2 * kRxFloorMs},
    {"AnswerNeverTakesAWholeAnswerBeforeAPartialOne",
     kAnswerPacing,
     {},
     {{{0, Join({kAck, {0x7E, 0xA1}})}}},
     1,
     5,
     kArrival,
     0,
     1,
     {},
     kRxFloorMs},
    // Fixed pacing judges what has come when the wait ends, as it always did.
    {"FixedJudgesAPartialAnswerAtItsTimeOut",
     kFixed,
     {},
     {{{0, {0x7E, 0x02, 0x6A}}}},
     1,
     5,
     kArrival,
     ACK,
     1,
     {5},
     kRxFloorMs},
    // The erase attempts' own pause is slept in both modes.
    {"AnswerKeepsTheEraseAttemptsPause",
     kAnswerPacing,
     {},
     {{{0, kNak}}, {{0, kAck}}},
     10,
     500,
     kKept,
     ACK,
     2,
     {500, 500},
     0},
    {"FixedSleepsEveryPause", kFixed, {}, {{{0, kNak}}, {{0, kAck}}}, 10, 500, kKept, ACK, 2, {500, 500}, 0},
};

class PhoneExchangeTest : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(PhoneExchangeTest, JudgesWaitsAndPausesAsItsPacingSays) {
  const ExchangeCase& c = GetParam();
  ScriptedModem modem(c.answers);
  ModemProvider provider(modem);
  TestOwner owner(provider);
  owner.UsePacing(c.pacing);
  CDownLoad dl(&owner, 7);
  ASSERT_TRUE(dl.m_Serial.Init());
  ASSERT_TRUE(dl.m_Serial.Open("COM7:", 115200, 'N', 8, 0));
  owner.m_clock.ClearSleeps();
  modem.Send(c.waiting);

  const auto start = std::chrono::steady_clock::now();
  const int code =
      dl.SendPacketWaitAck(kJump.data(), static_cast<DWORD>(kJump.size()), c.attempts, 10, c.pause, c.use);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(code, c.code);
  EXPECT_EQ(modem.Writes(), c.writes);
  EXPECT_EQ(Sleeps(owner.m_clock), c.slept);
  // (a wait may end within a millisecond of its bound)
  EXPECT_GE(took, std::chrono::milliseconds(c.atLeastMs * 9 / 10));
}

INSTANTIATE_TEST_SUITE_P(Cases, PhoneExchangeTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ExchangeCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tw::test

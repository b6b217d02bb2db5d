// The OS-image stage's answers to data requests that the simulated handset
// does not make (a request for 0 bytes, a request of another type, request
// words 1 and 3 set): a scripted handset answers each packet and sends the
// requests of the case.
#include <gtest/gtest.h>

#include <deque>

#include "pda/pdaguid.h"
#include "platform/byteorder.h"
#include "tests/download/downloadtestkit.h"

namespace tw::test {
namespace {

// A 16-byte data request: type, word 1, count, word 3.
Bytes Request(DWORD dwRequest, DWORD dwCount, DWORD dwWord1 = 0, DWORD dwWord3 = 0) {
  Bytes bytes(16);
  StoreLe32(&bytes[0], dwRequest);
  StoreLe32(&bytes[4], dwWord1);
  StoreLe32(&bytes[8], dwCount);
  StoreLe32(&bytes[12], dwWord3);
  return bytes;
}

// The handset's side of the channel: the hello on open, the scripted
// requests after PDA_CMD_OS_INFO and after each request's last packet, an
// acknowledgement for every packet, and 0x12 once the image is out.
class ScriptedHandset final : public IDeviceProvider {
 public:
  ScriptedHandset(std::vector<Bytes> requests, std::vector<DWORD> owed)
      : m_requests(std::move(requests)), m_owed(std::move(owed)) {}

  std::vector<std::string> EnumerateInterfaces(const GUID&) override { return {"script:pda0"}; }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string&, std::string*) override {
    Bytes hello(12, 0);
    hello[0] = PDA_RSP_HELLO;
    Send(hello);
    return std::make_unique<Device>(*this);
  }
  std::unique_ptr<IByteDevice> OpenPort(const std::string&, std::string*) override { return nullptr; }

 private:
  class Device final : public IByteDevice {
   public:
    explicit Device(ScriptedHandset& handset) : m_handset(handset) {}
    long BytesWaiting() override { return static_cast<long>(m_handset.m_toHost.size()); }
    int WaitReceive(int) override { return m_handset.m_toHost.empty() ? 0 : 1; }
    long Read(void* dst, std::size_t n) override {
      auto* out = static_cast<std::uint8_t*>(dst);
      std::size_t count = 0;
      for (; count < n && !m_handset.m_toHost.empty(); ++count) {
        out[count] = m_handset.m_toHost.front();
        m_handset.m_toHost.pop_front();
      }
      return static_cast<long>(count);
    }
    bool Write(const void* src, std::size_t n, int) override {
      m_handset.OnHostWrite(static_cast<const std::uint8_t*>(src), n);
      return true;
    }
    void Purge() override {}

   private:
    ScriptedHandset& m_handset;
  };

  void Send(const Bytes& bytes) { m_toHost.insert(m_toHost.end(), bytes.begin(), bytes.end()); }

  // Packets answer the request in hand; when it is paid, the next request
  // follows its acknowledgement, or the done reply after the last one.
  void OnHostWrite(const std::uint8_t* bytes, std::size_t n) {
    if (n == 12 && LoadLe32(bytes) == PDA_CMD_OS_INFO) return NextRequest();
    if (n != 1024) return;
    Send(Bytes(4, 0xAC));
    if (m_packetsLeft > 0 && --m_packetsLeft == 0) NextRequest();
  }
  void NextRequest() {
    if (m_next == m_requests.size()) {
      Bytes done(12, 0);
      done[0] = PDA_RSP_OS_DONE;
      return Send(done);
    }
    Send(m_requests[m_next]);
    m_packetsLeft = m_owed[m_next++];
    if (m_packetsLeft == 0) NextRequest();  // an ignored request: nothing is owed
  }

  std::vector<Bytes> m_requests;
  std::vector<DWORD> m_owed;  // packets each request is answered with
  std::size_t m_next = 0;
  DWORD m_packetsLeft = 0;
  std::deque<std::uint8_t> m_toHost;
};

struct RequestCase {
  const char* name;
  std::size_t pdaSize;
  std::vector<Bytes> requests;
  std::vector<DWORD> owed;
  std::vector<std::size_t> packets;  // image bytes in each packet, in order
  std::vector<int> percents;
};

void PrintTo(const RequestCase& c, std::ostream* os) {
  *os << c.name;
}

class OsRequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(OsRequestTest, PacketsAndProgressFollowTheRequests) {
  const RequestCase& c = GetParam();
  ScriptedHandset handset(c.requests, c.owed);
  RecordingProvider provider(handset);
  TestOwner owner(provider);
  owner.m_bDownPda = 1;
  TestImages images({}, Pattern(c.pdaSize, 31), 0);
  TestProgress progress;
  {
    CDownLoad dl(&owner, 0);
    dl.SetProgressCtrl(&progress);
    ASSERT_TRUE(dl.ConnectPda(&images.table, 0));
    dl.StartDownload(0);
    dl.JoinWorkers();
  }

  std::vector<Bytes> expected{Command(PDA_CMD_HELLO_ACK), Command(PDA_CMD_AFTER_CONNECT),
                              Command(PDA_CMD_OS_INFO, static_cast<DWORD>(c.pdaSize))};
  std::size_t offset = 0;
  for (std::size_t n : c.packets) {
    expected.push_back(OsPacket(images.pda, offset, n));
    offset += n;
  }
  expected.push_back(Command(PDA_CMD_FINISH));
  EXPECT_TRUE(SameWrites(provider.UsbWrites(), expected));
  std::vector<int> percents;
  for (const auto& report : progress.Reports()) {
    if (report.second.rfind("PDA downloading", 0) == 0) percents.push_back(report.first);
  }
  EXPECT_EQ(percents, c.percents);
  EXPECT_EQ(owner.Posted(WM_DOWNLOAD_DONE), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, OsRequestTest,
    ::testing::Values(RequestCase{"ZeroBytesGiveOneEmptyPacket",
                                  1008,
                                  {Request(1, 0), Request(1, 1008)},
                                  {1, 1},
                                  {0, 1008},
                                  {0, 100}},
                      RequestCase{"Words1And3HaveNoEffect",
                                  2016,
                                  {Request(1, 1008, 0xDEADBEEF, 0x12345678), Request(1, 1008, 7, 7)},
                                  {1, 1},
                                  {1008, 1008},
                                  {50, 100}},
                      RequestCase{"OtherRequestTypesAreIgnored",
                                  1009,
                                  {Request(2, 5000), Request(1, 1009)},
                                  {0, 2},
                                  {1008, 1},
                                  {100}},
                      RequestCase{"AnEmptyImageIsCompleteAtOnce", 0, {Request(1, 0)}, {1}, {0}, {100}}),
    [](const ::testing::TestParamInfo<RequestCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tw::test

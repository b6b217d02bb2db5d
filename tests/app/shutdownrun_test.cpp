// Closing in the middle of a running download, with a real downloader and
// the simulated handset: the worker is stopped and joined before its
// downloader goes, the downloader is deleted once, and nothing reports
// after the close.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/downloadslot.h"
#include "app/tidewelldlglogic.h"
#include "platform/messageloop.h"
#include "sim/inprocchannel.h"
#include "sim/simhandset.h"
#include "tests/app/logicservices.h"

namespace tw::test {
namespace {

// Presses Start as soon as it is enabled; counts what reaches the sinks.
class PressingView final : public SilentView {
 public:
  explicit PressingView(CMessageLoop& loop) : m_loop(loop) {}
  void EnableStart(BOOL bEnable) override {
    if (bEnable) {
      m_loop.Post([this] { m_pLogic->OnStart(); });
    }
  }
  void SetLogText(const std::string&) override { ++m_nReports; }
  void SetText(const std::string&) override { ++m_nReports; }
  void SetPos(int pos) override {
    ++m_nReports;
    // Well inside the EBOOT image: stop the loop and close.
    if (pos >= 5) {
      m_loop.Quit(0);
    }
  }

  CTidewellDlgLogic* m_pLogic = nullptr;
  std::atomic<int> m_nReports{0};

 private:
  CMessageLoop& m_loop;
};

// A real downloader that counts its deletions.
class CountedSlot final : public CDownLoadSlot {
 public:
  CountedSlot(IDownloadOwner* pOwner, std::atomic<int>& deleted)
      : CDownLoadSlot(pOwner, 0), m_deleted(deleted) {}
  ~CountedSlot() override { ++m_deleted; }

 private:
  std::atomic<int>& m_deleted;
};

TEST(ShutdownDuringDownload, WorkerJoinedDownloaderDeletedOnce) {
  std::vector<BYTE> eboot(2 * 1024 * 1024, 0x5A);
  std::vector<BYTE> pda(64 * 1024, 0xA5);
  std::atomic<int> deleted{0};

  CMessageLoop loop;
  PressingView view(loop);
  VirtualClock logicClock;  // the downloader's start delays pass at once
  sim::InProcChannel channel;
  CTidewellDlgLogic logic(
      LogicServices(view, loop, logicClock, channel.Provider(), channel.Events(),
                    [&deleted](IDownloadOwner* pOwner, int) -> std::unique_ptr<ISlotDownloader> {
                      return std::make_unique<CountedSlot>(pOwner, deleted);
                    }));
  view.m_pLogic = &logic;
  logic.OnInitDialog();

  // The firmware set, put in place as the loader would.
  CImageSet& images = logic.m_Images;
  images.m_EbootBin.CopyEboot(eboot.data(), static_cast<DWORD>(eboot.size()));
  images.m_PdaBin.CopyPda(pda.data(), static_cast<DWORD>(pda.size()));
  images.m_ImageTable = ImageTable{&images.m_EbootBin, &images.m_PdaBin, static_cast<DWORD>(eboot.size()),
                                   static_cast<DWORD>(pda.size()), 0};
  images.m_bImageLoaded = 1;
  logic.m_bDownEboot = 1;
  logic.m_bDownPda = 1;

  // Each acknowledgement a little late: the EBOOT image takes seconds.
  sim::SimConfig config;
  config.faults.replyDelayMs = 2;
  RealClock handsetClock;
  sim::SimHandset handset(config, channel, handsetClock);
  ASSERT_TRUE(handset.Start());
  ASSERT_EQ(loop.Run(std::chrono::steady_clock::now() + std::chrono::seconds(60)), 0)
      << "the download did not get going";
  ASSERT_EQ(logic.m_bDownStart[0], 1);

  EXPECT_EQ(logic.OnClose(), TRUE);
  EXPECT_EQ(deleted, 1);
  logic.DestroyWindow();
  logic.OnDestroy();
  EXPECT_EQ(deleted, 1);

  // The worker has been joined: nothing reports any more.
  int reports = view.m_nReports;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(view.m_nReports, reports);
  handset.Stop();
}

}  // namespace
}  // namespace tw::test

// The main window driven by the real dialog logic, as RunWindow wires them:
// a handset's arrival enables Start, its downloader's reports reach the log
// box and the bar, Start's message box shows, and closing deletes the
// downloader after the grace period.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/tidewelldlglogic.h"
#include "platform/clock.h"
#include "platform/tunables.h"
#include "tests/app/logicharness.h"
#include "ui/logicevents.h"
#include "ui/qtmessagequeue.h"
#include "ui/textprogressctrl.h"
#include "ui/tidewelldlg.h"
#include "uitest.h"

namespace tw {
namespace {

// A downloader whose PDA connect succeeds and reports like a real one.
class ConnectingDownloader final : public ISlotDownloader {
 public:
  explicit ConnectingDownloader(int* pDeleted) : m_pDeleted(pDeleted) {}
  ~ConnectingDownloader() override { ++*m_pDeleted; }

  BOOL ConnectPda(ImageTable*, int) override {
    if (m_pLog != nullptr) m_pLog->SetLogText("[PDA]Device Found. = [0] \r\n");
    if (m_pProgress != nullptr) m_pProgress->SetText("Connected");
    return TRUE;
  }
  BOOL ConnectPhone(PhonePort*, int) override { return FALSE; }
  void StartDownload(int) override {}
  void StartPhoneDownload(int) override {}
  void SetProgressCtrl(IProgressSink* p) override { m_pProgress = p; }
  void SetLogEdit(ILogSink* p) override { m_pLog = p; }
  void ClearProgressCtrl() override { m_pProgress = nullptr; }
  void ClearLog() override { m_pLog = nullptr; }
  void SetPort(int) override {}
  BOOL CreateUsb() const override { return TRUE; }
  BOOL PhonePortOpen() const override { return FALSE; }

 private:
  int* m_pDeleted;
  ILogSink* m_pLog = nullptr;
  IProgressSink* m_pProgress = nullptr;
};

void Drain() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// Answers the next message box that opens with OK and keeps its text.
void AnswerNextMessageBox(QString* pText) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, pText] {
    auto* box = qobject_cast<QMessageBox*>(test::ActiveModal());
    if (box == nullptr) return;
    *pText = box->text();
    box->accept();
    poll->deleteLater();
  });
  poll->start(1);
}

TEST(WindowWithLogic, ArrivalStartMessageAndClose) {
  QtMessageQueue queue;
  CTidewellDlg dlg;
  VirtualClock clock;
  test::NoDevices devices;
  test::FakeEventSource events;
  int deleted = 0;
  CTidewellDlgLogic::Services services;
  services.pView = &dlg;
  services.pQueue = &queue;
  services.pClock = &clock;
  services.pDevices = &devices;
  services.pEvents = &events;
  services.makeDownloader = [&deleted](IDownloadOwner*, int) {
    return std::make_unique<ConnectingDownloader>(&deleted);
  };
  services.strPackagePath = "/nonexistent/tidewell-package";
  CTidewellDlgLogic logic(std::move(services));
  CTidewellDlgLogicEvents adapter(logic);
  dlg.SetEvents(&adapter);

  QString message;
  const test::ModalRun run = test::RunModal(dlg, [&] {
    EXPECT_FALSE(dlg.StartButton()->isEnabled());
    ASSERT_TRUE(static_cast<bool>(events.m_Sink)) << "the window registered for device events";
    events.m_Sink(DeviceEvent{DeviceEvent::Action::Arrival, DeviceEvent::Kind::Other, "pda0"});
    Drain();
    EXPECT_TRUE(dlg.StartButton()->isEnabled());
    EXPECT_EQ(dlg.LogBox()->toPlainText(), QStringLiteral("[PDA]Device Found. = [0] \n"));
    char caption[32];
    dlg.Progress()->GetWindowText(caption, sizeof caption);
    EXPECT_STREQ(caption, "Connected");

    // No firmware set: Start answers with its message box and comes back.
    AnswerNextMessageBox(&message);
    QTest::mouseClick(dlg.StartButton(), Qt::LeftButton);
    Drain();
    EXPECT_TRUE(dlg.StartButton()->isEnabled());
    dlg.close();
  });
  EXPECT_EQ(message, QStringLiteral("Select an image to download"));
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(run.result, CDialog::IDCANCEL);
  EXPECT_EQ(deleted, 1) << "the downloader is deleted once";
  const std::vector<std::uint32_t> sleeps = clock.Sleeps();
  ASSERT_FALSE(sleeps.empty());
  EXPECT_EQ(sleeps.back(), static_cast<std::uint32_t>(GetTunables().closeGraceMs));
}

}  // namespace
}  // namespace tw

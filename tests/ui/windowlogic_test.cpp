// The main window driven by the real dialog logic, as RunWindow wires them:
// a handset's arrival enables Start, its downloader's reports reach the log
// box and the bar, Start's message box shows, and closing deletes the
// downloader after the grace period.
#include <gtest/gtest.h>

#include <QLabel>
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
#include "ui/slotrow.h"
#include "ui/textprogressctrl.h"
#include "ui/tidewelldlg.h"
#include "uitest.h"

namespace tw {
namespace {

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
  // The handset's downloader connects and reports like a real one.
  test::Script script;
  script.duringConnect = [](test::FakeDownloader& downloader) {
    downloader.m_pLog->SetLogText("[PDA]Device Found. = [0] \r\n");
    downloader.m_pProgress->SetText("Connected");
  };
  test::DownloaderRecord record;
  CTidewellDlgLogic* pLogic = nullptr;
  CTidewellDlgLogic logic(test::LogicServices(
      dlg, queue, clock, devices, events, [&](IDownloadOwner*, int) -> std::unique_ptr<ISlotDownloader> {
        return std::make_unique<test::FakeDownloader>(*pLogic, script, record);
      }));
  pLogic = &logic;
  CTidewellDlgLogicEvents adapter(logic);
  dlg.SetEvents(&adapter);

  QString message;
  const test::ModalRun run = test::RunModal(dlg, [&] {
    EXPECT_FALSE(dlg.StartButton()->isEnabled());
    ASSERT_TRUE(static_cast<bool>(events.m_Sink)) << "the window registered for device events";
    events.m_Sink(DeviceEvent{DeviceEvent::Action::Arrival, DeviceEvent::Kind::Other, "pda0"});
    test::ShowReports(dlg);
    EXPECT_TRUE(dlg.StartButton()->isEnabled());
    EXPECT_EQ(dlg.LogBox()->toPlainText(), QStringLiteral("[PDA]Device Found. = [0] \n"));
    char caption[32];
    dlg.Progress()->GetWindowText(caption, sizeof caption);
    EXPECT_STREQ(caption, "Connected");

    // No firmware set: Start answers with its message box and comes back.
    AnswerNextMessageBox(&message);
    QTest::mouseClick(dlg.StartButton(), Qt::LeftButton);
    test::ShowReports(dlg);
    EXPECT_TRUE(dlg.StartButton()->isEnabled());
    dlg.close();
  });
  EXPECT_EQ(message, QStringLiteral("Select an image to download"));
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(run.result, CDialog::IDCANCEL);
  EXPECT_EQ(record.nDestroyed, 1) << "the downloader is deleted once";
  const std::vector<std::uint32_t> sleeps = clock.Sleeps();
  ASSERT_FALSE(sleeps.empty());
  EXPECT_EQ(sleeps.back(), static_cast<std::uint32_t>(GetTunables().closeGraceMs));
}

// Two armed slots as RunWindow wires them: each handset's downloader
// reports to its own slot's row and log, the rows learn where each handset
// is plugged in from the logic, and a click on a row shows that slot's log.
TEST(WindowWithLogic, TwoSlotsShowTheirOwnHandsets) {
  QtMessageQueue queue;
  CTidewellDlg dlg(2);
  VirtualClock clock;
  test::NoDevices devices;
  test::FakeEventSource events;
  test::Script script;
  script.locations = {{0, "1-1"}, {1, "1-2"}};
  int connects = 0;
  script.duringConnect = [&](test::FakeDownloader& downloader) {
    const int n = connects++;
    const std::string slot = std::to_string(n);
    dlg.RunObserver()->OnRunStarted(n);
    dlg.RunObserver()->OnStageStarted(n, StageInfo(RunStage::Hello));
    downloader.m_pLog->SetLogText("[PDA]Device Found. = [" + slot + "] \r\n");
    downloader.m_pProgress->SetText("Connected " + slot);
    dlg.RunObserver()->OnStageEnded(n, StageInfo(RunStage::Hello), StageOutcome(StageResult::Done()));
  };
  test::DownloaderRecord record;
  CTidewellDlgLogic* pLogic = nullptr;
  CTidewellDlgLogic::Services services = test::LogicServices(
      dlg, queue, clock, devices, events, [&](IDownloadOwner*, int) -> std::unique_ptr<ISlotDownloader> {
        return std::make_unique<test::FakeDownloader>(*pLogic, script, record);
      });
  services.nSlots = 2;
  services.pObserver = dlg.RunObserver();
  dlg.SetRunClock(clock);
  CTidewellDlgLogic logic(std::move(services));
  pLogic = &logic;
  dlg.SetLocationSource([&logic](int nSlot) { return logic.m_strLocation[static_cast<std::size_t>(nSlot)]; });
  CTidewellDlgLogicEvents adapter(logic);
  dlg.SetEvents(&adapter);

  const test::ModalRun run = test::RunModal(dlg, [&] {
    events.m_Sink(DeviceEvent{DeviceEvent::Action::Arrival, DeviceEvent::Kind::Other, "pda@1-1", "1-1"});
    events.m_Sink(DeviceEvent{DeviceEvent::Action::Arrival, DeviceEvent::Kind::Other, "pda@1-2", "1-2"});
    test::ShowReports(dlg);
    for (int i = 0; i < 2; ++i) {
      CSlotRow& row = *dlg.SlotRow(i);
      EXPECT_EQ(row.Cell(CSlotRow::kLocation)->text().toStdString(), i == 0 ? "1-1" : "1-2");
      char caption[32];
      row.Bar()->GetWindowText(caption, sizeof caption);
      EXPECT_EQ(std::string(caption), "Connected " + std::to_string(i));
    }
    EXPECT_EQ(dlg.LogBox()->toPlainText(), QStringLiteral("[PDA]Device Found. = [0] \n"));
    QTest::mouseClick(dlg.SlotRow(1), Qt::LeftButton);
    EXPECT_EQ(dlg.LogBox()->toPlainText(), QStringLiteral("[PDA]Device Found. = [1] \n"));
    dlg.close();
  });
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(connects, 2);
}

}  // namespace
}  // namespace tw

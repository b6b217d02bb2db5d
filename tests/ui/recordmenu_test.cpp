// The run record in the window: its system-menu item chooses the file that
// the next finished run is appended to, and turns the record off again.
#include "ui/recordmenu.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QMenu>
#include <filesystem>
#include <fstream>

#include "ui/tidewelldlg.h"
#include "uitest.h"

namespace tw {
namespace {

QAction* RecordItem(CTidewellDlg& dlg) {
  for (QAction* action : dlg.GetSystemMenu()->actions()) {
    if (action->text() == QStringLiteral("Run Record File...")) return action;
  }
  return nullptr;
}

int LineCount(const std::string& path) {
  std::ifstream in(path);
  int count = 0;
  for (std::string line; std::getline(in, line);) ++count;
  return count;
}

void FinishARun(IRunObserver& observer) {
  observer.OnRunStarted(0);
  RunEnd end;
  observer.OnRunEnded(end);
}

TEST(RecordMenuTest, ChoosesTheFileOfTheNextRecords) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("tidewell-record-" + std::to_string(::getpid()) + ".jsonl"))
          .string();
  std::filesystem::remove(path);
  CTidewellDlg dlg;
  CRunReports reports({}, stdout, nullptr);
  reports.AllowRecordChoice();
  std::string error;
  ASSERT_TRUE(reports.Open(&error)) << error;
  std::optional<std::string> answer;
  std::string shownCurrent = "unset";
  AttachRecordMenu(dlg, reports, [&](const std::string& current) {
    shownCurrent = current;
    return answer;
  });
  QAction* item = RecordItem(dlg);
  ASSERT_NE(item, nullptr);
  IRunObserver* observer = reports.Observer();
  ASSERT_NE(observer, nullptr);

  // No file yet: a finished run writes nothing.
  FinishARun(*observer);
  EXPECT_FALSE(std::filesystem::exists(path));

  answer = path;
  item->trigger();
  EXPECT_EQ(shownCurrent, "");
  FinishARun(*observer);
  FinishARun(*observer);
  EXPECT_EQ(LineCount(path), 2);

  // Cancelled: the file stays; an empty choice turns the record off.
  answer = std::nullopt;
  item->trigger();
  EXPECT_EQ(shownCurrent, path);
  EXPECT_EQ(reports.RecordFile(), path);
  answer = std::string();
  item->trigger();
  FinishARun(*observer);
  EXPECT_EQ(LineCount(path), 2);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace tw

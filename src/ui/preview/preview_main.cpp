// The main window as it looks in the middle of an EBOOT download, without a
// handset or a firmware set: "tidewell-window-preview [--screenshot FILE]".
// "tidewell-window-preview --icon SIZE FILE" saves the application icon as a
// PNG picture instead (the desktop entry's icon).
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/artwork.h"
#include "ui/screenshot.h"
#include "ui/textprogressctrl.h"
#include "ui/tidewelldlg.h"

namespace {

constexpr const char* kSampleLog =
    "[PDA=>0] CreateUSBFile !!\r\n"
    "[PDA] Connect and Power-on the Device.\r\n"
    "[PDA-0]Driver Opened.\r\n"
    "[PDA]Read Wait. = [0] \r\n"
    "[PDA]Read Done. = [0] \r\n"
    "[PDA]Device Found. = [0] \r\n"
    "[PDA]Eboot data length = <1100KB>\r\n"
    "[PDA]EBoot data download ready.\r\n";

// Shows a connected handset, Start enabled, and a run at 42 percent.
class PreviewEvents final : public tw::ITidewellDlgEvents {
 public:
  explicit PreviewEvents(tw::CTidewellDlg& dlg) : m_dlg(dlg) {}

  tw::BOOL OnInitDialog() override {
    m_dlg.EnableStart(tw::TRUE);
    m_dlg.LogEdit()->SetLogText(kSampleLog);
    m_dlg.ProgressBar()->SetText("Eboot downloading : 042 %");
    m_dlg.ProgressBar()->SetPos(42);
    return tw::TRUE;
  }
  void OnStart() override { m_dlg.EnableStart(tw::FALSE); }
  void OnStartDownload() override {}
  tw::BOOL OnClose() override {
    m_dlg.EndDialog(tw::CDialog::IDCANCEL);
    return tw::TRUE;
  }
  void DestroyWindow() override {}
  void OnDestroy() override {}
  tw::DownloadOwnerFlags& OwnerFlags() override { return m_flags; }

 private:
  tw::CTidewellDlg& m_dlg;
  tw::DownloadOwnerFlags m_flags;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--icon") == 0) {
    const int size = std::atoi(argv[2]);
    if (size < 16 || size > 1024 || !tw::AppIconImage(size).save(argv[3], "PNG")) {
      std::fprintf(stderr, "tidewell-window-preview: cannot write a %s pixel icon to %s\n", argv[2], argv[3]);
      return 2;
    }
    return 0;
  }
  QApplication app(argc, argv);
  tw::CTidewellDlg dlg;
  PreviewEvents events(dlg);
  dlg.SetEvents(&events);
  return tw::RunMainDialog(dlg, tw::ScreenshotOption(argc, argv));
}

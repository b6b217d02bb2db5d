// The command line of tidewell, the upgrader's own executable:
//   tidewell [--headless] [--device-dir DIR] [--package FILE] [--simulate]
//            [--released-sizes] [--timeout SECONDS] [--screenshot FILE]
//            [--eboot FILE] [--pda FILE] [--phone FILE] [--onefile IMAGE]
//            [--pacing fixed|answer] [--events FILE] [--record FILE]
//            [--slots N] [--auto-start] [--station [--count N]] [--strict]
#pragma once
#include <optional>
#include <string>

#include "download/phonepacing.h"
#include "report/runreports.h"
#include "tools/imageselections.h"

namespace tw {

struct FrontOptions {
  bool bHeadless = false;
  std::string strDeviceDir;  // empty: the system's device events
  std::string strPackage;    // empty: the running executable
  bool bSimulate = false;
  bool bReleasedSizes = false;         // --simulate without a package: released image sizes
  std::optional<int> nTimeoutSeconds;  // the whole run, from start-up
  std::string strScreenshot;           // the window saves itself as this PNG and closes
  bool bHelp = false;                  // --help, -h: the usage on stdout
  bool bVersion = false;               // --version
  // Images chosen from files before the first device arrives, in place of
  // the package's (the developer commands' selections).
  ImageSelections selections;

  // The phone exchange's pacing: the documented fixed pauses, or a wait for
  // each whole answer (--pacing answer).
  PhonePacing pacing = PhonePacing::Fixed;

  // --events FILE ("-": stdout) and --record FILE.
  ReportOptions reports;

  // The station: slots armed (1 to 8), downloads started as soon as a
  // handset has connected (always so headless), serving handset after
  // handset until --count runs have ended or a signal comes (--station,
  // which runs headless), and a skipped region counted as a failure.
  int nSlots = 1;
  bool bAutoStart = false;
  bool bStation = false;
  std::optional<int> nCount;
  bool bStrict = false;
};

// Reads the options. False with the reason in *error for anything it does
// not know, a missing or repeated value, a time-out that is not a whole
// number of seconds from 1 to 86400, a pacing other than fixed or answer,
// slots other than 1 to 8, or a count that is not from 1 to 1000000 or
// comes without --station.
bool ParseFrontOptions(int argc, const char* const* argv, FrontOptions* options, std::string* error);

// The usage text, one option a line.
const char* FrontUsage();

}  // namespace tw

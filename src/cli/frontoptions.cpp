#include "cli/frontoptions.h"

#include <cstdlib>
#include <cstring>

namespace tw {

namespace {

bool TakeValue(int argc, const char* const* argv, int* i, std::string* value, std::string* error) {
  const char* name = argv[*i];
  if (*i + 1 >= argc) {
    *error = std::string(name) + " needs a value";
    return false;
  }
  if (!value->empty()) {
    *error = std::string(name) + " given twice";
    return false;
  }
  *value = argv[++*i];
  if (value->empty()) {
    *error = std::string(name) + " needs a non-empty value";
    return false;
  }
  return true;
}

// A whole number from min to max, nothing else.
bool ParseWhole(const std::string& text, long min, long max, int* number) {
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < min || value > max) {
    return false;
  }
  *number = static_cast<int>(value);
  return true;
}

// The value of an option that takes a whole number from min to max.
bool TakeWhole(int argc, const char* const* argv, int* i, long min, long max, int* number,
               std::string* error) {
  const std::string name = argv[*i];
  std::string text;
  if (!TakeValue(argc, argv, i, &text, error)) {
    return false;
  }
  if (!ParseWhole(text, min, max, number)) {
    *error = name + " takes a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
             ", not \"" + text + "\"";
    return false;
  }
  return true;
}

// --pacing: "fixed" or "answer".
bool ParsePacing(const std::string& text, PhonePacing* pacing) {
  if (text == "fixed" || text == "answer") {
    *pacing = text == "fixed" ? PhonePacing::Fixed : PhonePacing::Answer;
    return true;
  }
  return false;
}

bool Twice(const char* name, std::string* error) {
  *error = std::string(name) + " given twice";
  return false;
}

}  // namespace

bool ParseFrontOptions(int argc, const char* const* argv, FrontOptions* options, std::string* error) {
  std::string timeout;
  std::string pacing;
  bool bSlotsGiven = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    bool ok = true;
    if (std::strcmp(arg, "--headless") == 0) {
      options->bHeadless = true;
    } else if (std::strcmp(arg, "--simulate") == 0) {
      options->bSimulate = true;
    } else if (std::strcmp(arg, "--released-sizes") == 0) {
      options->bReleasedSizes = true;
    } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      options->bHelp = true;
    } else if (std::strcmp(arg, "--version") == 0) {
      options->bVersion = true;
    } else if (std::strcmp(arg, "--device-dir") == 0) {
      ok = TakeValue(argc, argv, &i, &options->strDeviceDir, error);
    } else if (std::strcmp(arg, "--package") == 0) {
      ok = TakeValue(argc, argv, &i, &options->strPackage, error);
    } else if (std::strcmp(arg, "--eboot") == 0) {
      ok = TakeValue(argc, argv, &i, &options->selections.strEboot, error);
    } else if (std::strcmp(arg, "--pda") == 0) {
      ok = TakeValue(argc, argv, &i, &options->selections.strPda, error);
    } else if (std::strcmp(arg, "--phone") == 0) {
      ok = TakeValue(argc, argv, &i, &options->selections.strPhone, error);
    } else if (std::strcmp(arg, "--onefile") == 0) {
      ok = TakeValue(argc, argv, &i, &options->selections.strOneFile, error);
    } else if (std::strcmp(arg, "--screenshot") == 0) {
      ok = TakeValue(argc, argv, &i, &options->strScreenshot, error);
    } else if (std::strcmp(arg, "--timeout") == 0) {
      ok = TakeValue(argc, argv, &i, &timeout, error);
      int seconds = 0;
      if (ok && !ParseWhole(timeout, 1, 86400, &seconds)) {
        *error = "--timeout takes whole seconds from 1 to 86400, not \"" + timeout + "\"";
        ok = false;
      }
      options->nTimeoutSeconds = seconds;
    } else if (std::strcmp(arg, "--slots") == 0) {
      ok = !bSlotsGiven || Twice(arg, error);
      ok = ok && TakeWhole(argc, argv, &i, 1, 8, &options->nSlots, error);
      bSlotsGiven = true;
    } else if (std::strcmp(arg, "--count") == 0) {
      int count = 0;
      ok = !options->nCount || Twice(arg, error);
      ok = ok && TakeWhole(argc, argv, &i, 1, 1000000, &count, error);
      options->nCount = count;
    } else if (std::strcmp(arg, "--auto-start") == 0) {
      options->bAutoStart = true;
    } else if (std::strcmp(arg, "--station") == 0) {
      options->bStation = true;
      options->bHeadless = true;
    } else if (std::strcmp(arg, "--strict") == 0) {
      options->bStrict = true;
    } else if (std::strcmp(arg, "--events") == 0) {
      ok = TakeValue(argc, argv, &i, &options->reports.strEvents, error);
    } else if (std::strcmp(arg, "--record") == 0) {
      ok = TakeValue(argc, argv, &i, &options->reports.strRecord, error);
    } else if (std::strcmp(arg, "--pacing") == 0) {
      ok = TakeValue(argc, argv, &i, &pacing, error);
      if (ok && !ParsePacing(pacing, &options->pacing)) {
        *error = "--pacing takes fixed or answer, not \"" + pacing + "\"";
        ok = false;
      }
    } else {
      *error = std::string("unknown option \"") + arg + "\"";
      ok = false;
    }
    if (!ok) {
      return false;
    }
  }
  if (options->bSimulate && !options->strDeviceDir.empty()) {
    *error = "--simulate uses a device directory of its own; leave out --device-dir";
    return false;
  }
  if (options->nCount && !options->bStation) {
    *error = "--count goes with --station";
    return false;
  }
  if (options->bReleasedSizes && (!options->bSimulate || !options->strPackage.empty())) {
    *error = "--released-sizes goes with --simulate and no --package";
    return false;
  }
  return true;
}

const char* FrontUsage() {
  return "usage: tidewell [--headless] [--device-dir DIR] [--package FILE] [--simulate]\n"
         "                [--released-sizes] [--timeout SECONDS] [--screenshot FILE]\n"
         "                [--eboot FILE] [--pda FILE] [--phone FILE] [--onefile IMAGE]\n"
         "                [--pacing fixed|answer] [--events FILE] [--record FILE]\n"
         "                [--slots N] [--auto-start] [--station [--count N]] [--strict]\n"
         "       tidewell --help | --version\n"
         "  --headless        run on the terminal, without the window\n"
         "  --device-dir DIR  take device arrivals and removals from DIR (pda* entries, COM<n>)\n"
         "  --package FILE    take the firmware set from FILE instead of this executable\n"
         "  --simulate        upgrade a simulated handset on a private device directory\n"
         "  --released-sizes  with --simulate: generated images of the released sizes\n"
         "  --timeout SECONDS end with status 1 when the run has not ended by then\n"
         "  --screenshot FILE the window saves itself as a PNG picture once shown, then closes\n"
         "  --eboot FILE      the EBOOT image from FILE (.nb0), in place of the package's\n"
         "  --pda FILE        the PDA image from FILE (.bin), in place of the package's\n"
         "  --phone FILE      the phone image from FILE (.bin, at most 20000000 bytes)\n"
         "  --onefile IMAGE   the three images of a one-file image, extracted into the current\n"
         "                    directory (before --eboot, --pda and --phone)\n"
         "  --pacing fixed|answer  the phone download's pace: the fixed pause after each frame\n"
         "                    (default), or a wait for each whole answer\n"
         "  --events FILE     every event of every run as JSON Lines into FILE (- for stdout;\n"
         "                    headless, the log lines then go to stderr)\n"
         "  --record FILE     append one JSON line per finished run to FILE\n"
         "  --slots N         serve up to N handsets at once (1 to 8; default 1); headless\n"
         "                    without --station ends after N runs\n"
         "  --auto-start      start each handset's download as soon as it has connected\n"
         "                    (always so headless); a handset that finds no free slot waits\n"
         "  --station         headless, serve handset after handset until a signal (SIGINT,\n"
         "                    SIGTERM, SIGHUP) or --count runs have ended; one summary\n"
         "                    line per run on stderr at the end\n"
         "  --count N         with --station: end after N runs (1 to 1000000)\n"
         "  --strict          a run that skipped a region (erase refused) counts as failed\n"
         "Exit status: 0 after successful runs (a station: every run succeeded and none\n"
         "was stopped), 1 after a failed or stopped run or a time-out, 2 for a usage error\n"
         "or a missing image set.\n";
}

}  // namespace tw

#include "sim/cli/simoptions.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>

namespace tw::sim {

namespace {

bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t* value) {
  if (text.empty() || text[0] == '-') {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed > max) {
    return false;
  }
  *value = parsed;
  return true;
}

// "3000,rest" or "65536": request sizes; "rest" and 0 mean the rest of the image.
// A location names directory entries ("pda@1-2.4"): letters, digits, '.', '-' and '_'.
bool ValidLocation(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
  });
}

bool ParseSizes(const std::string& text, std::vector<std::uint32_t>* sizes) {
  sizes->clear();
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t comma = text.find(',', from);
    std::string item = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    std::uint64_t value = 0;
    if (item != "rest" && !ParseNumber(item, UINT32_MAX, &value)) {
      return false;
    }
    sizes->push_back(static_cast<std::uint32_t>(value));
    if (comma == std::string::npos) {
      break;
    }
    from = comma + 1;
  }
  return !sizes->empty();
}

}  // namespace

const char* SimUsage() {
  return "usage: tidewell-sim --device-dir DIR [--com N] [--location LOC] [--verify PACKAGE] [--dump DIR]\n"
         "         [--timeout MS] [--requests SIZE,...|rest] [--regions N] [--phone-pause MS]\n"
         "         [--com-after ENTRY] [--answer-ok] [--eboot-handover]\n"
         "       faults: [--wrong-hello] [--no-ack-eboot K] [--no-ack-os K] [--busy M]\n"
         "         [--short-request K] [--over-request K] [--nak-erase R] [--no-answer-block K]\n"
         "         [--no-ack-jump R] [--disconnect-pda B] [--disconnect-phone B] [--delay MS]\n"
         "         [--split SEED] [--split-gap MS] [--answer-pieces N] [--answer-gap MS]\n"
         "         [--block-delay MS] [--refuse-handover]\n"
         "       tidewell-sim --help | --version\n"
         "Positions K, R are 1-based. Prints a JSON summary on stdout; exit 1 when the\n"
         "verification fails or the host broke the protocol, 2 for a usage or set-up error.\n";
}

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, std::string* error) {
  SimConfig& c = options->config;
  SimFaults& f = c.faults;
  auto u32 = [](std::uint32_t& field) {
    return [&field](const std::string& v) {
      std::uint64_t n = 0;
      return ParseNumber(v, UINT32_MAX, &n) && (field = static_cast<std::uint32_t>(n), true);
    };
  };
  auto u64 = [](std::uint64_t& field) {
    return [&field](const std::string& v) { return ParseNumber(v, UINT64_MAX, &field); };
  };
  auto text = [](std::string& field) {
    return [&field](const std::string& v) { return !v.empty() && (field = v, true); };
  };
  auto com = [&c](const std::string& v) {
    std::uint64_t n = 0;
    return ParseNumber(v, 255, &n) && n > 0 && (c.comPort = static_cast<int>(n), true);
  };
  auto regions = [&](const std::string& v) {
    std::uint64_t n = 0;
    return ParseNumber(v, 64, &n) && (c.phoneRegions = static_cast<int>(n), options->regionsGiven = true);
  };
  auto split = [&f](const std::string& v) {
    std::uint64_t n = 0;
    return ParseNumber(v, UINT32_MAX, &n) &&
           (f.splitSeed = static_cast<std::uint32_t>(n), f.splitReplies = true);
  };
  auto location = [&c](const std::string& v) { return ValidLocation(v) && (c.location = v, true); };
  auto entry = [options](const std::string& v) {
    return !v.empty() && v.find('/') == std::string::npos && (options->comAfter = v, true);
  };
  const std::map<std::string, std::function<bool(const std::string&)>> valued = {
      {"--device-dir", text(options->deviceDir)},
      {"--verify", text(options->verifyPackage)},
      {"--dump", text(options->dumpDir)},
      {"--com", com},
      {"--location", location},
      {"--com-after", entry},
      {"--timeout", u32(c.runTimeoutMs)},
      {"--requests", [&c](const std::string& v) { return ParseSizes(v, &c.osRequestSizes); }},
      {"--regions", regions},
      {"--phone-pause", u32(c.phoneModePauseMs)},
      {"--no-ack-eboot", u32(f.noAckEbootRecord)},
      {"--no-ack-os", u32(f.noAckOsPacket)},
      {"--busy", u32(f.busyReplies)},
      {"--short-request", u32(f.shortRequest)},
      {"--over-request", u32(f.overRequest)},
      {"--nak-erase", u32(f.nakEraseRegion)},
      {"--no-answer-block", u32(f.noAnswerBlock)},
      {"--no-ack-jump", u32(f.noAckJumpRegion)},
      {"--disconnect-pda", u64(f.disconnectPdaAfterByte)},
      {"--disconnect-phone", u64(f.disconnectPhoneAfterByte)},
      {"--delay", u32(f.replyDelayMs)},
      {"--split", split},
      {"--split-gap", u32(f.splitGapMs)},
      {"--answer-pieces", u32(f.answerPieces)},
      {"--answer-gap", u32(f.answerGapMs)},
      {"--block-delay", u32(f.blockAnswerDelayMs)},
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h" || arg == "--version") {
      (arg == "--version" ? options->version : options->help) = true;
      return true;
    }
    if (arg == "--wrong-hello") {
      f.wrongHello = true;
    } else if (arg == "--refuse-handover") {
      f.refuseHandover = true;
    } else if (arg == "--answer-ok") {
      c.answerOk = true;
    } else if (arg == "--eboot-handover") {
      c.osImageFollowsEboot = false;
    } else if (auto option = valued.find(arg); option != valued.end()) {
      if (i + 1 == args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      if (!option->second(args[++i])) {
        *error = "bad value for " + arg + ": " + args[i];
        return false;
      }
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  if (options->deviceDir.empty()) {
    *error = "--device-dir is required";
    return false;
  }
  return true;
}

}  // namespace tw::sim

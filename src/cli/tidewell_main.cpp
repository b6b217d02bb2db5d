// tidewell: for now loads its firmware set (its own package, or --package
// FILE) and says what it found. Exit 0 when a complete image set is
// loaded, 2 otherwise.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/imageset.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: tidewell [--package FILE]\n");
  return 2;
}

void Report(const tw::CImageSet& set, const std::string& source) {
  const tw::ImageTable& table = set.m_ImageTable;
  std::printf("package: %s\n", source.c_str());
  if (set.m_bDownEboot) {
    std::printf("EBOOT: %u bytes\n", table.dwEbootSize);
  } else {
    std::printf("EBOOT: none\n");
  }
  std::printf("PDA: %u bytes\n", table.dwPdaSize);
  std::printf("phone: %u bytes in %u packets\n", table.dwPhoneSize, set.m_PhoneFile.GetPacketCount());
  std::printf("phone full set: %d, phone extra command: %d\n", set.m_bPhoneFullSet.load(),
              set.m_bPhoneExtraCmd.load());
  std::printf("download EBOOT %d, PDA %d, phone %d\n", set.m_bDownEboot.load(), set.m_bDownPda.load(),
              set.m_bDownPhone.load());
}

}  // namespace

int main(int argc, char** argv) {
  // 1. Where the firmware set comes from.
  std::string package;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--package") == 0 && i + 1 < argc && package.empty()) {
      package = argv[++i];
    } else {
      return Usage();
    }
  }
  // 2. Load it and say what was found.
  tw::CImageSet set;
  set.ZeroImageTable();
  const std::string source = package.empty() ? std::string(tw::CImageSet::kOwnExecutable) : package;
  if (!set.LoadAttachedImages(package)) {
    std::fprintf(stderr, "tidewell: no complete image set in %s\n", source.c_str());
    return 2;
  }
  Report(set, source);
  return 0;
}

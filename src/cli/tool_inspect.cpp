// tidewell-tool inspect: prints a package's sImageHeader and whether its
// layout is sound.
#include <cstdio>
#include <string>

#include "cli/tool_args.h"
#include "cli/tool_commands.h"
#include "firmware/imageheader.h"
#include "firmware/packagelayout.h"
#include "platform/file.h"

namespace tw {

namespace {

void PrintHeader(const sImageHeader& h) {
  const auto magicByte = [&h](int i) {
    const int c = static_cast<int>((h.dwMagic >> (8 * i)) & 0xFF);
    return c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
  };
  std::printf("dwMagic          0x%08X \"%c%c%c%c\"\n", h.dwMagic, magicByte(0), magicByte(1), magicByte(2),
              magicByte(3));
  std::printf("dwEbootOffset    %u\n", h.dwEbootOffset);
  std::printf("dwEbootSize      %u\n", h.dwEbootSize);
  std::printf("dwPdaOffset      %u\n", h.dwPdaOffset);
  std::printf("dwPdaSize        %u\n", h.dwPdaSize);
  std::printf("dwPhoneFullSet   %u\n", h.dwPhoneFullSet);
  std::printf("dwPhoneExtraCmd  %u\n", h.dwPhoneExtraCmd);
  std::printf("dwPhoneOffset    %u\n", h.dwPhoneOffset);
  std::printf("dwPhoneSize      %u\n", h.dwPhoneSize);
}

}  // namespace

int RunInspect(const ToolArgs& args) {
  // 1. One file.
  const ParsedArgs parsed = ParseToolArgs(args, {});
  if (!parsed.error.empty() || parsed.positional.size() != 1) {
    return ToolUsageError("inspect", parsed.error.empty() ? "give one file" : parsed.error, kInspectUsage);
  }
  const std::string& path = parsed.positional.front();
  // 2. Its record.
  CFile file;
  std::string reason;
  if (!file.Open(path, CFile::modeRead, &reason)) {
    std::fprintf(stderr, "tidewell-tool inspect: cannot read %s: %s\n", path.c_str(), reason.c_str());
    return 1;
  }
  const std::uint64_t length = file.GetLength();
  sImageHeader header;
  const PackageValidation validation = ValidatePackageFile(file, &header);
  std::printf("file             %s, %llu bytes\n", path.c_str(), static_cast<unsigned long long>(length));
  if (validation.hasRecord) {
    PrintHeader(header);
  }
  // 3. The checks and the verdict, with the reason the loader gives.
  for (const LayoutCheck& check : validation.checks) {
    std::printf("%-4s %s\n", check.ok ? "ok" : "BAD", check.text.c_str());
  }
  const bool sound = validation.verdict == PackageVerdict::kSound;
  std::printf("layout: %s%s\n", sound ? "sound" : "not sound: ", VerdictText(validation).c_str());
  return sound ? 0 : 1;
}

}  // namespace tw

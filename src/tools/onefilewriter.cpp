#include "tools/onefilewriter.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <new>

#include "tools/onefileheader.h"
#include "tools/toolfile.h"
#include "tools/toolpath.h"

namespace tw {

int AppendFileTo(std::ostream& out, const std::string& dir, const std::string& name, DWORD* length) {
  *length = 0;
  // The source.
  const std::string path = JoinToolPath(dir, name);
  std::ifstream in;
  if (!OpenToolInput(in, path)) {
    return kAppendCannotOpen;
  }
  std::error_code error;
  if (std::filesystem::file_size(path, error) > 0xFFFFFFFFu && !error) {
    return kAppendTooLarge;
  }
  std::unique_ptr<BYTE[]> chunk(new (std::nothrow) BYTE[kAppendChunk]);
  if (!chunk) {
    return kAppendReadFailed;
  }
  // Copy until a read returns nothing.
  for (;;) {
    std::size_t got = 0;
    if (!ReadToolBlock(in, chunk.get(), kAppendChunk, &got)) {
      return kAppendReadFailed;
    }
    if (got == 0) {
      break;
    }
    *length += static_cast<DWORD>(got);
    if (!WriteToolBlock(out, chunk.get(), got)) {
      return kAppendWriteFailed;
    }
  }
  // An empty source cannot be packed.
  return *length == 0 ? kAppendEmptySource : 0;
}

int WriteOneFileImage(const std::string& output, const std::string& dir, const std::string& ebootName,
                      const std::string& pdaName, const std::string& phoneName) {
  // The header with the tag and the names; the sizes stay 0 for now.
  const std::array<std::string, kPartCount> names = {ebootName, pdaName, phoneName};
  OneFileHeader header = OneFileHeader::Make(names);
  // The output.
  std::ofstream out;
  if (!CreateToolOutput(out, ToolPath(output))) {
    return kWriteCannotCreate;
  }
  // The header as a placeholder.
  if (!WriteToolBlock(out, header.bytes.data(), header.bytes.size())) {
    return kWriteHeaderFailed;
  }
  // The three files, each size into the header.
  for (int part = 0; part < kPartCount; ++part) {
    DWORD length = 0;
    int code = AppendFileTo(out, dir, names[part], &length);
    if (code != 0) {
      return code - 10 * (part + 1);
    }
    header.SetSize(part, length);
  }
  // Back to the start; the header with the sizes.
  if (!out.seekp(0)) {
    return kWriteSeekFailed;
  }
  if (!WriteToolBlock(out, header.bytes.data(), header.bytes.size())) {
    return kWriteHeaderFailed;
  }
  // Done.
  out.close();
  return out.fail() ? kWriteHeaderFailed : 0;
}

std::string OneFileMakeError(int code) {
  switch (code) {
    case kWriteCannotCreate:
      return "the output file cannot be created";
    case kWriteHeaderFailed:
    case kWriteHeaderEmpty:
      return "the header cannot be written";
    case kWriteSeekFailed:
      return "the output cannot be rewound to its header";
    default:
      break;
  }
  const char* kinds[] = {"EBOOT", "PDA", "PHONE"};
  const char* reasons[] = {"cannot be opened",
                           "cannot be read",
                           "cannot be copied to the output",
                           "cannot be copied to the output",
                           "is empty",
                           "is 4 GiB or larger"};
  const int part = -code / 10 - 1;
  const int append = -code % 10;
  if (part >= 0 && part < 3 && append >= 1 && append <= 6) {
    return std::string("the ") + kinds[part] + " file " + reasons[append - 1];
  }
  return "error " + std::to_string(code);
}

}  // namespace tw

#include "tools/onefileloader.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <system_error>

#include "tools/toolfile.h"

namespace tw {

namespace {

constexpr const char* kPartTitle[kPartCount] = {"[Eboot Binary File]\r\n", "[Pda Binary File]\r\n",
                                                "[Phone Binary File]\r\n"};
constexpr const char* kPartKind[kPartCount] = {"EBOOT", "PDA", "PHONE"};

int ReadHeader(std::ifstream& in, OneFileHeader& header) {
  std::size_t got = 0;
  if (!ReadToolBlock(in, header.bytes.data(), header.bytes.size(), &got)) {
    return kLoadReadFailed;
  }
  // A header cut short is no header at all, however many bytes it has.
  if (got < header.bytes.size()) {
    return kLoadHeaderShort;
  }
  if (!header.HasTag()) {
    return kLoadBadTag;
  }
  for (int part = 0; part < kPartCount; ++part) {
    if (!header.HasPlainName(part)) {
      return kLoadUnsafeName;
    }
  }
  return 0;
}

// The body of one part, read into a fresh buffer. A size beyond the end of
// the file is a short body before anything is allocated.
int ReadBody(std::ifstream& in, std::uint64_t remaining, int part, DWORD size,
             std::unique_ptr<BYTE[]>& body) {
  if (size > remaining) {
    return kLoadShortBody[part];
  }
  body.reset(new (std::nothrow) BYTE[size == 0 ? 1 : size]);
  if (!body) {
    return kLoadNoMemory[part];
  }
  std::size_t got = 0;
  if (!ReadToolBlock(in, body.get(), size, &got)) {
    return kLoadReadFailed;
  }
  return got < size ? kLoadShortBody[part] : 0;
}

// The part as a file of its name in the current directory.
int ExtractPart(const std::string& name, const BYTE* body, DWORD size) {
  DeleteToolOutput(name);
  std::ofstream out;
  if (!CreateToolOutput(out, name)) {
    return kLoadCannotCreatePart;
  }
  if (!WriteToolBlock(out, body, size)) {
    return kLoadCannotWritePart;
  }
  out.close();
  return out.fail() ? kLoadCannotWritePart : 0;
}

// The part as the current image of its kind.
int TakePart(CImageSet& images, int part, const std::string& name, const BYTE* body, DWORD size) {
  ImageTable& table = images.m_ImageTable;
  if (part == kPartEboot) {
    images.m_EbootBin.CopyEboot(body, size);
    table.pEbootBin = &images.m_EbootBin;
    table.dwEbootSize = size;
  } else if (part == kPartPda) {
    images.m_PdaBin.CopyPda(body, size);
    table.pPdaBin = &images.m_PdaBin;
    table.dwPdaSize = size;
  } else {
    table.dwPhoneSize = size;
    if (!images.m_PhoneFile.OpenFile(name)) {
      return kLoadReadFailed;
    }
    if (!images.m_PhoneFile.MakePackets()) {
      return kLoadNoMemory[kPartPhone];
    }
  }
  return 0;
}

}  // namespace

int LoadOneFileImageInto(const std::string& path, CImageSet& images, ImageTexts& texts) {
  // The image file and its length.
  std::ifstream in;
  if (!OpenToolInput(in, path)) {
    return kLoadCannotOpen;
  }
  std::error_code error;
  std::uint64_t length = std::filesystem::file_size(path, error);
  if (error) {
    return kLoadCannotOpen;
  }
  // The header, its tag and its names.
  OneFileHeader header;
  int code = ReadHeader(in, header);
  std::uint64_t position = kOneFileHeaderSize;
  // The three bodies in file order; the buffers go when they leave.
  for (int part = 0; code == 0 && part < kPartCount; ++part) {
    const DWORD size = header.Size(part);
    const std::string name = header.Name(part);
    std::unique_ptr<BYTE[]> body;
    code = ReadBody(in, length > position ? length - position : 0, part, size, body);
    if (code == 0) {
      code = ExtractPart(name, body.get(), size);
    }
    if (code == 0) {
      code = TakePart(images, part, name, body.get(), size);
    }
    if (code == 0) {
      texts[part] = kPartTitle[part] + name + "\r\n";
    }
    position += size;
  }
  return code;
}

std::string OneFileLoadError(int code) {
  switch (code) {
    case kLoadCannotOpen:
      return "the image file cannot be opened";
    case kLoadReadFailed:
      return "a read failed";
    case kLoadHeaderShort:
      return "the file is shorter than the 812-byte header";
    case kLoadBadTag:
      return "the tag is not \"QX7 KORV-352\"";
    case kLoadCannotCreatePart:
      return "an extracted part's file cannot be created";
    case kLoadCannotWritePart:
      return "an extracted part's file cannot be written";
    case kLoadUnsafeName:
      return "a part's name is not a plain file name of the current directory";
    default:
      break;
  }
  for (int part = 0; part < kPartCount; ++part) {
    if (code == kLoadNoMemory[part]) {
      return std::string("no memory for the ") + kPartKind[part] + " part";
    }
    if (code == kLoadShortBody[part]) {
      return std::string("the file ends inside the ") + kPartKind[part] + " part";
    }
  }
  return "error " + std::to_string(code);
}

}  // namespace tw

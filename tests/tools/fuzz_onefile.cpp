// Fuzzes the one-file image loader: the input is the image file, loaded in
// a private current directory. The first byte picks how much of it is
// shaped: bit 0 writes the tag (zero-filling a header cut short) and keeps the sizes within the file (plus a
// little), bit 1 also gives the parts plain names; without bit 0 the bytes
// after it are the file as they stand. Every result is one of the loader's codes,
// nothing is written outside that directory, and a loaded image's parts
// are in it with the sizes of the image table.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "firmware/imageset.h"
#include "platform/byteorder.h"
#include "tools/onefileloader.h"

namespace fs = std::filesystem;

namespace {

fs::path g_dir;

bool KnownCode(int code) {
  switch (code) {
    case 0:
    case -1:
    case -2:
    case -3:
    case -4:
    case -5:
    case -6:
    case -7:
    case -8:
    case -9:
    case -10:
    case -11:
    case -12:
    case -100:
      return true;
    default:
      return false;
  }
}

// The image file from the input, shaped as its first byte says.
std::string ShapedImage(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return {};
  }
  const unsigned mode = data[0];
  std::string image(reinterpret_cast<const char*>(data + 1), size - 1);
  if ((mode & 1) == 0) {
    return image;
  }
  // A short input is the start of a header, zero-filled.
  if (image.size() < 812) {
    image.resize(812);
  }
  std::memcpy(image.data(), "QX7 KORV-352", 13);
  auto* bytes = reinterpret_cast<std::uint8_t*>(image.data());
  const std::uint32_t room = static_cast<std::uint32_t>(image.size() - 812 + 2);
  for (int part = 0; part < 3; ++part) {
    std::uint8_t* field = bytes + 20 + part * 264;
    tw::StoreLe32(field, tw::LoadLe32(field) % room);
    if (mode & 2) {
      std::memcpy(field + 4, part == 0 ? "e.nb0" : part == 1 ? "p.bin" : "f.bin", 6);
    }
  }
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (fs::temp_directory_path() / "fuzz_onefile-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    return 1;
  }
  g_dir = pattern;
  std::atexit([] {
    std::error_code error;
    fs::current_path(fs::temp_directory_path(), error);
    fs::remove_all(g_dir, error);
  });
  fs::create_directory(g_dir / "work");
  fs::current_path(g_dir / "work");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The image lives beside the working directory, which starts empty.
  for (const fs::directory_entry& entry : fs::directory_iterator(g_dir / "work")) {
    fs::remove_all(entry.path());
  }
  const fs::path image = g_dir / "image.img";
  const std::string bytes = ShapedImage(data, size);
  {
    std::ofstream out(image, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  tw::CImageSet images;
  images.m_PhoneFile.SetMessageSink([](const std::string&) {});
  tw::ImageTexts texts;
  const int code = tw::LoadOneFileImageInto(image.string(), images, texts);
  if (!KnownCode(code)) __builtin_trap();
  // Only the image and the working directory beside it.
  int besides = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(g_dir)) {
    (void)entry;
    ++besides;
  }
  if (besides != 2) __builtin_trap();
  if (code == 0) {
    const tw::ImageTable& table = images.m_ImageTable;
    if (table.dwEbootSize + std::uint64_t{table.dwPdaSize} + table.dwPhoneSize + 812 > bytes.size())
      __builtin_trap();
    if (images.m_PhoneFile.GetSize() != table.dwPhoneSize) __builtin_trap();
  }
  return 0;
}

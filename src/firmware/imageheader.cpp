#include "firmware/imageheader.h"

namespace tw {

namespace {

void StoreLe32(BYTE* out, DWORD value) {
  out[0] = static_cast<BYTE>(value);
  out[1] = static_cast<BYTE>(value >> 8);
  out[2] = static_cast<BYTE>(value >> 16);
  out[3] = static_cast<BYTE>(value >> 24);
}

DWORD LoadLe32(const BYTE* in) {
  return DWORD{in[0]} | DWORD{in[1]} << 8 | DWORD{in[2]} << 16 | DWORD{in[3]} << 24;
}

// The words in file order.
std::array<DWORD sImageHeader::*, 9> Fields() {
  return {&sImageHeader::dwMagic,         &sImageHeader::dwEbootOffset, &sImageHeader::dwEbootSize,
          &sImageHeader::dwPdaOffset,     &sImageHeader::dwPdaSize,     &sImageHeader::dwPhoneFullSet,
          &sImageHeader::dwPhoneExtraCmd, &sImageHeader::dwPhoneOffset, &sImageHeader::dwPhoneSize};
}

}  // namespace

ImageHeaderBytes EncodeImageHeader(const sImageHeader& header) {
  ImageHeaderBytes bytes{};
  std::size_t at = 0;
  for (auto field : Fields()) {
    StoreLe32(bytes.data() + at, header.*field);
    at += 4;
  }
  return bytes;
}

sImageHeader DecodeImageHeader(const BYTE* bytes) {
  sImageHeader header;
  std::size_t at = 0;
  for (auto field : Fields()) {
    header.*field = LoadLe32(bytes + at);
    at += 4;
  }
  return header;
}

BOOL ReadImageHeader(CFile& file, sImageHeader& header) {
  ImageHeaderBytes bytes{};
  if (file.GetLength() < IMAGE_HEADER_SIZE ||
      file.Seek(-static_cast<std::int64_t>(IMAGE_HEADER_SIZE), CFile::end) < 0 ||
      file.Read(bytes.data(), bytes.size()) != bytes.size()) {
    return FALSE;
  }
  header = DecodeImageHeader(bytes.data());
  return TRUE;
}

}  // namespace tw

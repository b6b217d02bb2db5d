// sImageHeader: nine little-endian words, whatever the host.
#include "firmware/imageheader.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tw {
namespace {

TEST(ImageHeader, EncodesTheWorkedExampleWordByWordLittleEndian) {
  const sImageHeader header{IMAGE_HEADER_MAGIC, 2670592, 1126400, 3796992, 63822351, 1, 0,
                            67619343,           14524912};
  const ImageHeaderBytes bytes = EncodeImageHeader(header);
  EXPECT_EQ(std::memcmp(bytes.data(), "IDJB", 4), 0);
  // 2,670,592 = 0x0028C000; 14,524,912 = 0x00DDA1F0
  const BYTE ebootOffset[4] = {0x00, 0xC0, 0x28, 0x00};
  const BYTE phoneSize[4] = {0xF0, 0xA1, 0xDD, 0x00};
  EXPECT_EQ(std::memcmp(bytes.data() + 4, ebootOffset, 4), 0);
  EXPECT_EQ(std::memcmp(bytes.data() + 32, phoneSize, 4), 0);
  EXPECT_EQ(bytes[20], 1);  // dwPhoneFullSet
  EXPECT_EQ(DecodeImageHeader(bytes.data()), header);
}

TEST(ImageHeader, EachFieldHasItsOwnOffset) {
  BYTE bytes[IMAGE_HEADER_SIZE] = {};
  for (std::size_t word = 0; word < 9; ++word) {
    bytes[word * 4] = static_cast<BYTE>(word + 1);
    bytes[word * 4 + 3] = 0x80;
  }
  const sImageHeader h = DecodeImageHeader(bytes);
  const DWORD words[9] = {h.dwMagic,        h.dwEbootOffset,   h.dwEbootSize,   h.dwPdaOffset, h.dwPdaSize,
                          h.dwPhoneFullSet, h.dwPhoneExtraCmd, h.dwPhoneOffset, h.dwPhoneSize};
  for (std::size_t word = 0; word < 9; ++word) {
    EXPECT_EQ(words[word], 0x80000000u + word + 1) << "word " << word;
  }
  EXPECT_EQ(std::memcmp(EncodeImageHeader(h).data(), bytes, sizeof bytes), 0);
}

}  // namespace
}  // namespace tw

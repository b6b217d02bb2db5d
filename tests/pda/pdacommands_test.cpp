#include "pda/pdacommands.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace tw {
namespace {

std::vector<BYTE> Ramp(std::size_t count, BYTE first = 1) {
  std::vector<BYTE> bytes(count);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

TEST(PdaCommands, CodesOnTheWire) {
  struct Case {
    DWORD code;
    DWORD expected;
    std::size_t written;
  };
  const Case cases[] = {
      {PDA_CMD_EBOOT_INFO, 0x0C, 12},   {PDA_CMD_OS_INFO, 0x0D, 12},    {PDA_CMD_PHONE_MODE, 0x0E, 12},
      {PDA_CMD_HELLO_ACK, 0x10, 12},    {PDA_CMD_EBOOT_END, 0x11, 100}, {PDA_CMD_FINISH, 0x14, 12},
      {PDA_CMD_IMAGE_DONE, 0x19, 12},   {PDA_CMD_POLL, 0x1A, 12},       {PDA_CMD_AFTER_CONNECT, 0x1B, 12},
      {PDA_CMD_EBOOT_DATA, 0x32, 1012},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(c.code, c.expected);
    data_packet record;
    record.SetCommand(c.code);
    EXPECT_EQ(record.WireSize(), c.written);
    EXPECT_EQ(record.Encode()[0], c.expected);
  }
  EXPECT_EQ(PDA_RSP_HELLO, 0x0A);
  EXPECT_EQ(PDA_RSP_READY, 0x0F);
  EXPECT_EQ(PDA_RSP_OS_DONE, 0x12);
  EXPECT_EQ(PDA_REQ_DATA, 1u);
}

TEST(PdaCommands, CommandWordsAreLittleEndian) {
  data_packet record;
  record.SetCommand(PDA_CMD_PHONE_MODE, 14'524'912);
  const auto wire = record.Encode();
  const std::vector<BYTE> first12(wire.begin(), wire.begin() + kPdaCommandSize);
  EXPECT_EQ(first12, (std::vector<BYTE>{0x0E, 0, 0, 0, 0xF0, 0xA1, 0xDD, 0x00, 0, 0, 0, 0}));

  record.SetCommand(PDA_CMD_EBOOT_INFO, 0x00012345, 0xA1B2C3D4);
  const auto info = record.Encode();
  EXPECT_EQ(std::vector<BYTE>(info.begin() + 4, info.begin() + 12),
            (std::vector<BYTE>{0x45, 0x23, 0x01, 0x00, 0xD4, 0xC3, 0xB2, 0xA1}));
}

TEST(PdaCommands, LastEbootChunkIsZeroPaddedAndWrittenWhole) {
  data_packet record;
  const auto full = Ramp(kDataPacketDataSize, 0x80);
  record.SetCommand(PDA_CMD_EBOOT_DATA, 5000);
  record.SetData(full.data(), full.size());

  // The next command reuses the record: nothing of the full chunk may survive.
  const auto tail = Ramp(400);
  record.SetCommand(PDA_CMD_EBOOT_DATA, 5000);
  EXPECT_EQ(record.SetData(tail.data(), tail.size()), 400u);
  const auto wire = record.Encode();
  ASSERT_EQ(record.WireSize(), kDataPacketSize);
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), wire.begin() + 12));
  for (std::size_t i = 412; i < kDataPacketSize; ++i) ASSERT_EQ(wire[i], 0) << "offset " << i;
}

TEST(PdaCommands, DataIsCutAtTheRecordSize) {
  struct Case {
    std::size_t offered;
    std::size_t copiedIntoCommand;
    std::size_t copiedIntoOsPacket;
  };
  const Case cases[] = {{0, 0, 0},          {1, 1, 1},          {1000, 1000, 1000},
                        {1001, 1000, 1001}, {1008, 1000, 1008}, {5000, 1000, 1008}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offered);
    const auto bytes = Ramp(c.offered);
    data_packet record;
    EXPECT_EQ(record.SetData(bytes.data(), bytes.size()), c.copiedIntoCommand);
    os_data_packet packet;
    EXPECT_EQ(packet.SetData(bytes.data(), bytes.size()), c.copiedIntoOsPacket);
  }
  data_packet record;
  EXPECT_EQ(record.SetData(nullptr, 10), 0u);
}

TEST(PdaCommands, OsDataPacketLayout) {
  os_data_packet packet;
  const auto first = Ramp(kWriteBuffDataSize, 0x40);
  packet.SetData(first.data(), first.size());
  const auto tail = Ramp(7, 0xE0);
  packet.SetData(tail.data(), tail.size());
  const auto wire = packet.Encode();
  ASSERT_EQ(wire.size(), 1024u);
  EXPECT_EQ(wire[0], 1);
  for (std::size_t i = 1; i < 16; ++i) EXPECT_EQ(wire[i], 0) << "offset " << i;
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), wire.begin() + 16));
  for (std::size_t i = 23; i < wire.size(); ++i) ASSERT_EQ(wire[i], 0) << "offset " << i;
}

TEST(PdaCommands, DecodeReadsWhatEncodeWrote) {
  data_packet record;
  record.SetCommand(PDA_CMD_EBOOT_DATA, 123456, 7);
  const auto bytes = Ramp(300);
  record.SetData(bytes.data(), bytes.size());
  const auto wire = record.Encode();
  const data_packet back = data_packet::Decode(wire.data(), wire.size());
  EXPECT_EQ(back.dwCommand, PDA_CMD_EBOOT_DATA);
  EXPECT_EQ(back.dwImageSize, 123456u);
  EXPECT_EQ(back.dwNandMask, 7u);
  EXPECT_EQ(back.Data, record.Data);

  // A 12-byte command leaves the data zero; a short read leaves missing words zero.
  const data_packet plain = data_packet::Decode(wire.data(), kPdaCommandSize);
  EXPECT_EQ(plain.dwImageSize, 123456u);
  EXPECT_EQ(plain.Data, data_packet{}.Data);
  const data_packet cut = data_packet::Decode(wire.data(), 6);
  EXPECT_EQ(cut.dwCommand, PDA_CMD_EBOOT_DATA);
  EXPECT_EQ(cut.dwImageSize, 123456u & 0xFFFFu);
  EXPECT_EQ(cut.dwNandMask, 0u);

  os_data_packet packet;
  packet.SetData(bytes.data(), bytes.size());
  const auto osWire = packet.Encode();
  const os_data_packet osBack = os_data_packet::Decode(osWire.data(), osWire.size());
  EXPECT_EQ(osBack.byType, 1);
  EXPECT_EQ(osBack.Data, packet.Data);
}

TEST(PdaCommands, ReadHeaderCountsOnlyWhenExactlySixteenBytesCame) {
  // Words 1 and 3 carry noise that must not matter.
  BYTE buffer[kPdaReadBuffSize] = {0x01, 0, 0,    0,    0xEE, 0xEE, 0xEE, 0xEE, 0x00, 0x10,
                                   0,    0, 0x55, 0x55, 0x55, 0x55, 9,    9,    9,    9};
  struct Case {
    std::size_t count;
    bool accepted;
  };
  const Case cases[] = {{0, false}, {4, false},  {12, false}, {15, false},
                        {16, true}, {17, false}, {20, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    const auto header = ParseReadHeader(buffer, c.count);
    ASSERT_EQ(header.has_value(), c.accepted);
    if (header) {
      EXPECT_EQ(header->dwRequest, PDA_REQ_DATA);
      EXPECT_EQ(header->dwCount, 0x1000u);
    }
  }
  EXPECT_FALSE(ParseReadHeader(nullptr, 16).has_value());

  const read_header request{7, 0x01020304};
  const auto wire = request.Encode();
  EXPECT_EQ(std::vector<BYTE>(wire.begin(), wire.end()),
            (std::vector<BYTE>{7, 0, 0, 0, 0, 0, 0, 0, 0x04, 0x03, 0x02, 0x01, 0, 0, 0, 0}));
  const auto parsed = ParseReadHeader(wire.data(), wire.size());
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->dwRequest, 7u);
  EXPECT_EQ(parsed->dwCount, 0x01020304u);
}

}  // namespace
}  // namespace tw

#include <gtest/gtest.h>

#include <numeric>

#include "sim/csimddcdisplay.h"

using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

class CSimDdcDisplayTest : public ::testing::Test {
 protected:
  CSimDdcDisplayTest()
  {
    SSimDdcDisplayConfig config;
    config.model = "PD16 Pro";
    config.serial = "abc123";
    config.capabilities = "(prot(monitor)type(lcd)model(PD16 Pro)cmds(01 F3)vcp(C9))";
    config.firmwareVersion = 0x00020105;
    std::string error;
    mDisplay = CSimDdcDisplay::Create(config, error);
    EXPECT_EQ(error, "");
  }

  // Writes 6E 51 (80 | n) payload checksum; false when a byte was not acknowledged.
  bool Request(const Bytes& payload_I, uint8_t spoil_I = 0)
  {
    Bytes request{0x51, static_cast<uint8_t>(0x80 | payload_I.size())};
    request.insert(request.end(), payload_I.begin(), payload_I.end());
    request.push_back(std::accumulate(request.begin(), request.end(), uint8_t{0x6E}, std::bit_xor<uint8_t>()) ^ spoil_I);
    if (!mDisplay->Address(0x6E)) return false;
    for (uint8_t byte : request) EXPECT_TRUE(mDisplay->WriteByte(byte));
    mDisplay->Stop();
    return true;
  }

  // Reads count_I bytes after the read address.
  Bytes Reply(size_t count_I)
  {
    Bytes reply;
    if (!mDisplay->Address(0x6F)) return reply;
    for (size_t i = 0; i < count_I; ++i) reply.push_back(mDisplay->ReadByte());
    mDisplay->Stop();
    return reply;
  }

  // A whole reply, checked: 6E, length byte, payload, and 0x50 XOR every byte = 0.
  Bytes Payload()
  {
    Bytes reply;
    EXPECT_TRUE(mDisplay->Address(0x6F));
    reply.push_back(mDisplay->ReadByte());
    reply.push_back(mDisplay->ReadByte());
    EXPECT_EQ(reply[0], 0x6E);
    for (int i = 0; i <= (reply[1] & 0x7F); ++i) reply.push_back(mDisplay->ReadByte());
    mDisplay->Stop();
    EXPECT_EQ(std::accumulate(reply.begin(), reply.end(), uint8_t{0x50}, std::bit_xor<uint8_t>()), 0);
    return Bytes(reply.begin() + 2, reply.end() - 1);
  }

  std::shared_ptr<CSimDdcDisplay> mDisplay;
};

std::string Text(const Bytes& bytes_I, size_t at_I) { return std::string(bytes_I.begin() + at_I, bytes_I.begin() + at_I + 13); }

}  // namespace

TEST_F(CSimDdcDisplayTest, VcpRepliesAndDisplayInformation)
{
  ASSERT_TRUE(Request({0x01, 0xC9}));
  EXPECT_EQ(Reply(11), (Bytes{0x6E, 0x88, 0x02, 0x00, 0xC9, 0x00, 0x00, 0x02, 0x01, 0x05, 0x50 ^ 0x6E ^ 0x88 ^ 0x02 ^ 0xC9 ^ 0x02 ^ 0x01 ^ 0x05}));
  // Answered once; then the null message.
  EXPECT_EQ(Reply(3), (Bytes{0x6E, 0x80, 0xBE}));
  ASSERT_TRUE(Request({0x01, 0x10}));
  EXPECT_EQ(Payload(), (Bytes{0x02, 0x01, 0x10, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(Request({0x01, 0xF2}));
  const Bytes information = Reply(56);
  EXPECT_EQ(information[1], 0x80 | 53);
  EXPECT_EQ(Text(information, 17), "PD16 Pro     ");
  EXPECT_EQ(Text(information, 30), "abc123       ");
  // A request with a bad checksum is not answered.
  ASSERT_TRUE(Request({0x01, 0xC9}, 0x01));
  EXPECT_EQ(Reply(3), (Bytes{0x6E, 0x80, 0xBE}));
  EXPECT_EQ(mDisplay->Requests().size(), 4u);
}

TEST_F(CSimDdcDisplayTest, EdidByBlocksAndByTableReadAgree)
{
  const Bytes& edid = mDisplay->Edid();
  ASSERT_EQ(edid.size(), 256u);
  EXPECT_EQ(std::accumulate(edid.begin(), edid.begin() + 128, uint8_t{0}), 0);
  EXPECT_EQ(std::accumulate(edid.begin() + 128, edid.end(), uint8_t{0}), 0);
  EXPECT_EQ(Text(edid, 95), "PD16 Pro\n    ");
  EXPECT_EQ(Bytes(edid.begin() + 108, edid.begin() + 113), (Bytes{0, 0, 0, 0xFF, 0}));
  EXPECT_EQ(Text(edid, 113), "abc123\n      ");

  Bytes blocks, table;
  for (uint8_t block = 0; block < 16; ++block) {
    ASSERT_TRUE(Request({0x01, 0xF2, 0x00, block}));
    const Bytes payload = Payload();
    ASSERT_EQ(payload.size(), 16u);
    blocks.insert(blocks.end(), payload.begin(), payload.end());
  }
  for (;;) {
    const auto offset = static_cast<uint16_t>(table.size());
    ASSERT_TRUE(Request({0xE2, 0xC3, static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset)}));
    const Bytes payload = Payload();
    ASSERT_GE(payload.size(), 3u);
    EXPECT_EQ(payload[0], 0xE3);
    EXPECT_EQ(payload[1] << 8 | payload[2], offset);
    if (payload.size() == 3) break;
    table.insert(table.end(), payload.begin() + 3, payload.end());
  }
  EXPECT_EQ(blocks, edid);
  EXPECT_EQ(table, edid);
  ASSERT_TRUE(Request({0xF3, 0x00, 0x20}));
  const Bytes chunk = Payload();
  EXPECT_EQ(std::string(chunk.begin() + 3, chunk.end()), "6 Pro)cmds(01 F3)vcp(C9))");
}

TEST_F(CSimDdcDisplayTest, FaultsSpoilTheNextReplies)
{
  mDisplay->SetNoAcknowledge(1);
  EXPECT_FALSE(Request({0x01, 0xC9}));
  mDisplay->SetGarbageBytes(2, 1);
  mDisplay->SetWrongChecksum(1);
  ASSERT_TRUE(Request({0x01, 0xC9}));
  const Bytes spoilt = Reply(13);
  EXPECT_EQ(Bytes(spoilt.begin(), spoilt.begin() + 3), (Bytes{0xA5, 0xA5, 0x6E}));
  EXPECT_NE(std::accumulate(spoilt.begin() + 2, spoilt.end(), uint8_t{0x50}, std::bit_xor<uint8_t>()), 0);
  mDisplay->SetNothingToSay(1);
  ASSERT_TRUE(Request({0x01, 0xC9}));
  EXPECT_EQ(Reply(2), (Bytes{0x00, 0x00}));
  mDisplay->SetNoReply(kSimAlways);
  ASSERT_TRUE(Request({0x01, 0xC9}));
  EXPECT_EQ(Reply(2), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(Reply(2), (Bytes{0xFF, 0xFF}));

  std::string error;
  EXPECT_EQ(CSimDdcDisplay::Create({.serial = "ABCDEFGHIJKLMN"}, error), nullptr);
  EXPECT_NE(error, "");
}

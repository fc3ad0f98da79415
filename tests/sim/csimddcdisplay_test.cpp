#include <gtest/gtest.h>

#include <numeric>

#include "sim/csimddcdisplay.h"

using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kNullMessage{0x6E, 0x80, 0xBE};

uint8_t Xor(const Bytes& bytes_I, uint8_t start_I)
{
  return std::accumulate(bytes_I.begin(), bytes_I.end(), start_I, std::bit_xor<uint8_t>());
}

std::string Text13(const Bytes& bytes_I, size_t at_I)
{
  return std::string(bytes_I.begin() + at_I, bytes_I.begin() + at_I + 13);
}

class CSimDdcDisplayTest : public ::testing::Test {
 protected:
  // Writes 6E 51 (80 | n) payload checksum (XOR of every byte from 6E, then XOR spoil_I).
  void Request(const Bytes& payload_I, uint8_t spoil_I = 0)
  {
    Bytes request{0x51, static_cast<uint8_t>(0x80 | payload_I.size())};
    request.insert(request.end(), payload_I.begin(), payload_I.end());
    request.push_back(Xor(request, 0x6E) ^ spoil_I);
    ASSERT_TRUE(mDisplay->Address(0x6E));
    for (uint8_t byte : request) EXPECT_TRUE(mDisplay->WriteByte(byte));
    mDisplay->Stop();
  }
  Bytes Reply(size_t count_I)
  {
    Bytes reply;
    EXPECT_TRUE(mDisplay->Address(0x6F));
    for (size_t i = 0; i < count_I; ++i) reply.push_back(mDisplay->ReadByte());
    mDisplay->Stop();
    return reply;
  }

  std::string mError;
  std::shared_ptr<CSimDdcDisplay> mDisplay =
      CSimDdcDisplay::Create({.model = "PD16 Pro", .serial = "abc123", .firmwareVersion = 0x00020105}, mError);
};

}  // namespace

TEST_F(CSimDdcDisplayTest, RepliesAnsweredOnceWithTheirChecksumAndLayout)
{
  Request({0x01, 0xC9});
  // The checksum is 50 XOR every byte from 6E; past the end of the reply FF.
  EXPECT_EQ(Reply(12), (Bytes{0x6E, 0x88, 0x02, 0x00, 0xC9, 0x00, 0x00, 0x02, 0x01, 0x05,
                              0x50 ^ 0x6E ^ 0x88 ^ 0x02 ^ 0xC9 ^ 0x02 ^ 0x01 ^ 0x05, 0xFF}));
  EXPECT_EQ(Reply(3), kNullMessage);
  Request({0x01, 0x10});
  EXPECT_EQ(Reply(11), (Bytes{0x6E, 0x88, 0x02, 0x01, 0x10, 0, 0, 0, 0, 0, 0x50 ^ 0x6E ^ 0x88 ^ 0x02 ^ 0x01 ^ 0x10}))
      << "an unsupported VCP code";
  Request({0x01, 0xC9}, 0x01);
  EXPECT_EQ(Reply(3), kNullMessage) << "a request with a bad checksum is not answered";

  Request({0x01, 0xF2});
  const Bytes information = Reply(56);
  EXPECT_EQ(Bytes(information.begin(), information.begin() + 5), (Bytes{0x6E, 0x80 | 53, 0x02, 0x00, 0xF2}));
  EXPECT_EQ(Text13(information, 17), "PD16 Pro     ");
  EXPECT_EQ(Text13(information, 30), "abc123       ");
  EXPECT_EQ(Xor(information, 0x50), 0);

  // Base block and extension each sum to 0; the model and serial descriptors end in 0A, space padded.
  const Bytes& edid = mDisplay->Edid();
  ASSERT_EQ(edid.size(), 256u);
  EXPECT_EQ(std::accumulate(edid.begin(), edid.begin() + 128, uint8_t{0}), 0);
  EXPECT_EQ(std::accumulate(edid.begin() + 128, edid.end(), uint8_t{0}), 0);
  EXPECT_EQ(Text13(edid, 95), "PD16 Pro\n    ");
  EXPECT_EQ(Text13(edid, 113), "abc123\n      ");

  EXPECT_EQ(CSimDdcDisplay::Create({.serial = "ABCDEFGHIJKLMN"}, mError), nullptr) << "too long for a descriptor";
  EXPECT_NE(mError, "");
}

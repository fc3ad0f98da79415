#include <gtest/gtest.h>

#include <algorithm>

#include "common/fwupdater/cintelhex.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

// One record with its CR LF; checksumFlip_I spoils the checksum.
std::string Record(uint8_t type_I, uint16_t address_I, const std::vector<uint8_t>& fields_I, uint8_t checksumFlip_I = 0)
{
  std::vector<uint8_t> bytes{static_cast<uint8_t>(fields_I.size()), static_cast<uint8_t>(address_I >> 8),
                             static_cast<uint8_t>(address_I), type_I};
  bytes.insert(bytes.end(), fields_I.begin(), fields_I.end());
  unsigned sum = 0;
  for (uint8_t byte : bytes) sum += byte;
  bytes.push_back(static_cast<uint8_t>((0x100 - sum % 0x100) ^ checksumFlip_I));
  std::string text = ":";
  char pair[3];
  for (uint8_t byte : bytes) text += (std::snprintf(pair, sizeof(pair), "%02X", byte), pair);
  return text + "\r\n";
}

std::string Data(uint16_t address_I, size_t length_I = 16) { return Record(0, address_I, std::vector<uint8_t>(length_I, 0x5A)); }
std::string Linear(uint8_t value_I) { return Record(4, 0, {0, value_I}); }
const std::string kEnd = Record(1, 0, {});

}  // namespace

TEST(CIntelHex, OneRecordFillsAPageWithFFAndFailedLoadsKeepIt)
{
  test::CScratchDir dir;
  std::vector<uint8_t> bytes(16);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x80 + i);
  CIntelHex hex;
  ASSERT_TRUE(hex.Load(dir.Write("fw.hex", Record(0, 0x8000, bytes) + kEnd)));
  EXPECT_EQ(hex.GetStartAddress(), 0x8000);
  ASSERT_EQ(hex.GetLength(), 512u);
  EXPECT_EQ(std::vector<uint8_t>(hex.GetImage(), hex.GetImage() + 16), bytes);
  EXPECT_EQ(std::count(hex.GetImage() + 16, hex.GetImage() + 512, 0xFF), 496);
  EXPECT_EQ(hex.GetChecksum(), 0xF688u);  // -128 ... -113, then 496 times -1
  for (const std::string& bad : {Data(0x8040, 4), Data(0x8000) + Data(0x8200) + "\n"}) {
    EXPECT_FALSE(hex.Load(dir.Write("bad.hex", bad)));
    EXPECT_EQ(hex.GetStartAddress(), 0x8000);
    EXPECT_EQ(hex.GetLength(), 512u);
    EXPECT_EQ(hex.GetChecksum(), 0xF688u);
    EXPECT_EQ(hex.GetImage()[0], 0x80);
  }
}

TEST(CIntelHex, LengthOrFailureOfEachFile)
{
  std::vector<std::pair<std::string, uint32_t>> cases{
      {Data(0x8000) + "\r\n" + kEnd, 512},
      {Data(0x8010) + Data(0x8000), 0},
      {Linear(1) + Data(0x8000) + kEnd, 0},
      {Record(2, 0, {0x08, 0x00}) + Data(0x0000), 512},
      {Data(0x8000) + Linear(3) + Data(0x3E00, 1), 0x2C000},
      {Data(0x8000) + Linear(3) + Data(0x4000, 1), 0},
      {Data(0x8000) + kEnd + Data(0x8200), 0x400},
      {Data(0x8000) + Data(0x7FF0), 0},
      {kEnd, 0},
      {":10800000\r\n", 0},
      {Record(6, 0, {}) + Data(0x8000), 0},
      {Data(0x8000).replace(1, 2, " 1"), 0},
      {Data(0x8000).insert(43, "00"), 0},
      {Data(0x8000) + kEnd + " ", 0},
      {Data(0x8000) + ":00000001FF\n", 0},
      {Data(0x8000) + std::string(1, '\0') + "\r\n", 0}};
  // A record of every type, first with its checksum intact and then with one bit of it wrong.
  const std::vector<std::vector<uint8_t>> fields{std::vector<uint8_t>(16, 0x5A), {}, {0, 0}, {1, 2, 3, 4}, {0, 0},
                                                 {1, 2, 3, 4}};
  for (uint8_t type = 0; type < fields.size(); ++type) {
    for (uint8_t flip : {0x00, 0x01, 0x10, 0x80}) {
      const std::string record = Record(type, type == 0 ? 0x8100 : 0, fields[type], flip);
      cases.emplace_back(Data(0x8000) + record + Data(0x8010), flip == 0 ? 512 : 0);
    }
  }
  test::CScratchDir dir;
  for (const auto& [text, length] : cases) {
    CIntelHex hex;
    EXPECT_EQ(hex.Load(dir.Write("fw.hex", text)), length != 0) << text;
    EXPECT_EQ(hex.GetLength(), length) << text;
  }
}

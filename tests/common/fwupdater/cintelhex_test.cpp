#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "common/fwupdater/cintelhex.h"
#include "tests/testsupport/firmwaretext.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

using test::IntelHexRecord;

std::string Data(uint16_t address_I, size_t length_I = 16)
{
  return IntelHexRecord(0, address_I, std::vector<uint8_t>(length_I, 0x5A));
}
std::string Linear(uint8_t value_I) { return IntelHexRecord(4, 0, {0, value_I}); }
const std::string kEnd = IntelHexRecord(1, 0, {});

}  // namespace

TEST(CIntelHex, OneRecordFillsAPageWithFFAndFailedLoadsKeepIt)
{
  test::CScratchDir dir;
  std::vector<uint8_t> bytes(16);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x80 + i);
  CIntelHex hex;
  ASSERT_TRUE(hex.Load(dir.Write("fw.hex", IntelHexRecord(0, 0x8000, bytes) + kEnd)));
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

// Each file either loads with its length or fails with a reason that names the line and what is wrong there.
TEST(CIntelHex, LengthOrReasonOfEachFile)
{
  // The file's text, the length it loads with (0: refused) and the start of the reason.
  std::vector<std::tuple<std::string, uint32_t, std::string>> cases{
      {Data(0x8000) + "\r\n" + kEnd, 512, ""},
      {Data(0x8010) + Data(0x8000) + kEnd, 0, "line 2: data at 0x00008000 lies below the first record's address 0x00008010"},
      {Linear(1) + Data(0x8000) + kEnd, 0, "the image starts at 0x00018000, not at 0x00008000"},
      {IntelHexRecord(2, 0, {0x08, 0x00}) + Data(0x0000) + kEnd, 512, ""},
      // Its offset wraps within the segment: the last 16 bytes belong at 0x8000, not at 0x18000.
      {IntelHexRecord(2, 0, {0x08, 0x00}) + Data(0x0000) + Data(0xFFF0, 32) + kEnd, 0,
       "line 3: data at offset 0xFFF0 runs past the end of segment 0x0800"},
      {Linear(0) + Data(0x8000) + Data(0xFFF0, 32) + kEnd, 0x8200, ""},
      {Data(0x8000) + Linear(3) + Data(0x3E00, 1) + kEnd, 0x2C000, ""},
      {Data(0x8000) + Linear(3) + Data(0x4000, 1) + kEnd, 0, "the image ends at 0x00034000, past 0x00033FFF"},
      // Records after an end-of-file record are still read, but the file must end with one.
      {Data(0x8000) + kEnd + Data(0x8200) + kEnd, 0x400, ""},
      {Data(0x8000) + kEnd + Data(0x8200), 0, "no end-of-file record (:00000001FF) at the end: the file is incomplete"},
      {Data(0x8000), 0, "no end-of-file record (:00000001FF) at the end"},
      {kEnd, 0, "no data records"},
      {Data(0x8000, 0) + kEnd, 0, "no data records"},
      {":10800000\r\n", 0, "line 1: the record ends early: the line end where a hexadecimal digit belongs"},
      {IntelHexRecord(6, 0, {}) + Data(0x8000) + kEnd, 0, "line 1: unknown record type 0x06"},
      {Data(0x8000).replace(1, 2, " 1") + kEnd, 0, "line 1: the record ends early: ' ' where a hexadecimal digit belongs"},
      {Data(0x8000).insert(43, "00") + kEnd, 0, "line 1: text after the checksum"},
      {Data(0x8000) + kEnd + " ", 0, "line 3: the last line has no CR LF line end"},
      {Data(0x8000) + ":00000001FF\n", 0, "line 2: CR LF line ends required"},
      {Data(0x8000) + std::string(1, '\0') + "\r\n" + kEnd, 0, "line 2: NUL byte"},
      {"", 0, "the file is empty"}};
  // A record of every type, first with its checksum intact and then with one bit of it wrong.
  const std::vector<std::vector<uint8_t>> fields{std::vector<uint8_t>(16, 0x5A), {}, {0, 0}, {1, 2, 3, 4}, {0, 0},
                                                 {1, 2, 3, 4}};
  for (uint8_t type = 0; type < fields.size(); ++type) {
    for (uint8_t flip : {0x00, 0x01, 0x10, 0x80}) {
      const std::string record = IntelHexRecord(type, type == 0 ? 0x8100 : 0, fields[type], flip);
      cases.push_back({Data(0x8000) + record + Data(0x8010) + kEnd, flip == 0 ? 512u : 0u, flip == 0 ? "" : "line 2: checksum 0x"});
    }
  }
  test::CScratchDir dir;
  for (const auto& [text, length, reason] : cases) {
    CIntelHex hex;
    EXPECT_EQ(hex.Load(dir.Write("fw.hex", text)), length != 0) << text;
    EXPECT_EQ(hex.GetLength(), length) << text;
    EXPECT_EQ(hex.GetError().rfind(reason, 0), 0u) << text << "\n" << hex.GetError();
    EXPECT_EQ(hex.GetError().find('\n'), std::string::npos);
  }
  // The reason gives the checksum found and the one the record needs.
  CIntelHex hex;
  EXPECT_FALSE(hex.Load(dir.Write("fw.hex", Data(0x8000) + IntelHexRecord(0, 0x8010, {1}, 0x01) + kEnd)));
  EXPECT_EQ(hex.GetError(), "line 2: checksum 0x6F, expected 0x6E");
}

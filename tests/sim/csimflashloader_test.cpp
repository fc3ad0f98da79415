#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "sim/csimhidboard.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

// Four 256-byte blocks from 0x1000 with word size 4; block 0 is protected.
SSimLoaderConfig FourBlocks(uint8_t protocol_I)
{
  SSimLoaderConfig config{
      .protocol = protocol_I, .readSize = 16, .blockSize = 16, .blocks = MakeSimBlocks(0x1000, 256, 4, 4)};
  config.blocks[0].attributes |= kSimProtectedBlock;
  return config;
}

Bytes Report(Bytes head_I, size_t length_I)
{
  head_I.resize(length_I, 0);
  return head_I;
}

Bytes Answer(CSimFlashLoader& loader_I, uint8_t id_I, size_t length_I)
{
  Bytes report = Report({id_I}, length_I);
  EXPECT_TRUE(loader_I.Get(report)) << std::hex << int{id_I};
  return report;
}

// The bytes with one of them replaced.
Bytes With(Bytes bytes_I, size_t at_I, uint8_t value_I)
{
  bytes_I[at_I] = value_I;
  return bytes_I;
}

uint32_t Le32(const Bytes& bytes_I, size_t at_I)
{
  return bytes_I[at_I] | bytes_I[at_I + 1] << 8 | bytes_I[at_I + 2] << 16 |
         static_cast<uint32_t>(bytes_I[at_I + 3]) << 24;
}

}  // namespace

TEST(CSimFlashLoader, ReportIdsAndLengthsFollowTheNumbering)
{
  // The numbering, set (or get), the report and whether it passes. Erase, block write, both exits (under numbering 0
  // the one without saving also padded to the saving one's length), status, streaming, ROM write: each passes only with
  // its own numbering, length and direction, inside one unprotected block of the flash.
  const std::vector<std::tuple<uint8_t, bool, Bytes, bool>> cases{
      {0, true, {0x12, 0x03, 0x00, 0x00, 0x00}, true},  {1, true, {0xD3, 0x03, 0x00, 0x00, 0x00}, true},
      {0, true, {0xD3, 0x03, 0x00, 0x00, 0x00}, false}, {1, true, {0x12, 0x03, 0x00, 0x00, 0x00}, false},
      {0, true, {0x12, 0x03, 0x00, 0x00}, false},       {0, true, {0x12, 0x00, 0x00, 0x00, 0x00}, false},
      {0, true, {0x12, 0x04, 0x00, 0x00, 0x00}, false}, {1, true, Report({0xD2, 0x00, 0x11}, 21), true},
      {0, true, Report({0x11, 0x00, 0x11}, 20), false}, {0, true, Report({0x11, 0x00, 0x10}, 21), false},
      {0, true, Report({0x11, 0xF8, 0x11}, 21), false}, {0, true, Report({0x11, 0x00, 0x0F}, 21), false},
      {0, true, Report({0x11, 0x00, 0x14}, 21), false}, {1, true, {0xCD, 0xA6, 0x50}, true},
      {1, true, {0xD6, 0xA6, 0x50}, false},             {0, true, {0x15, 0xA6, 0x50}, true},
      {0, true, {0x15, 0xA6, 0x50, 0x00, 0x00}, true},  {1, true, {0xD6, 0xA6, 0x50, 0x00, 0x00}, false},
      {0, true, {0x15, 0xA6, 0x51, 0x00, 0x00}, false},
      {1, true, {0xD6, 0x01, 0x00, 0x00, 0x00}, true},  {1, false, {0x1F, 0x00}, true},
      {0, false, {0x12, 0x03, 0x00, 0x00, 0x00}, false}, {0, true, Report({0xE4, 0x00, 0x01}, 512), false},
      {1, true, {0xDE, 0x01, 0x00, 0x00, 0x00}, false},  // the ROM write carries zeros
      {1, true, {0xDB, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}, false},  // a checksum for a block past the last
  };
  for (const auto& [protocol, set, request, ok] : cases) {
    CSimFlashLoader loader(FourBlocks(protocol));
    Bytes report = request;
    EXPECT_EQ(set ? loader.Set(report) : loader.Get(report), ok) << ::testing::PrintToString(request);
  }
}

TEST(CSimFlashLoader, WritesAndIntoTheFlashLikeNor)
{
  CSimFlashLoader loader(FourBlocks(0));
  ASSERT_TRUE(loader.Set(Report({0x11, 0x00, 0x11, 0x00, 0x00, 0xF0, 0x0F}, 21)));
  ASSERT_TRUE(loader.Set(Report({0x11, 0x00, 0x11, 0x00, 0x00, 0x3C, 0x3C}, 21)));
  EXPECT_EQ(loader.FlashBytes(0x1100, 3), (Bytes{0x30, 0x0C, 0x00}));
  ASSERT_TRUE(loader.Set({0x12, 0x01, 0x00, 0x00, 0x00}) && loader.Set({0x16, 0x04, 0x11, 0x00, 0x00, 1, 2, 3, 4}));
  EXPECT_EQ(loader.FlashBytes(0x1100, 9), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 0xFF}));
}

TEST(CSimFlashLoader, ChecksumCycleSealsTheRomOnlyWhenEveryBlockMatches)
{
  const Bytes writeRom{0xDE, 0x00, 0x00, 0x00, 0x00};
  CSimFlashLoader loader(FourBlocks(1));
  EXPECT_EQ(loader.RomMagic(), kSimValidMagic);
  // The host invalidates the magic word and every checksum, stores them, then programs block 2 (words of 1).
  ASSERT_TRUE(loader.Set({0xDD, 0x00, 0x00, 0x00, 0x00}));
  for (uint8_t block = 0; block < 4; ++block) ASSERT_TRUE(loader.Set({0xDB, block, 0x00, 0x00, 0x00, 0x00, 0x00}));
  ASSERT_TRUE(loader.Set(writeRom));
  EXPECT_EQ(loader.RomChecksums(), std::vector<uint32_t>(4, 0));
  Bytes write = Report({0xD2, 0x00, 0x12, 0x00, 0x00}, 21);
  for (size_t word = 0; word < 4; ++word) write[5 + 4 * word] = 1;
  ASSERT_TRUE(loader.Set(write) && loader.Set({0xDC, 0x02, 0x00}));
  const Bytes info = Answer(loader, 0xDA, 21);
  EXPECT_EQ(Le32(info, 1), 0u);            // the working magic word
  EXPECT_EQ(Le32(info, 13), 0xFFFFFFC8u);  // block 2: four words of 1, sixty of 0xFFFFFFFF
  // Interrupted here: the other blocks still hold checksum 0.
  ASSERT_TRUE(loader.Set(writeRom));
  EXPECT_EQ(loader.RomMagic(), 0u);
  for (uint8_t block : {0, 1, 3}) ASSERT_TRUE(loader.Set({0xDC, block, 0x00}));
  ASSERT_TRUE(loader.Set(writeRom));
  EXPECT_EQ(loader.RomMagic(), kSimValidMagic);
  EXPECT_EQ(loader.RomChecksums(), (std::vector<uint32_t>{0xFFFFFFC0, 0xFFFFFFC0, 0xFFFFFFC8, 0xFFFFFFC0}));
  EXPECT_EQ(Le32(Answer(loader, 0xDA, 21), 1), kSimValidMagic);
  // A loader that miscomputes a checksum never seals the ROM again.
  loader.SetCorruptChecksumBlock(2);
  ASSERT_TRUE(loader.Set({0xDD, 0x00, 0x00, 0x00, 0x00}) && loader.Set({0xDC, 0x02, 0x00}) && loader.Set(writeRom));
  EXPECT_EQ(loader.RomMagic(), 0u);
}

TEST(CSimConfig, RefusesWhatTheReportsCannotCarry)
{
  std::vector<SSimLoaderConfig> bad(3, FourBlocks(1));
  bad[0].protocol = 2;
  bad[1].blocks = MakeSimBlocks(0, 16, 6554, 4);
  bad[2].blocks = {{0xFFFFFF00, 0x200, 4}};
  for (const SSimLoaderConfig& config : bad) EXPECT_FALSE(CSimFlashLoader::CheckConfig(config).empty());
  EXPECT_EQ(CSimFlashLoader::CheckConfig(FourBlocks(1)), "");
  SSimHidBoardConfig board;
  board.normal.path = "\\\\?\\HID#1";
  std::string error;
  EXPECT_FALSE(CSimHidBoard::Create(board, error));
  EXPECT_EQ(error, "a board that re-enumerates needs a loader path");
}

namespace {

// A loader that takes streamed images anywhere in 0x0000..0x3FFFF except its protected block at 0x20000.
SSimLoaderConfig StreamConfig()
{
  return {.protocol = 1, .blocks = {{0x20000, 0x1000, kSimProtectedBlock}}, .memorySize = 0x40000};
}

class CSimStreamTest : public ::testing::Test {
 protected:
  // Sends a request, then waits until the loader is ready again.
  bool Send(const Bytes& request_I)
  {
    if (!mLoader.Set(request_I)) return false;
    EXPECT_EQ(Answer(mLoader, 0xE4, 512)[3], 1);
    mClock.Advance(20);
    return Answer(mLoader, 0xE4, 512)[3] == 0;
  }

  static Bytes IntelHex(uint8_t sequence_I, uint32_t address_I, uint8_t fill_I)
  {
    Bytes request = Report({0xE4, 0x00, 0x02, 0x01, sequence_I}, 512);
    for (size_t i = 0; i < 4; ++i) request[5 + i] = static_cast<uint8_t>(address_I >> 8 * i);
    request[9] = 0x10;
    std::fill(request.begin() + 10, request.begin() + 138, fill_I);
    return request;
  }

  static Bytes Airoha(uint32_t address_I, uint8_t fill_I)
  {
    Bytes request = Report({0xE4, 0x01, 0x02, 0x02, 0x00, 0x0F, 0x06, 0x01, 0x08, 0x01}, 512);
    for (size_t i = 0; i < 3; ++i) request[10 + i] = static_cast<uint8_t>(address_I >> (16 - 8 * i));
    std::fill(request.begin() + 14, request.begin() + 270, fill_I);
    request[13] = SimAirohaCrc(&request[14], 256);
    return request;
  }

  test::CInstalledVirtualClock mClock;
  CSimFlashLoader mLoader{StreamConfig()};
};

const Bytes kIntelHexStart = Report({0xE4, 0x00, 0x01}, 512);
const Bytes kAirohaStart = Report({0xE4, 0x01, 0x01}, 512);

}  // namespace

TEST_F(CSimStreamTest, ABadPacketFailsAndEndsTheRun)
{
  ASSERT_TRUE(mLoader.Set(kIntelHexStart));
  EXPECT_FALSE(mLoader.Set(IntelHex(1, 0x8000, 0)));  // still busy
  mClock.Advance(20);
  const Bytes hex = IntelHex(2, 0x8080, 0);
  // Repeated sequence number, skipped and repeated address, byte 9, target, a write into the protected block.
  const std::vector<Bytes> bad{IntelHex(1, 0x8080, 0), IntelHex(2, 0x8100, 0), IntelHex(2, 0x8000, 0),
                               With(hex, 9, 0x11),     With(hex, 1, 1),        IntelHex(2, 0x1FFC0, 0)};
  for (const Bytes& packet : bad) {
    ASSERT_TRUE(Send(kIntelHexStart) && Send(IntelHex(1, packet == bad.back() ? 0x1FF40 : 0x8000, 0)));
    EXPECT_FALSE(mLoader.Set(packet));
    EXPECT_FALSE(mLoader.Set(hex) || mLoader.Set(Report({0xE4, 0x00, 0x03}, 512)));  // nothing until the next start
  }
  const Bytes airoha = Airoha(0x8000, 0);
  for (const Bytes& packet : {With(airoha, 13, airoha[13] ^ 1), With(airoha, 6, 0x07)}) {
    ASSERT_TRUE(Send(kAirohaStart));
    EXPECT_FALSE(mLoader.Set(packet) || mLoader.Set(airoha));
  }
}

// The loader's CRC is the host's: a mismatch fails every Airoha run of the host's tests.
TEST_F(CSimStreamTest, AirohaFramesAreWrittenAndAStuckLoaderStaysBusy)
{
  ASSERT_TRUE(Send(kAirohaStart) && Send(Airoha(0x8000, 0x5A)));
  EXPECT_EQ(mLoader.FlashBytes(0x8000, 256), Bytes(256, 0x5A));
  // The answer echoes the target, so an end request that keeps byte 1 names the Airoha run.
  EXPECT_EQ(Answer(mLoader, 0xE4, 512)[1], 1);
  mLoader.SetStuckBusy(true);
  ASSERT_TRUE(mLoader.Set(Report({0xE4, 0x01, 0x03}, 512)));
  mClock.Advance(100000);
  EXPECT_EQ(Answer(mLoader, 0xE4, 512)[3], 1);
}

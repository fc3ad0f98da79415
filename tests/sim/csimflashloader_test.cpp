#include <gtest/gtest.h>

#include <string>

#include "common/cclock.h"
#include "sim/csimhidboard.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

// Four 256-byte blocks from 0x1000 with word size 4; block 0 is protected.
SSimLoaderConfig FourBlocks(uint8_t protocol_I)
{
  SSimLoaderConfig config;
  config.protocol = protocol_I;
  config.readSize = 16;
  config.blockSize = 16;
  config.blocks = MakeSimBlocks(0x1000, 256, 4, 4);
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

uint32_t Le32(const Bytes& bytes_I, size_t at_I)
{
  return bytes_I[at_I] | bytes_I[at_I + 1] << 8 | bytes_I[at_I + 2] << 16 |
         static_cast<uint32_t>(bytes_I[at_I + 3]) << 24;
}

}  // namespace

TEST(CSimFlashLoader, AirohaCrcOfTheKnownInputs)
{
  const std::string digits = "123456789";
  EXPECT_EQ(SimAirohaCrc(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x45);
  const Bytes erased(256, 0xFF);
  EXPECT_EQ(SimAirohaCrc(erased.data(), erased.size()), 0xB4);
}

TEST(CSimFlashLoader, ReportIdsAndLengthsFollowTheNumbering)
{
  struct SCase {
    uint8_t protocol;
    bool set;
    Bytes report;
    bool ok;
  };
  const std::vector<SCase> cases{
      {0, true, {0x12, 0x03, 0x00, 0x00, 0x00}, true},
      {1, true, {0xD3, 0x03, 0x00, 0x00, 0x00}, true},
      {0, true, {0xD3, 0x03, 0x00, 0x00, 0x00}, false},
      {1, true, {0x12, 0x03, 0x00, 0x00, 0x00}, false},
      {0, true, {0x12, 0x03, 0x00, 0x00}, false},
      {0, true, {0x12, 0x00, 0x00, 0x00, 0x00}, false},  // protected
      {0, true, {0x12, 0x04, 0x00, 0x00, 0x00}, false},  // no such block
      {1, true, {0xCD, 0xA6, 0x50}, true},
      {1, true, {0xD6, 0xA6, 0x50}, false},  // the short form keeps its own id
      {0, true, {0x15, 0xA6, 0x50}, true},
      {1, true, {0xD6, 0x01, 0x00, 0x00, 0x00}, true},
      {1, false, {0x1F, 0x00}, true},
      {0, false, {0x12, 0x03, 0x00, 0x00, 0x00}, false},  // a set report read back
      {0, true, Report({0xE4, 0x00, 0x01}, 512), false},
      {1, true, {0xDE, 0x01, 0x00, 0x00, 0x00}, false},  // the ROM write carries zeros
  };
  for (const SCase& test : cases) {
    CSimFlashLoader loader(FourBlocks(test.protocol));
    Bytes report = test.report;
    EXPECT_EQ(test.set ? loader.Set(report) : loader.Get(report), test.ok) << std::hex << int{report[0]};
  }
}

TEST(CSimFlashLoader, WritesAndIntoFlashOnlyInsideUnprotectedBlocks)
{
  CSimFlashLoader loader(FourBlocks(0));
  Bytes write = Report({0x11, 0x00, 0x11, 0x00, 0x00}, 21);
  std::fill(write.begin() + 5, write.end(), 0xF0);
  ASSERT_TRUE(loader.Set(write));
  EXPECT_EQ(loader.FlashBytes(0x1100, 16), Bytes(16, 0xF0));
  std::fill(write.begin() + 5, write.end(), 0x0F);
  ASSERT_TRUE(loader.Set(write));
  EXPECT_EQ(loader.FlashBytes(0x1100, 16), Bytes(16, 0x00));
  ASSERT_TRUE(loader.Set({0x12, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(loader.FlashBytes(0x1100, 16), Bytes(16, 0xFF));

  EXPECT_TRUE(loader.Set({0x16, 0x04, 0x12, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(loader.FlashBytes(0x1204, 4), (Bytes{0x12, 0x34, 0x56, 0x78}));
  for (uint32_t address : {0x1000u, 0x11F8u, 0x0F00u, 0x1400u}) {
    write[1] = static_cast<uint8_t>(address);
    write[2] = static_cast<uint8_t>(address >> 8);
    EXPECT_FALSE(loader.Set(write)) << std::hex << address;
  }
}

TEST(CSimFlashLoader, ChecksumCycleSealsTheRomOnlyWhenEveryBlockMatches)
{
  CSimFlashLoader loader(FourBlocks(1));
  EXPECT_EQ(loader.RomMagic(), kSimValidMagic);
  // The host invalidates the magic word and every checksum, then stores them.
  ASSERT_TRUE(loader.Set({0xDD, 0x00, 0x00, 0x00, 0x00}));
  for (uint8_t block = 0; block < 4; ++block) ASSERT_TRUE(loader.Set({0xDB, block, 0x00, 0x00, 0x00, 0x00, 0x00}));
  ASSERT_TRUE(loader.Set({0xDE, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(loader.RomMagic(), 0u);
  EXPECT_EQ(loader.RomChecksums(), std::vector<uint32_t>(4, 0));

  ASSERT_TRUE(loader.Set({0xD3, 0x02, 0x00, 0x00, 0x00}));
  Bytes write = Report({0xD2, 0x00, 0x12, 0x00, 0x00}, 21);
  for (size_t word = 0; word < 4; ++word) write[5 + 4 * word] = 1;
  ASSERT_TRUE(loader.Set(write));
  ASSERT_TRUE(loader.Set({0xDC, 0x02, 0x00}));
  Bytes info = Answer(loader, 0xDA, 4 * 4 + 5);
  EXPECT_EQ(Le32(info, 1), 0u);
  EXPECT_EQ(Le32(info, 5 + 4 * 2), 0xFFFFFFC8u);  // four words of 1, sixty of 0xFFFFFFFF

  // Interrupted here: the other blocks still hold checksum 0.
  ASSERT_TRUE(loader.Set({0xDE, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(loader.RomMagic(), 0u);

  for (uint8_t block : {0, 1, 3}) ASSERT_TRUE(loader.Set({0xDC, block, 0x00}));
  ASSERT_TRUE(loader.Set({0xDE, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(loader.RomMagic(), kSimValidMagic);
  EXPECT_EQ(loader.RomChecksums(), (std::vector<uint32_t>{0xFFFFFFC0, 0xFFFFFFC0, 0xFFFFFFC8, 0xFFFFFFC0}));
  EXPECT_EQ(Le32(Answer(loader, 0xDA, 21), 1), kSimValidMagic);


  // A loader that miscomputes a checksum never seals the ROM again.
  loader.SetCorruptChecksumBlock(2);
  ASSERT_TRUE(loader.Set({0xDD, 0x00, 0x00, 0x00, 0x00}));
  ASSERT_TRUE(loader.Set({0xDC, 0x02, 0x00}));
  ASSERT_TRUE(loader.Set({0xDE, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(loader.RomMagic(), 0u);
}

TEST(CSimFlashLoader, WithoutChecksumSupportTheChecksumReportsFail)
{
  SSimLoaderConfig config = FourBlocks(0);
  config.checksumSupported = false;
  CSimFlashLoader loader(config);
  Bytes info = Report({0x19}, 21);
  EXPECT_FALSE(loader.Get(info));
  EXPECT_FALSE(loader.Set({0x1A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}) || loader.Set({0x1B, 0x00, 0x00}) ||
               loader.Set({0x1C, 0x00, 0x00, 0x00, 0x00}) || loader.Set({0x1D, 0x00, 0x00, 0x00, 0x00}));
}

TEST(CSimFlashLoader, DescribesMoreThan1024BlocksAndWordSizeZero)
{
  SSimLoaderConfig config;
  config.blocks = MakeSimBlocks(0, 16, 1100, 0);
  CSimFlashLoader loader(config);
  const Bytes parameters = Answer(loader, 0x17, 13);
  EXPECT_EQ((Bytes{parameters[3], parameters[9], parameters[10]}), (Bytes{64, 0x4C, 0x04}));
  const Bytes description = Answer(loader, 0x18, 11001);
  EXPECT_EQ(Bytes(description.begin() + 10991, description.end()), (Bytes{0xB0, 0x44, 0, 0, 0x10, 0, 0, 0, 0, 0}));
}

TEST(CSimConfig, RefusesWhatTheReportsCannotCarry)
{
  std::vector<SSimLoaderConfig> bad(3);
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

// A loader that takes streamed images anywhere in 0x0000..0x3FFFF, with its clock.
class CSimStreamTest : public ::testing::Test {
 protected:
  CSimStreamTest() : mScoped(mClock), mLoader(StreamConfig()) {}

  static SSimLoaderConfig StreamConfig()
  {
    SSimLoaderConfig config;
    config.protocol = 1;
    config.memorySize = 0x40000;
    config.blocks = {{0x20000, 0x1000, kSimProtectedBlock}};
    return config;
  }

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
    Bytes request = Report({0xE4, 0x00, 0x02, 0x01, sequence_I, static_cast<uint8_t>(address_I),
                            static_cast<uint8_t>(address_I >> 8), static_cast<uint8_t>(address_I >> 16),
                            static_cast<uint8_t>(address_I >> 24), 0x10},
                           512);
    std::fill(request.begin() + 10, request.begin() + 138, fill_I);
    return request;
  }

  static Bytes Airoha(uint32_t address_I, uint8_t fill_I)
  {
    Bytes request = Report({0xE4, 0x01, 0x02, 0x02, 0x00, 0x0F, 0x06, 0x01, 0x08, 0x01,
                            static_cast<uint8_t>(address_I >> 16), static_cast<uint8_t>(address_I >> 8),
                            static_cast<uint8_t>(address_I)},
                           512);
    std::fill(request.begin() + 14, request.begin() + 270, fill_I);
    request[13] = SimAirohaCrc(&request[14], 256);
    return request;
  }

  CVirtualClock mClock;
  CScopedClock mScoped;
  CSimFlashLoader mLoader;
};

const Bytes kIntelHexStart = Report({0xE4, 0x00, 0x01}, 512);
const Bytes kAirohaStart = Report({0xE4, 0x01, 0x01}, 512);

}  // namespace

TEST_F(CSimStreamTest, IntelHexSequenceWrapsAndAddressesStepBy128)
{
  ASSERT_TRUE(mLoader.Set(kIntelHexStart));
  EXPECT_FALSE(mLoader.Set(IntelHex(1, 0x8000, 0)));  // still busy
  mClock.Advance(20);
  for (uint32_t packet = 0; packet < 257; ++packet) {
    ASSERT_TRUE(Send(IntelHex(static_cast<uint8_t>(packet + 1), 0x8000 + 128 * packet, static_cast<uint8_t>(packet))))
        << packet;
  }
  EXPECT_EQ(mLoader.FlashBytes(0x8000 + 255 * 128, 128), Bytes(128, 255));
  EXPECT_TRUE(Send(Report({0xE4, 0x00, 0x03}, 512)));
  EXPECT_FALSE(mLoader.Set(IntelHex(2, 0x8000 + 257 * 128, 0)));
}

TEST_F(CSimStreamTest, BadPacketEndsTheRun)
{
  Bytes badMarker = IntelHex(2, 0x8080, 0);
  badMarker[9] = 0x11;
  Bytes badTarget = IntelHex(2, 0x8080, 0);
  badTarget[1] = 1;
  // Repeated sequence number, skipped and repeated address, byte 9, target, a write into the protected block.
  const std::vector<Bytes> bad{IntelHex(1, 0x8080, 0), IntelHex(2, 0x8100, 0), IntelHex(2, 0x8000, 0),
                               badMarker,              badTarget,              IntelHex(2, 0x1FFC0, 0)};
  for (const Bytes& packet : bad) {
    ASSERT_TRUE(Send(kIntelHexStart));
    ASSERT_TRUE(Send(IntelHex(1, packet == bad.back() ? 0x1FF40 : 0x8000, 0)));
    EXPECT_FALSE(mLoader.Set(packet));
    EXPECT_FALSE(mLoader.Set(IntelHex(2, 0x8080, 0)));  // nothing goes on until the next start
    EXPECT_FALSE(mLoader.Set(Report({0xE4, 0x00, 0x03}, 512)));
  }
}

TEST_F(CSimStreamTest, AirohaFramesAreCheckedAndWritten)
{
  ASSERT_TRUE(Send(kAirohaStart));
  ASSERT_TRUE(Send(Airoha(0x8000, 0x5A)));
  EXPECT_EQ(mLoader.FlashBytes(0x8000, 256), Bytes(256, 0x5A));
  // The answer echoes the target, so an end request that keeps byte 1 names the Airoha run.
  EXPECT_EQ(Answer(mLoader, 0xE4, 512)[1], 1);

  Bytes badCrc = Airoha(0x8100, 0);
  badCrc[13] ^= 1;
  Bytes badHead = Airoha(0x8100, 0);
  badHead[6] = 0x07;
  for (const Bytes& packet : {badCrc, badHead}) {
    ASSERT_TRUE(Send(kAirohaStart));
    EXPECT_FALSE(mLoader.Set(packet));
  }
  ASSERT_TRUE(Send(kAirohaStart));
  mLoader.SetStuckBusy(true);
  ASSERT_TRUE(mLoader.Set(Report({0xE4, 0x01, 0x03}, 512)));
  mClock.Advance(100000);
  EXPECT_EQ(Answer(mLoader, 0xE4, 512)[3], 1);
}

#include <gtest/gtest.h>

#include "common/fwupdater/cbinaryairoflash.h"
#include "common/fwupdater/cintelhex.h"
#include "tests/testsupport/firmwaretext.h"
#include "tests/testsupport/hidloaderbench.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::test;

namespace {

// A streaming loader (protocol 1) whose memory covers everything an Intel HEX or Airoha image can reach.
sim::SSimLoaderConfig StreamingLoader()
{
  sim::SSimLoaderConfig config;
  config.protocol = 1;
  config.blocks = sim::MakeSimBlocks(0x8000, 4096, 4, 4);
  config.memoryBase = 0;
  config.memorySize = 0x40000;
  return config;
}

std::shared_ptr<CIntelHex> IntelHex(const std::vector<uint8_t>& data_I)
{
  CScratchDir dir;
  auto hex = std::make_shared<CIntelHex>();
  EXPECT_TRUE(hex->Load(dir.Write("touch.hex", IntelHexText(0x8000, data_I))));
  return hex;
}

std::shared_ptr<CBinaryAiroFlash> Airoha(const std::vector<uint8_t>& data_I)
{
  CScratchDir dir;
  auto image = std::make_shared<CBinaryAiroFlash>();
  EXPECT_TRUE(image->Load(dir.Write("bt.airoflash", data_I)));
  return image;
}

bool ProgramHex(SHidLoaderBench& bench_I, const std::shared_ptr<CIntelHex>& hex_I)
{
  bench_I.loader->SetIntelHexData(hex_I);
  bench_I.loader->SetDataSourceFormat(EDATASOURCE_HEX);
  return bench_I.loader->ProgramBoard();
}

bool ProgramAiroha(SHidLoaderBench& bench_I, const std::shared_ptr<CBinaryAiroFlash>& image_I)
{
  bench_I.loader->SetAiroFlashData(image_I);
  bench_I.loader->SetDataSourceFormat(EDATASOURCE_AIROFLASH);
  return bench_I.loader->ProgramBoard();
}

}  // namespace

TEST(StreamProgramming, AirohaCrcMatchesTheKnownValues)
{
  const std::string digits = "123456789";
  EXPECT_EQ(AirohaCrc(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x45);
  const std::vector<uint8_t> erased(256, 0xFF);
  EXPECT_EQ(AirohaCrc(erased.data(), erased.size()), 0xB4);
}

TEST(StreamProgramming, IntelHexImageLandsByteForByteWithAndWithoutRouter)
{
  for (const uint16_t usagePage : {uint16_t{0xFF0D}, uint16_t{0xFF00}}) {
    SHidLoaderBench bench(StreamingLoader(), usagePage);
    const std::vector<uint8_t> data = PatternBytes(11, 40000);  // 79 pages of 512 bytes, 316 packets
    const std::shared_ptr<CIntelHex> hex = IntelHex(data);
    ASSERT_TRUE(ProgramHex(bench, hex));
    EXPECT_EQ(bench.board->FlashBytes(0x8000, hex->GetLength()),
              std::vector<uint8_t>(hex->GetImage(), hex->GetImage() + hex->GetLength()));
    EXPECT_EQ(bench.notifier.CountInfo("ProgramBoardIntelHex done!"), 1u);
    ASSERT_FALSE(bench.notifier.mProgress.empty());
    EXPECT_EQ(bench.notifier.mProgress.back(), 100);
    EXPECT_TRUE(bench.notifier.mErrors.empty());
  }
}

TEST(StreamProgramming, AFullSizeIntelHexRunTakesAbout142VirtualSeconds)
{
  SHidLoaderBench bench(StreamingLoader());
  const std::vector<uint8_t> data = PatternBytes(12, 0x2C000);
  const std::shared_ptr<CIntelHex> hex = IntelHex(data);
  ASSERT_EQ(hex->GetLength(), 0x2C000u);
  const uint64_t start = bench.clock.NowMs();
  ASSERT_TRUE(ProgramHex(bench, hex));
  const uint64_t elapsed = bench.clock.NowMs() - start;
  // 1408 packets, each a 100 ms poll and a 1 ms pause, and the polls after start and end.
  EXPECT_EQ(elapsed, 1408u * 101 + 200);
  EXPECT_EQ(bench.board->FlashBytes(0x8000, 0x2C000), data);
  EXPECT_EQ(bench.notifier.CountInfo("ProgramBoardIntelHex:  #bytes programmed: 180224"), 1u);
}

TEST(StreamProgramming, IntelHexFailuresEndWithTheirMessages)
{
  {
    SHidLoaderBench bench(StreamingLoader());
    bench.board->SetStuckBusy(true);
    bench.clock.ClearPauses();
    EXPECT_FALSE(ProgramHex(bench, IntelHex(PatternBytes(1, 512))));
    EXPECT_TRUE(bench.notifier.HasError("ProgramBoardIntelHex: Cannot Start Programming - device is busy."));
    EXPECT_EQ(bench.clock.Pauses(), std::vector<uint32_t>(101, 100));
  }
  {
    SHidLoaderBench bench(StreamingLoader());
    bench.board->DropOffBusAfter(bench.board->TransferCount());
    EXPECT_FALSE(ProgramHex(bench, IntelHex(PatternBytes(1, 512))));
    EXPECT_TRUE(bench.notifier.HasError("ProgramBoardIntelHex: Programming error happens - device not responding"));
  }
  {
    SHidLoaderBench bench(StreamingLoader());
    bench.loader->SetDataSourceFormat(EDATASOURCE_HEX);
    EXPECT_FALSE(bench.loader->ProgramBoard());
    EXPECT_TRUE(bench.notifier.HasError("ProgramBoardIntelHex: No IntelHexData"));
  }
}

TEST(StreamProgramming, AirohaSkipsTheWindowFrom0x3000To0x7FFF)
{
  SHidLoaderBench bench(StreamingLoader());
  const std::vector<uint8_t> data = PatternBytes(13, 0x9000);
  ASSERT_TRUE(ProgramAiroha(bench, Airoha(data)));
  EXPECT_EQ(bench.board->FlashBytes(0, 0x3000), std::vector<uint8_t>(data.begin(), data.begin() + 0x3000));
  EXPECT_EQ(bench.board->FlashBytes(0x3000, 0x5000), std::vector<uint8_t>(0x5000, 0xFF));
  EXPECT_EQ(bench.board->FlashBytes(0x8000, 0x1000), std::vector<uint8_t>(data.begin() + 0x8000, data.end()));
  size_t packets = 0;
  for (const sim::SSimTransfer& transfer : bench.board->Trace()) {
    packets += transfer.set && transfer.bytes[0] == 0xE4 && transfer.bytes[2] == 2;
  }
  EXPECT_EQ(packets, 64u);
  ASSERT_FALSE(bench.notifier.mProgress.empty());
  EXPECT_EQ(bench.notifier.mProgress.back(), 44);
}

TEST(StreamProgramming, AShortLastAirohaChunkIsPaddedWithFF)
{
  SHidLoaderBench bench(StreamingLoader(), 0xFF00);
  const std::vector<uint8_t> data = PatternBytes(14, 300);
  ASSERT_TRUE(ProgramAiroha(bench, Airoha(data)));
  EXPECT_EQ(bench.board->FlashBytes(0, 300), data);
  EXPECT_EQ(bench.board->FlashBytes(300, 212), std::vector<uint8_t>(212, 0xFF));
  EXPECT_EQ(bench.notifier.mProgress, (std::vector<int32_t>{85, 100}));
}

TEST(StreamProgramming, WrongFormatsAreRefused)
{
  SHidLoaderBench bench(StreamingLoader());
  bench.loader->SetDataSourceFormat(EDATASOURCE_ORV);
  EXPECT_FALSE(bench.loader->ProgramBoardIntelHex());
  EXPECT_FALSE(bench.loader->ProgramBoardAiroHaBinary());
  EXPECT_TRUE(bench.notifier.HasError("ProgramBoardIntelHex: Datasource not correct"));
  EXPECT_TRUE(bench.notifier.HasError("ProgramBoardAiroHaBinary: Datasource not correct"));
}

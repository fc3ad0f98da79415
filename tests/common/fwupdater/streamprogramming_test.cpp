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

TEST(StreamProgramming, IntelHexPacketsCarryTheirSequenceAddressAndTarget)
{
  SHidLoaderBench bench(StreamingLoader());
  // Every busy answer names the Airoha target in byte 1: the packets still name Intel HEX.
  bench.board->CorruptAnswers(1, UINT64_MAX / 2, [](std::vector<uint8_t>& answer_IO) {
    if (answer_IO.size() > 1 && answer_IO[0] == 0xE4) answer_IO[1] = 1;
  });
  const std::vector<uint8_t> data = PatternBytes(11, 40000);
  const std::shared_ptr<CIntelHex> hex = IntelHex(data);
  ASSERT_TRUE(ProgramHex(bench, hex)) << ::testing::PrintToString(bench.notifier.mErrors);
  size_t packet = 0;
  for (const sim::SSimTransfer& transfer : bench.board->Trace()) {
    if (!transfer.set || transfer.bytes[0] != 0xE4 || transfer.bytes[2] != 2) continue;
    const uint32_t address = 0x8000 + 128 * static_cast<uint32_t>(packet);
    ASSERT_EQ(transfer.bytes.size(), 512u);
    EXPECT_EQ(std::vector<uint8_t>(transfer.bytes.begin(), transfer.bytes.begin() + 10),
              (std::vector<uint8_t>{0xE4, 0x00, 0x02, 0x01, static_cast<uint8_t>(packet + 1), static_cast<uint8_t>(address),
                                    static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address >> 16), 0x00, 0x10}))
        << "packet " << packet;
    EXPECT_TRUE(std::equal(transfer.bytes.begin() + 10, transfer.bytes.begin() + 138, hex->GetImage() + 128 * packet));
    ++packet;
  }
  // 316 packets: the sequence runs 1 to 255, then 0, 1, ... 60.
  EXPECT_EQ(packet, 316u);
}

TEST(StreamProgramming, AirohaFramesCarryHeaderAddressAndCrc)
{
  SHidLoaderBench bench(StreamingLoader());
  const std::vector<uint8_t> data = PatternBytes(15, 600);
  ASSERT_TRUE(ProgramAiroha(bench, Airoha(data)));
  std::vector<std::vector<uint8_t>> frames;
  for (const sim::SSimTransfer& transfer : bench.board->Trace()) {
    if (transfer.set && transfer.bytes[0] == 0xE4 && transfer.bytes[2] == 2) frames.push_back(transfer.bytes);
  }
  ASSERT_EQ(frames.size(), 3u);
  for (size_t i = 0; i < frames.size(); ++i) {
    const std::vector<uint8_t>& frame = frames[i];
    const uint32_t address = 256 * static_cast<uint32_t>(i);
    EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 13),
              (std::vector<uint8_t>{0xE4, 0x01, 0x02, 0x02, 0x00, 0x0F, 0x06, 0x01, 0x08, 0x01,
                                    static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
                                    static_cast<uint8_t>(address)}));
    std::vector<uint8_t> chunk(256, 0xFF);
    std::copy_n(data.begin() + address, std::min<size_t>(256, data.size() - address), chunk.begin());
    EXPECT_EQ(frame[13], AirohaCrc(chunk.data(), chunk.size())) << "the CRC stands before the data";
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), frame.begin() + 14));
  }
}

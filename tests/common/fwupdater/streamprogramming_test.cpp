#include <gtest/gtest.h>

#include "common/fwupdater/cbinaryairoflash.h"
#include "common/fwupdater/cintelhex.h"
#include "common/fwupdater/csrec.h"
#include "tests/testsupport/firmwaretext.h"
#include "tests/testsupport/hidloaderbench.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::test;

namespace {

// A streaming loader (protocol 1) whose memory covers everything an Intel HEX or Airoha image can reach.
sim::SSimLoaderConfig StreamingLoader()
{
  return {.protocol = 1, .blocks = sim::MakeSimBlocks(0x8000, 4096, 4, 4), .memoryBase = 0, .memorySize = 0x40000};
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

// Through the router a report travels after the router's 3-byte header.
size_t ReportOffset(uint16_t usagePage_I) { return usagePage_I == 0xFF00 ? 3 : 0; }

// Busy answers that name the other target in byte 1 and, through the router (where the report id is the
// router's own), another report in byte 0: the packets that follow must still say their own.
void AnswerWithAnotherReportAndTarget(SHidLoaderBench& bench_I, size_t at_I, uint8_t target_I)
{
  bench_I.board->CorruptAnswers(1, UINT64_MAX / 2, [at_I, target_I](std::vector<uint8_t>& answer_IO) {
    if (answer_IO.size() <= at_I + 1 || answer_IO[at_I] != 0xE4) return;
    answer_IO[at_I + 1] = target_I;
    if (at_I > 0) answer_IO[at_I] = 0xD3;
  });
}

// The programming data packets the board received, as the loader reads them.
std::vector<std::vector<uint8_t>> DataPackets(SHidLoaderBench& bench_I, size_t at_I)
{
  std::vector<std::vector<uint8_t>> packets;
  for (const sim::SSimTransfer& transfer : bench_I.board->Trace()) {
    const std::vector<uint8_t>& wire = transfer.bytes;
    if (!transfer.set || wire.size() < at_I + 3 || wire[at_I] != 0xE4 || wire[at_I + 2] != 2) continue;
    const size_t length = at_I == 0 ? wire.size() : static_cast<size_t>(wire[1] << 8 | wire[2]);
    packets.emplace_back(wire.begin() + static_cast<long>(at_I), wire.begin() + static_cast<long>(at_I + length));
  }
  return packets;
}

}  // namespace

TEST(StreamProgramming, AirohaCrcMatchesTheKnownValues)
{
  const std::string digits = "123456789";
  EXPECT_EQ(AirohaCrc(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x45);
  const std::vector<uint8_t> erased(256, 0xFF);
  EXPECT_EQ(AirohaCrc(erased.data(), erased.size()), 0xB4);
}

TEST(StreamProgramming, AFullSizeIntelHexRunTakesAbout30VirtualSeconds)
{
  SHidLoaderBench bench(StreamingLoader());
  const std::vector<uint8_t> data = PatternBytes(12, 0x2C000);
  const std::shared_ptr<CIntelHex> hex = IntelHex(data);
  ASSERT_EQ(hex->GetLength(), 0x2C000u);
  const uint64_t start = bench.clock.NowMs();
  ASSERT_TRUE(ProgramHex(bench, hex));
  const uint64_t elapsed = bench.clock.NowMs() - start;
  // 1408 packets, each the loader's 20 ms busy time and a 1 ms pause, and the busy times after start and end.
  EXPECT_GE(elapsed, 1410u * 20 + 1408);
  EXPECT_LE(elapsed, (1410u * 20 + 1408) * 11 / 10);
  EXPECT_EQ(bench.board->FlashBytes(0x8000, 0x2C000), data);
  EXPECT_EQ(bench.notifier.CountInfo("ProgramBoardIntelHex:  #bytes programmed: 180224"), 1u);
}

TEST(StreamProgramming, IntelHexFailuresEndWithTheirMessages)
{
  {
    SHidLoaderBench bench(StreamingLoader());
    bench.board->SetStuckBusy(true);
    const uint64_t start = bench.clock.NowMs();
    const uint64_t transfers = bench.board->TransferCount();
    EXPECT_FALSE(ProgramHex(bench, IntelHex(PatternBytes(1, 512))));
    EXPECT_TRUE(bench.notifier.HasError("ProgramBoardIntelHex: Cannot Start Programming - device is busy."));
    // Ten seconds of busy answers, polled no more often than the 101 polls of 100 ms once it is clearly late.
    EXPECT_EQ(bench.clock.NowMs() - start, 10100u);
    EXPECT_LT(bench.board->TransferCount() - transfers, 130u);
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
  EXPECT_EQ(bench.CountSets({0xE4, 0x01, 0x02}), 64u);
  ASSERT_FALSE(bench.notifier.mProgress.empty());
  EXPECT_EQ(bench.notifier.mProgress.back(), 44);
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
  for (const uint16_t usagePage : {uint16_t{0xFF0D}, uint16_t{0xFF00}}) {
    SHidLoaderBench bench(StreamingLoader(), usagePage);
    AnswerWithAnotherReportAndTarget(bench, ReportOffset(usagePage), 1);
    const std::shared_ptr<CIntelHex> hex = IntelHex(PatternBytes(11, 40000));
    ASSERT_TRUE(ProgramHex(bench, hex)) << ::testing::PrintToString(bench.notifier.mErrors);
    EXPECT_EQ(bench.board->FlashBytes(0x8000, hex->GetLength()),
              std::vector<uint8_t>(hex->GetImage(), hex->GetImage() + hex->GetLength()));
    EXPECT_EQ(bench.notifier.CountInfo("ProgramBoardIntelHex done!"), 1u);
    ASSERT_FALSE(bench.notifier.mProgress.empty());
    EXPECT_EQ(bench.notifier.mProgress.back(), 100);
    const std::vector<std::vector<uint8_t>> packets = DataPackets(bench, ReportOffset(usagePage));
    // 316 packets: the sequence runs 1 to 255, then 0, 1, ... 60.
    ASSERT_EQ(packets.size(), 316u) << usagePage;
    for (size_t packet = 0; packet < packets.size(); ++packet) {
      const std::vector<uint8_t>& bytes = packets[packet];
      const uint32_t address = 0x8000 + 128 * static_cast<uint32_t>(packet);
      ASSERT_EQ(bytes.size(), 512u);
      EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10),
                (std::vector<uint8_t>{0xE4, 0x00, 0x02, 0x01, static_cast<uint8_t>(packet + 1),
                                      static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                                      static_cast<uint8_t>(address >> 16), 0x00, 0x10}))
          << "packet " << packet;
      EXPECT_TRUE(std::equal(bytes.begin() + 10, bytes.begin() + 138, hex->GetImage() + 128 * packet));
    }
  }
}

TEST(StreamProgramming, AirohaFramesCarryHeaderAddressAndCrc)
{
  for (const uint16_t usagePage : {uint16_t{0xFF0D}, uint16_t{0xFF00}}) {
    SHidLoaderBench bench(StreamingLoader(), usagePage);
    AnswerWithAnotherReportAndTarget(bench, ReportOffset(usagePage), 0);
    const std::vector<uint8_t> data = PatternBytes(15, 600);
    ASSERT_TRUE(ProgramAiroha(bench, Airoha(data)));
    // The short last chunk is padded with FF, on the wire and in the flash.
    EXPECT_EQ(bench.board->FlashBytes(0, 600), data);
    EXPECT_EQ(bench.board->FlashBytes(600, 168), std::vector<uint8_t>(168, 0xFF));
    EXPECT_EQ(bench.notifier.mProgress, (std::vector<int32_t>{42, 85, 100}));
    const std::vector<std::vector<uint8_t>> frames = DataPackets(bench, ReportOffset(usagePage));
    ASSERT_EQ(frames.size(), 3u) << usagePage;
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
}

// The board took the end request but never answered a busy poll again (it reset, or hung while storing the
// image): nothing says the image is whole, so the run fails instead of reporting the board updated.
TEST(StreamProgramming, AnEndRequestThatIsNeverAcknowledgedFailsTheRun)
{
  const auto run = [](SHidLoaderBench& bench_I, bool hex_I) {
    return hex_I ? ProgramHex(bench_I, IntelHex(PatternBytes(1, 512))) : ProgramAiroha(bench_I, Airoha(PatternBytes(2, 600)));
  };
  for (const bool hex : {true, false}) {
    SHidLoaderBench reference(StreamingLoader());
    ASSERT_TRUE(run(reference, hex));
    const std::vector<sim::SSimTransfer> trace = reference.board->Trace();
    const auto end = std::find_if(trace.rbegin(), trace.rend(), [](const sim::SSimTransfer& transfer_I) {
      return transfer_I.set && transfer_I.bytes.size() > 2 && transfer_I.bytes[2] == 3;
    });
    ASSERT_NE(end, trace.rend());
    // Transfers count from 1: the end request is number trace.size() - distance, its first poll the next one.
    const uint64_t firstPoll = trace.size() - static_cast<uint64_t>(end - trace.rbegin()) + 1;
    SHidLoaderBench bench(StreamingLoader());
    bench.board->FailTransfers(firstPoll, UINT64_MAX / 2);
    EXPECT_FALSE(run(bench, hex)) << (hex ? "Intel HEX" : "Airoha");
    const std::string name = hex ? "ProgramBoardIntelHex" : "ProgramBoardAiroHaBinary";
    EXPECT_EQ(bench.notifier.CountInfo(name + ": - there was an error after programming"), 1u);
    EXPECT_EQ(bench.notifier.CountInfo(name + " done!"), 0u);
  }
}

// An Airoha frame carries a 24-bit address: the bytes of an image past 16 MiB would land at its start again,
// over the window kept from writing. Such a file is refused when it loads, before any board is touched.
TEST(StreamProgramming, AnAirohaImagePastTheFramesAddressesIsRefused)
{
  CScratchDir dir;
  std::vector<uint8_t> bytes(0x1000000 + 0x4000, 0x5A);
  CSRec file;
  EXPECT_TRUE(file.Load(dir.Write("whole.airoflash", std::vector<uint8_t>(bytes.begin(), bytes.end() - 0x4000))));
  EXPECT_FALSE(file.Load(dir.Write("long.airoflash", bytes)));
  EXPECT_EQ(file.GetError(), "the Airoha image of 16793600 bytes reaches past the 16777216 bytes its frames can address");
}

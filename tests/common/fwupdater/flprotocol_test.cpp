#include <gtest/gtest.h>

#include "tests/testsupport/hidloaderbench.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::test;

namespace {

using Bytes = std::vector<uint8_t>;

sim::SSimLoaderConfig Loader(uint8_t protocol_I, uint32_t blocks_I = 8, uint32_t blockBytes_I = 1024)
{
  sim::SSimLoaderConfig config;
  config.protocol = protocol_I;
  config.blocks = sim::MakeSimBlocks(0x8000, blockBytes_I, blocks_I, 4);
  return config;
}

}  // namespace

TEST(FLProtocol, ReportBytesUnderBothNumberings)
{
  for (const uint8_t protocol : {0, 1}) {
    SHidLoaderBench bench(Loader(protocol));
    ASSERT_TRUE(bench.loader->EraseBlock(3));
    EXPECT_EQ(bench.LastSet(), (protocol == 0 ? Bytes{0x12, 3, 0, 0, 0} : Bytes{0xD3, 3, 0, 0, 0}));
    uint8_t status = 0;
    ASSERT_TRUE(bench.loader->QueryStatus(status));
    EXPECT_EQ(bench.board->Trace().back().bytes[0], 0x1F);  // the status query keeps its id
    ASSERT_TRUE(bench.loader->ExitLoader(false));
    EXPECT_EQ(bench.LastSet(), (protocol == 0 ? Bytes{0x15, 0xA6, 0x50} : Bytes{0xCD, 0xA6, 0x50}));
  }
  SHidLoaderBench bench(Loader(1));
  ASSERT_TRUE(bench.loader->ExitLoader(true));
  EXPECT_EQ(bench.LastSet(), (Bytes{0xD6, 0x01, 0, 0, 0}));
}

TEST(FLProtocol, HidRouterWrapsEveryReport)
{
  SHidLoaderBench bench(Loader(0), 0xFF00);
  EXPECT_EQ(bench.loader->GetUsagePage(), 0xFF00);
  ASSERT_TRUE(bench.loader->EraseBlock(3));
  const Bytes wire = bench.LastSet();
  ASSERT_EQ(wire.size(), 1024u);
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 8), (Bytes{0xDC, 0x00, 0x05, 0x12, 3, 0, 0, 0}));
  EXPECT_TRUE(std::all_of(wire.begin() + 8, wire.end(), [](uint8_t b) { return b == 0; }));
  LoaderParameters parameters;
  ASSERT_TRUE(bench.loader->QueryLoaderParameters(parameters));  // the answer comes back unwrapped
  EXPECT_EQ(parameters.blocks, 8);
}

TEST(FLProtocol, ChecksumCommandsAreSkippedWithoutChecksumSupport)
{
  sim::SSimLoaderConfig config = Loader(0);
  config.checksumSupported = false;
  SHidLoaderBench bench(config);
  bench.loader->SetDataSourceFormat(EDATASOURCE_ORV);
  ASSERT_TRUE(bench.loader->InitializeDataForProgramming({}));
  EXPECT_FALSE(bench.loader->IsChecksumSupported());
  const uint64_t transfers = bench.board->TransferCount();
  EXPECT_TRUE(bench.loader->SetMagicWord(0));
  EXPECT_TRUE(bench.loader->SetBlockChecksum(1, 0));
  EXPECT_TRUE(bench.loader->CalculateBlockChecksum(1));
  EXPECT_TRUE(bench.loader->WriteChecksumsToROM());
  EXPECT_EQ(bench.board->TransferCount(), transfers);
}

TEST(FLProtocol, SelectCpuPointsAMultiCpuLoaderAtTheImagesCpu)
{
  sim::SSimLoaderConfig config = Loader(0);
  config.cpuCount = 3;
  config.currentCpu = 2;
  SHidLoaderBench bench(config);
  bench.loader->SetDataSourceFormat(EDATASOURCE_TOUCH);
  ASSERT_TRUE(bench.loader->SelectCpu());
  EXPECT_EQ(bench.notifier.CountInfo("WARNING: Setting currentCpu: [2] to dataSourceCpu: [1]"), 1u);
  uint16_t cpu = 0;
  ASSERT_TRUE(bench.loader->GetCurrentCpu(cpu));
  EXPECT_EQ(cpu, 1);
  bench.loader->SetDataSourceFormat(EDATASOURCE_NONE);
  ASSERT_TRUE(bench.loader->SelectCpu());
  EXPECT_EQ(bench.notifier.CountInfo("NOTE: Resetting currentCpu: [1]"), 1u);

  config.cpuCount = 0;  // a loader that answers 0 has one CPU: nothing is sent
  SHidLoaderBench single(config);
  const uint64_t before = single.board->TransferCount();
  ASSERT_TRUE(single.loader->SelectCpu());
  EXPECT_EQ(single.board->TransferCount(), before + 2);
}

TEST(FLProtocol, CommandsNeedAnOpenLoader)
{
  SHidLoaderBench bench(Loader(0));
  bench.loader->SetLoaderMode(false);
  const uint64_t before = bench.board->TransferCount();
  uint32_t value = 0;
  LoaderParameters parameters;
  EXPECT_FALSE(bench.loader->ReadValue(value));
  EXPECT_FALSE(bench.loader->ReadLoaderParameters());
  EXPECT_FALSE(bench.loader->SetMagicWord(0));
  EXPECT_FALSE(bench.loader->EraseBlock(0));
  EXPECT_TRUE(bench.notifier.HasError("Failed erasing block from device"));
  std::vector<uint8_t> read;
  bench.loader->SetLoaderMode(true);
  EXPECT_FALSE(bench.loader->ReadFlash(read, 0));
  EXPECT_EQ(bench.board->TransferCount(), before);
  bench.loader->ReadLoaderParameters();
  ASSERT_TRUE(bench.loader->ReadFlash(read, 2));
  EXPECT_EQ(read.size(), 128u);
}

TEST(FLProtocol, UnusableLoaderDescriptionsAreRefusedWithAReason)
{
  struct SCase {
    sim::SSimLoaderConfig config;
    const char* reason;
  };
  SCase tooMany{Loader(0, 1025, 16), "The loader reports 1025 blocks; at most 1024 are supported"};
  SCase zeroWord{Loader(0), "Loader block 2 of 1024 bytes is not a whole number of its 0-byte words"};
  zeroWord.config.blocks[2].attributes = 0;
  SCase oddWord{Loader(0), "Loader block 0 of 1024 bytes is not a whole number of its 3-byte words"};
  oddWord.config.blocks[0].attributes = 3;
  SCase largeBlock{Loader(1, 2, 8192), "Loader block 0 of 8192 bytes is larger than the 4096 bytes the loader can check"};
  for (SCase& item : std::vector<SCase>{tooMany, zeroWord, oddWord, largeBlock}) {
    SHidLoaderBench bench(item.config);
    bench.loader->SetDataSourceFormat(EDATASOURCE_ORV);
    EXPECT_FALSE(bench.loader->InitializeDataForProgramming({}));
    EXPECT_TRUE(bench.notifier.HasError(item.reason)) << item.reason;
    EXPECT_TRUE(bench.loader->GetFlashVector().flash.empty());
  }
}

TEST(SafeTransfers, AWriteThatFailsTwiceIsRetriedAfter10And11ms)
{
  SHidLoaderBench bench(Loader(0));
  const uint64_t start = bench.board->TransferCount();
  bench.clock.ClearPauses();
  bench.board->FailTransfers(start + 1, 2);
  EXPECT_TRUE(bench.loader->SetCurrentCpu(0));
  EXPECT_EQ(bench.board->TransferCount(), start + 3);
  EXPECT_EQ(bench.clock.Pauses(), (std::vector<uint32_t>{10, 11}));
  EXPECT_EQ(bench.notifier.CountInfo("Write error: retrying..."), 2u);
}

TEST(SafeTransfers, AReadFailing100TimesReopensThroughAPlainPing)
{
  SHidLoaderBench bench(Loader(0));
  const uint64_t start = bench.board->TransferCount();
  bench.clock.ClearPauses();
  bench.board->FailTransfers(start + 1, 100);
  uint8_t status = 0;
  EXPECT_TRUE(bench.loader->QueryStatus(status));
  // 100 failed reads, the reopen's ping (one plain read, the guard holds), and the last read.
  EXPECT_EQ(bench.board->TransferCount(), start + 102);
  const std::vector<uint32_t> pauses = bench.clock.Pauses();
  ASSERT_EQ(pauses.size(), 101u);
  EXPECT_EQ(pauses[0], 10u);
  EXPECT_EQ(pauses[1], 11u);
  EXPECT_EQ(pauses[11], 20u);
  EXPECT_EQ(pauses[99], 109u);
  EXPECT_EQ(pauses[100], 1000u);
  EXPECT_EQ(bench.notifier.CountInfo("Attempting to reopen connection."), 1u);
  EXPECT_EQ(bench.notifier.CountInfo("Prevent SafeRead from recursing... returning immediately."), 1u);
}

TEST(SafeTransfers, ABlockWriteReopensOnlyFromItsSecondFailure)
{
  SHidLoaderBench bench(Loader(0));
  bench.loader->ReadLoaderParameters();
  const uint64_t start = bench.board->TransferCount();
  // The first attempt's 100 writes fail, the reopen's ping answers, its last write fails too.
  bench.board->FailTransfers(start + 1, 100);
  bench.board->FailTransfers(start + 102, 1);
  EXPECT_TRUE(bench.loader->WriteFlashBlock(std::vector<uint8_t>(64, 0), 0x8000));
  EXPECT_EQ(bench.board->TransferCount(), start + 103);
  EXPECT_EQ(bench.notifier.mErrors, (std::vector<std::string>{"Write Failed... Retrying..."}));
  EXPECT_EQ(bench.notifier.CountInfo("Attempting to Reopen connection..."), 0u);
}

TEST(SafeTransfers, ABoardThatNeverAnswersFailsEveryGuardedTransfer)
{
  SHidLoaderBench bench(Loader(0));
  bench.board->DropOffBusAfter(bench.board->TransferCount());
  uint8_t status = 0;
  EXPECT_FALSE(bench.loader->QueryStatus(status));
  EXPECT_EQ(bench.notifier.CountInfo("Read failed."), 1u);
  // The reopen found no board: the interface is closed and later commands fail without a transfer.
  EXPECT_FALSE(bench.loader->IsOpen());
  const uint64_t transfers = bench.board->TransferCount();
  EXPECT_FALSE(bench.loader->SetCurrentCpu(0));
  EXPECT_EQ(bench.board->TransferCount(), transfers);
}

TEST(FLDeviceInterface, DescriptionAndDispatch)
{
  SHidLoaderBench bench(Loader(0));
  EXPECT_EQ(bench.loader->GetDescription(),
            "\tVendor ID = 0x4f52\n\tProduct ID = 0x210\n\tFirmware Loader = YES\n\tIs Open = YES\n"
            "\tInterface = HID\n\tPath = " + bench.board->Path() +
                "\n\tUsagePage (Actual) = ff0d\n\tUsage (Actual) = 1\n\tVersion = 100\n");
  test::CDebugCapture capture;
  bench.loader->SetDataSourceFormat(EDATASOURCE_BIN);
  EXPECT_FALSE(bench.loader->ProgramBoard());
  EXPECT_EQ(capture.CountAsserts("\"Unsupported data source format\""), 1u);
  EXPECT_EQ(bench.loader->GetDataSourceCpu(), 99u);
  bench.loader->SetPath(4192u);
  EXPECT_EQ(bench.loader->GetPathNumber(), 4192);
}

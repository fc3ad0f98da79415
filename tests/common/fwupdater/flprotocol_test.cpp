#include <gtest/gtest.h>

#include "common/fwupdater/chidconnection.h"
#include "common/fwupdater/chidfldeviceinterface.h"
#include "tests/testsupport/hidloaderbench.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::test;

namespace {

using Bytes = std::vector<uint8_t>;

sim::SSimLoaderConfig Loader(uint8_t protocol_I, uint32_t blocks_I = 8, uint32_t blockBytes_I = 1024)
{
  return {.protocol = protocol_I, .blocks = sim::MakeSimBlocks(0x8000, blockBytes_I, blocks_I, 4)};
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
    ASSERT_FALSE(bench.board->Trace().empty());
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
  // A block write of 256 data bytes is a 261-byte report: its length goes most significant byte first.
  ASSERT_TRUE(bench.loader->ReadLoaderParameters());
  SHidLoaderBench wide({.blockSize = 256, .blocks = sim::MakeSimBlocks(0x8000, 1024, 8, 4)}, 0xFF00);
  ASSERT_TRUE(wide.loader->ReadLoaderParameters());
  ASSERT_TRUE(wide.loader->WriteFlashBlock(Bytes(256, 0x3C), 0x8000));
  const Bytes block = wide.LastSet();
  ASSERT_EQ(block.size(), 1024u);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 8), (Bytes{0xDC, 0x01, 0x05, 0x11, 0x00, 0x80, 0x00, 0x00}));
  EXPECT_EQ(block[8 + 255], 0x3C);
  EXPECT_EQ(block[8 + 256], 0x00);
}

TEST(FLProtocol, ARouterAnswerIsNeverLongerThanWhatCameBack)
{
  // A wrapper that claims 0x0400 bytes after a 16-byte answer: the inner report is what came, not zeros.
  Bytes answer{0xDC, 0x04, 0x00, 0x17, 1, 2, 3};
  CHidConnection::Unwrap(answer);
  EXPECT_EQ(answer, (Bytes{0x17, 1, 2, 3}));
  Bytes tooShort{0xDC, 0x00};
  CHidConnection::Unwrap(tooShort);
  EXPECT_TRUE(tooShort.empty());
}

// A router passed on one checksum answer cut short (its inner length below the report's): that is a failed read,
// retried as a short read of a direct collection is, never a loader without checksums whose flash goes unchecked.
TEST(FLProtocol, AShortRouterAnswerDoesNotTurnTheFlashCheckOff)
{
  SHidLoaderBench bench(Loader(0), 0xFF00);
  bool cut = false;
  bench.board->CorruptAnswers(1, UINT64_MAX / 2, [&cut](Bytes& wire_IO) {
    if (cut || wire_IO[3] != 0x19) return;
    cut = true;
    wire_IO[1] = 0;
    wire_IO[2] = 4;
  });
  bench.board->KeepWrongByte(100);
  bench.loader->SetDataSourceFormat(EDATASOURCE_ORV);
  ASSERT_TRUE(bench.loader->InitializeDataForProgramming({{0x8000, Bytes(2048, 0x3C)}}));
  EXPECT_TRUE(cut);
  EXPECT_TRUE(bench.loader->IsChecksumSupported());
  EXPECT_FALSE(bench.loader->ProgramBoard());
}

TEST(FLProtocol, ChecksumCommandsAreSkippedWithoutChecksumSupport)
{
  SHidLoaderBench bench({.blocks = sim::MakeSimBlocks(0x8000, 1024, 8, 4), .checksumSupported = false});
  bench.loader->SetDataSourceFormat(EDATASOURCE_ORV);
  ASSERT_TRUE(bench.loader->InitializeDataForProgramming({}));
  EXPECT_FALSE(bench.loader->IsChecksumSupported());
  const uint64_t transfers = bench.board->TransferCount();
  EXPECT_TRUE(bench.loader->SetMagicWord(0) && bench.loader->SetBlockChecksum(1, 0) &&
              bench.loader->CalculateBlockChecksum(1) && bench.loader->WriteChecksumsToROM());
  EXPECT_EQ(bench.board->TransferCount(), transfers);
}

TEST(FLProtocol, SelectCpuPointsAMultiCpuLoaderAtTheImagesCpu)
{
  sim::SSimLoaderConfig config{.blocks = sim::MakeSimBlocks(0x8000, 1024, 8, 4), .cpuCount = 3, .currentCpu = 2};
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
  EXPECT_FALSE(bench.loader->ReadValue(value) || bench.loader->ReadLoaderParameters() ||
               bench.loader->SetMagicWord(0) || bench.loader->EraseBlock(0));
  EXPECT_TRUE(bench.notifier.HasError("Failed erasing block from device"));
  std::vector<uint8_t> read;
  bench.loader->SetLoaderMode(true);
  EXPECT_FALSE(bench.loader->ReadFlash(read, 0));
  EXPECT_EQ(bench.board->TransferCount(), before);
  bench.loader->ReadLoaderParameters();
  ASSERT_TRUE(bench.loader->ReadFlash(read, 2));
  EXPECT_EQ(read.size(), 128u);
  // An answer one byte short of the read is never read past its end.
  bench.board->CorruptAnswers(bench.board->TransferCount() + 1, 1000, [](Bytes& answer_IO) { answer_IO.pop_back(); });
  EXPECT_FALSE(bench.loader->ReadFlash(read, 1));
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
  // What a board describes must fit a tablet's flash: no 2.9 GB block, no sum past 16 MiB.
  SCase hugeBlock{Loader(0), "The loader describes more than 16777216 bytes of flash (block 1 of 2896997376 bytes)"};
  hugeBlock.config.blocks[1].size = 0xACACAC00;
  SCase largeSum{Loader(0, 8, 0x300000), "The loader describes more than 16777216 bytes of flash (block 5 of 3145728 bytes)"};
  for (SCase& item : std::vector<SCase>{tooMany, zeroWord, oddWord, largeBlock, hugeBlock, largeSum}) {
    SHidLoaderBench bench(item.config);
    bench.loader->SetDataSourceFormat(EDATASOURCE_ORV);
    // The image touches the first three blocks, which the flow would scan and write.
    EXPECT_FALSE(bench.loader->InitializeDataForProgramming({{0x8000, Bytes(3000, 0x5A)}}));
    EXPECT_TRUE(bench.notifier.HasError(item.reason)) << ::testing::PrintToString(bench.notifier.mErrors);
  }
}

TEST(FLProtocol, OnlyBlocksTheFlowWritesAreHeldToTheirWordSize)
{
  // A protected boot block described as 0x8000 (no word size) that the image covers too, and a block the image
  // never touches.
  sim::SSimLoaderConfig config = Loader(0);
  config.blocks[0].attributes = kProtectedBlock;
  config.blocks[5].attributes = 3;
  SHidLoaderBench bench(config);
  const Bytes boot(1024, 0x11);
  ASSERT_TRUE(bench.board->Preload(0x8000, boot));
  const Bytes image(2524, 0x3C);
  bench.loader->SetDataSourceFormat(EDATASOURCE_ORV);
  ASSERT_TRUE(bench.loader->InitializeDataForProgramming({{0x8000, image}}))
      << ::testing::PrintToString(bench.notifier.mErrors);
  ASSERT_TRUE(bench.loader->ProgramBoard()) << ::testing::PrintToString(bench.notifier.mErrors);
  EXPECT_EQ(bench.board->FlashBytes(0x8000, 1024), boot);
  EXPECT_EQ(bench.board->FlashBytes(0x8000 + 1024, 1500), Bytes(1500, 0x3C));
  EXPECT_EQ(bench.board->RomMagic(), sim::kSimValidMagic);
  // Only the written blocks count in the image's sum: 1500 bytes of 0x3C and 548 erased ones.
  EXPECT_EQ(bench.loader->GetChecksumImage(), 375u * 0x3C3C3C3C + 137u * 0xFFFFFFFF);
  EXPECT_EQ(bench.loader->GetChecksumAfter(), bench.loader->GetChecksumImage());
}

// Reaches the image checksum of a block no board can describe through the flow any longer.
class CChecksumProbe : public CHIDFLDeviceInterface {
 public:
  CChecksumProbe() : CHIDFLDeviceInterface("probe", nullptr) {}
  uint32_t ImageSumOf(uint32_t size_I, uint32_t dataOffset_I, const Bytes& data_I)
  {
    FlashBlock block;
    block.size = size_I;
    block.wordSize = 4;
    block.dataOffset = dataOffset_I;
    block.dataLength = static_cast<uint32_t>(data_I.size());
    block.data = Bytes(dataOffset_I, 0xFF);
    block.data.insert(block.data.end(), data_I.begin(), data_I.end());
    mFlash = {block};
    SetDataSourceFormat(EDATASOURCE_ORV);
    CalculateChecksums();
    return GetChecksumImage();
  }
  bool AcceptsOneBlock(uint32_t start_I, uint32_t size_I)
  {
    mLoaderParameters.blocks = 1;
    mLoaderDescription[0] = {start_I, size_I, 4};
    return InitializeFlashVector();
  }
};

TEST(FLProtocol, BlocksNear4GiBEnd)
{
  CChecksumProbe probe;
  EXPECT_TRUE(probe.AcceptsOneBlock(0xFFFFF000, 0x1000));
  EXPECT_FALSE(probe.AcceptsOneBlock(0xFFFFF000, 0x1001));
  EXPECT_FALSE(probe.AcceptsOneBlock(0xFFFFFFFF, 2));
  // Every erased word adds 0xFFFFFFFF: a block of n words around one data word sums to the word minus (n - 1).
  EXPECT_EQ(probe.ImageSumOf(16, 4, {1, 0, 0, 0}), 1u - 3u);
  for (const uint32_t size : {0xFFFFFFFCu, 0xFFFFFFFDu, 0xFFFFFFFFu}) {
    const uint32_t words = static_cast<uint32_t>((uint64_t{size} + 3) / 4);
    EXPECT_EQ(probe.ImageSumOf(size, 0, {2, 0, 0, 0}), 2u - (words - 1)) << size;
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
}

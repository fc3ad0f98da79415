#include <gtest/gtest.h>

#include "common/fwupdater/csrec.h"
#include "tests/testsupport/firmwaretext.h"
#include "tests/testsupport/hidloaderbench.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::test;

namespace {

struct SGeometry {
  uint8_t protocol;
  uint32_t blockBytes;
  uint32_t blocks;
  bool checksums;
};

sim::SSimLoaderConfig LoaderConfig(const SGeometry& geometry_I)
{
  sim::SSimLoaderConfig config{.protocol = geometry_I.protocol,
                               .blockSize = 256,
                               .blocks = sim::MakeSimBlocks(0x8000, geometry_I.blockBytes, geometry_I.blocks, 4),
                               .checksumSupported = geometry_I.checksums};
  config.blocks[1].attributes |= sim::kSimProtectedBlock;
  return config;
}

// Loads an S-record file made of the given segments, as the controller would.
std::vector<SRecSegment> Load(const std::vector<STestSegment>& segments_I, const std::string& name_I)
{
  CScratchDir dir;
  CSRec file;
  EXPECT_TRUE(file.Load(dir.Write(name_I, SRecordText(segments_I))));
  return file.GetSegments();
}

uint32_t WordSum(const std::vector<uint8_t>& bytes_I)
{
  uint32_t sum = 0;
  for (size_t i = 0; i + 3 < bytes_I.size(); i += 4) {
    sum += static_cast<uint32_t>(bytes_I[i] | bytes_I[i + 1] << 8 | bytes_I[i + 2] << 16) |
           static_cast<uint32_t>(bytes_I[i + 3]) << 24;
  }
  return sum;
}

bool Program(SHidLoaderBench& bench_I, const std::vector<SRecSegment>& segments_I, int32_t format_I)
{
  bench_I.loader->SetDataSourceFormat(format_I);
  return bench_I.loader->InitializeDataForProgramming(segments_I) && bench_I.loader->ProgramBoard();
}

}  // namespace

class SRecProgramming : public ::testing::TestWithParam<std::tuple<SGeometry, uint16_t>> {};

TEST_P(SRecProgramming, LeavesTheImageInFlashAndValidChecksums)
{
  const auto& [geometry, usagePage] = GetParam();
  SHidLoaderBench bench(LoaderConfig(geometry), usagePage);
  const uint32_t block = geometry.blockBytes;
  // Old firmware everywhere, so that erasing is needed and the checksum before differs from the one after.
  ASSERT_TRUE(bench.board->Preload(0x8000, PatternBytes(99, block * geometry.blocks)));
  const std::vector<uint32_t> romBefore = bench.board->RomChecksums();
  // A segment spanning blocks 2 and 3, one inside block 5 that starts and ends mid-block, a last one that
  // leaves the final block's end erased, and one in the protected block 1, which is neither written nor summed.
  const std::vector<STestSegment> image{{0x8000 + 2 * block + block / 2, PatternBytes(1, block)},
                                        {0x8000 + 5 * block + 20, PatternBytes(2, 100)},
                                        {0x8000 + (geometry.blocks - 1) * block, PatternBytes(3, 64)},
                                        {0x8000 + block + 8, PatternBytes(4, 16)}};
  const std::vector<SRecSegment> segments = Load(image, "fw.orv");
  ASSERT_TRUE(Program(bench, segments, EDATASOURCE_ORV)) << ::testing::PrintToString(bench.notifier.mErrors);

  for (size_t i = 0; i + 1 < image.size(); ++i) {
    EXPECT_EQ(bench.board->FlashBytes(image[i].start, static_cast<uint32_t>(image[i].data.size())), image[i].data);
  }
  // The rest of every written block is erased; blocks without data and the protected one keep the old firmware.
  EXPECT_EQ(bench.board->FlashBytes(0x8000 + 2 * block, block / 2), std::vector<uint8_t>(block / 2, 0xFF));
  const std::vector<uint8_t> old = PatternBytes(99, 5 * block);
  EXPECT_EQ(bench.board->FlashBytes(0x8000, 2 * block), std::vector<uint8_t>(old.begin(), old.begin() + 2 * block));
  EXPECT_EQ(bench.board->FlashBytes(0x8000 + 4 * block, block), std::vector<uint8_t>(old.begin() + 4 * block, old.end()));

  const FlashVector flash = bench.loader->GetFlashVector();
  uint32_t before = 0;
  uint32_t image_sum = 0;
  for (size_t i = 0; i < flash.flash.size(); ++i) {
    if (flash.flash[i].data.empty() || flash.flash[i].isProtected) continue;
    before += romBefore[i];
    image_sum += WordSum(bench.board->FlashBytes(flash.flash[i].start, block));
  }
  EXPECT_EQ(bench.loader->GetChecksumImage(), image_sum);
  EXPECT_EQ(bench.loader->GetChecksumBefore(), geometry.checksums ? before : 0u);
  EXPECT_EQ(bench.loader->GetChecksumAfter(), geometry.checksums ? image_sum : 0u);
  if (geometry.checksums) { EXPECT_EQ(bench.board->RomMagic(), sim::kSimValidMagic); }
  EXPECT_EQ(bench.notifier.CountInfo("ProgramBoardSRec done!"), 1u);
  EXPECT_TRUE(bench.notifier.mErrors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Loaders, SRecProgramming,
    ::testing::Combine(::testing::Values(SGeometry{0, 1024, 8, true}, SGeometry{0, 2048, 8, false},
                                         SGeometry{1, 4096, 8, true}, SGeometry{1, 4096, 8, false}),
                       ::testing::Values(uint16_t{0xFF0D}, uint16_t{0xFF00})));

TEST(SRecProgrammingSums, PenAndTouchImagesCountOnlyTheFirst39Blocks)
{
  for (const int32_t format : {EDATASOURCE_PEN, EDATASOURCE_TOUCH, EDATASOURCE_ORV}) {
    SHidLoaderBench bench(LoaderConfig({0, 256, 48, true}));
    const std::vector<STestSegment> image{{0x8000 + 38 * 256, PatternBytes(7, 3 * 256)}};
    ASSERT_TRUE(Program(bench, Load(image, "fw.pen"), format));
    EXPECT_EQ(bench.board->FlashBytes(0x8000 + 38 * 256, 3 * 256), image[0].data);
    const uint32_t block38 = WordSum(bench.board->FlashBytes(0x8000 + 38 * 256, 256));
    const uint32_t all = block38 + WordSum(bench.board->FlashBytes(0x8000 + 39 * 256, 2 * 256));
    const uint32_t expected = format == EDATASOURCE_ORV ? all : block38;
    EXPECT_EQ(bench.loader->GetChecksumImage(), expected) << format;
    EXPECT_EQ(bench.loader->GetChecksumAfter(), expected) << format;
  }
}

// The loader sums a block as little-endian 32-bit words from its start, whatever its word size: with 2-byte
// words an image range that starts and ends inside such a word must be summed the same way, or every update of
// the board fails its final check and leaves it in its loader.
TEST(SRecProgrammingSums, ARangeThatSplitsTheLoadersSumWordsIsSummedAsTheLoaderDoes)
{
  SHidLoaderBench bench({.wordSize = 2, .blockSize = 256, .blocks = sim::MakeSimBlocks(0x8000, 1024, 4, 2)});
  ASSERT_TRUE(Program(bench, Load({{0x8000 + 1024 + 6, PatternBytes(8, 10)}}, "fw.orv"), EDATASOURCE_ORV))
      << ::testing::PrintToString(bench.notifier.mErrors);
  const uint32_t sum = WordSum(bench.board->FlashBytes(0x8000 + 1024, 1024));
  EXPECT_EQ(bench.loader->GetChecksumImage(), sum);
  EXPECT_EQ(bench.loader->GetChecksumAfter(), sum);
  EXPECT_EQ(bench.board->RomMagic(), sim::kSimValidMagic);
}

TEST(SRecProgrammingFlashVector, SegmentsOutsideTheLoadersBlocksAreRefused)
{
  SHidLoaderBench bench(LoaderConfig({0, 1024, 4, true}));
  bench.loader->SetDataSourceFormat(EDATASOURCE_ORV);
  EXPECT_FALSE(bench.loader->InitializeDataForProgramming(Load({{0x8000 + 4 * 1024 - 16, PatternBytes(1, 32)}}, "a.orv")));
  EXPECT_TRUE(bench.notifier.HasError("Address space from SREC file does not correspond to that of the connected CPU!"));
  EXPECT_TRUE(bench.notifier.HasError("Failed to load SRec data to flash"));
}

TEST(SRecProgrammingFlashVector, AnAllFFBlockIsErasedButNotWritten)
{
  SHidLoaderBench bench(LoaderConfig({0, 1024, 4, true}));
  ASSERT_TRUE(bench.board->Preload(0x8000, PatternBytes(5, 1024)));
  ASSERT_TRUE(Program(bench, Load({{0x8000, std::vector<uint8_t>(1024, 0xFF)}}, "a.orv"), EDATASOURCE_ORV));
  EXPECT_EQ(bench.loader->GetFlashVector().totalSize, 0u);
  EXPECT_EQ(bench.board->FlashBytes(0x8000, 1024), std::vector<uint8_t>(1024, 0xFF));
  EXPECT_EQ(bench.CountSets({0x11}), 0u) << "block write";
  EXPECT_EQ(bench.CountSets({0x16}), 0u) << "word write";
}

TEST(SRecProgrammingFlashVector, RangesAreWrittenInBlocksThenWords)
{
  SHidLoaderBench bench(LoaderConfig({0, 1024, 4, true}));
  bench.board->Preload(0x8000, std::vector<uint8_t>(1024, 0));
  // 136 bytes with a 256-byte block size: 34 word writes; data at 0x8000 + 4 keeps offset 4.
  ASSERT_TRUE(Program(bench, Load({{0x8004, PatternBytes(3, 136)}}, "a.orv"), EDATASOURCE_ORV));
  const FlashBlock block = bench.loader->GetFlashVector().flash[0];
  EXPECT_EQ(block.dataOffset, 4u);
  EXPECT_EQ(block.dataLength, 136u);
  EXPECT_EQ(bench.CountSets({0x16}), 34u);
  EXPECT_EQ(bench.board->FlashBytes(0x8004, 136), PatternBytes(3, 136));
}

TEST(SRecProgrammingInterrupted, AStopBeforeFinalizingLeavesAZeroMagicAndASecondRunCompletes)
{
  SHidLoaderBench bench(LoaderConfig({0, 1024, 8, true}));
  const std::vector<SRecSegment> segments = Load({{0x8800, PatternBytes(4, 3000)}}, "fw.orv");
  bench.loader->SetDataSourceFormat(EDATASOURCE_ORV);
  ASSERT_TRUE(bench.loader->InitializeDataForProgramming(segments));
  ASSERT_TRUE(bench.loader->CalculateChecksums());
  ASSERT_TRUE(bench.loader->InitializeFlash());
  EXPECT_EQ(bench.board->RomMagic(), 0u);
  ASSERT_TRUE(bench.loader->ProgramBlock(2));
  EXPECT_EQ(bench.board->RomMagic(), 0u);  // the update stops here, before FinalizeFlash

  ASSERT_TRUE(Program(bench, segments, EDATASOURCE_ORV));
  EXPECT_EQ(bench.board->RomMagic(), sim::kSimValidMagic);
  EXPECT_EQ(bench.board->FlashBytes(0x8800, 3000), PatternBytes(4, 3000));
}

TEST(SRecProgrammingInterrupted, ABoardThatDropsOffEndsWithAnErrorNeverSuccess)
{
  SHidLoaderBench bench(LoaderConfig({0, 1024, 8, true}));
  const std::vector<SRecSegment> segments = Load({{0x8800, PatternBytes(4, 5000)}}, "fw.orv");
  bench.loader->SetDataSourceFormat(EDATASOURCE_ORV);
  ASSERT_TRUE(bench.loader->InitializeDataForProgramming(segments));
  // Gone after a few block writes: erase retries, block writes and reopens all fail from then on.
  bench.board->DropOffBusAfter(bench.board->TransferCount() + 60);
  EXPECT_FALSE(bench.loader->ProgramBoard());
  EXPECT_TRUE(bench.notifier.HasError("ProgramBoardSRec: Failed to write flash data to device"));
  EXPECT_EQ(bench.notifier.CountInfo("ProgramBoardSRec done!"), 0u);
  EXPECT_EQ(bench.board->RomMagic(), 0u);
}

TEST(SRecProgrammingInterrupted, AChecksumTheLoaderGetsWrongFailsTheBlockAfterTenAttempts)
{
  SHidLoaderBench bench(LoaderConfig({1, 4096, 4, true}));
  const std::vector<SRecSegment> segments = Load({{0x8000 + 2 * 4096, PatternBytes(4, 4096)}}, "fw.orv");
  bench.board->CorruptChecksumOf(2);
  EXPECT_FALSE(Program(bench, segments, EDATASOURCE_ORV));
  EXPECT_EQ(bench.CountSets({0xD3, 2, 0, 0, 0}), 10u);
  EXPECT_TRUE(bench.notifier.HasError("ProgramBoardSRec: Failed to write flash data to device"));
  EXPECT_EQ(bench.board->RomMagic(), 0u);
}

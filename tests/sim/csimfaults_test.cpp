// The faults the fault matrix injects, and what a scenario may not describe.
#include <gtest/gtest.h>

#include "sim/csimhidboard.h"
#include "sim/csimplatform.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

std::shared_ptr<CSimHidBoard> Board(bool reenumerate_I)
{
  std::string error;
  return CSimHidBoard::Create({.normal = {0x4F52, 0x0101, 0x0100, 1, 0xFF0D, MakeSimHidPath(0x4F52, 0x0101, 0, 1), ""},
                               .loader = {0x4F52, 0x0100, 0x0100, 1, 0xFF0D, MakeSimHidPath(0x4F52, 0x0100, 0, 2), ""},
                               .reenumerate = reenumerate_I,
                               .startInLoader = true,
                               .flashLoader = {.blocks = MakeSimBlocks(0x1000, 256, 4, 4)}},
                              error);
}

}  // namespace

TEST(SimFaults, AScenarioBlockTableAndNumbersAreCheckedBeforeUse)
{
  for (const char* blocks : {"-1", "6554", "4294967296"}) {
    std::string error;
    const std::string text = std::string(R"({"devices": [{"kind": "hid", "pid": "0101", "blocks": )") + blocks + "}]}";
    EXPECT_FALSE(CSimPlatform::CreateFromText(text, error)) << blocks;
    EXPECT_EQ(error, "device 0: \"blocks\" must be 0 to 6553 blocks of \"blockSize\" bytes that end within the "
                     "32-bit address space");
  }
  // Whole numbers that would wrap round into other values.
  for (const auto& [entry, refusal] : std::vector<std::pair<std::string, std::string>>{
           {R"("interface": 256)", R"(device 0: "interface" must be 0 to 255)"},
           {R"("writeSize": 65536)", R"(device 0: "writeSize" must be 0 to 65535)"},
           {R"("reenumerateMs": -1)", R"(device 0: "reenumerateMs" must be 0 to 4294967295)"}}) {
    std::string error;
    EXPECT_FALSE(CSimPlatform::CreateFromText(R"({"devices": [{"pid": "0101", )" + entry + "}]}", error)) << entry;
    EXPECT_EQ(error, refusal);
  }
  std::string error;
  EXPECT_FALSE(CSimPlatform::CreateFromText(R"({"eventDelayMs": -50, "devices": []})", error));
  EXPECT_EQ(error, R"("eventDelayMs" must be 0 to 4294967295)");
  EXPECT_FALSE(CSimPlatform::CreateFromText(
      R"({"devices": [{"kind": "hid", "pid": "0101", "blockStart": "FFFFF000", "blocks": 2}]})", error));
  EXPECT_TRUE(CSimPlatform::CreateFromText(R"({"devices": [{"kind": "hid", "pid": "0101", "blocks": 6553}]})", error))
      << error;
}

TEST(SimFaults, AnswersAreCorruptedOnlyInTheirRange)
{
  test::CInstalledVirtualClock clock;
  const std::shared_ptr<CSimHidBoard> board = Board(false);
  const std::unique_ptr<CHidDevice> handle = board->Open(board->Path());
  board->CorruptAnswers(2, 1, [](Bytes& answer_IO) { answer_IO.resize(1); });
  Bytes status{0x1F, 0};
  ASSERT_TRUE(handle->GetFeature(status));
  EXPECT_EQ(status.size(), 2u);
  ASSERT_TRUE(handle->GetFeature(status));
  EXPECT_EQ(status, Bytes{0x1F}) << "the second transfer comes back short";
  status = {0x1F, 0};
  ASSERT_TRUE(handle->GetFeature(status));
  EXPECT_EQ(status.size(), 2u);
}

TEST(SimFaults, PowerLostRestartsTheBoardInItsLoaderWithItsFlash)
{
  test::CInstalledVirtualClock clock;
  for (const bool reenumerate : {false, true}) {
    const std::shared_ptr<CSimHidBoard> board = Board(reenumerate);
    ASSERT_TRUE(board->Preload(0x1000, Bytes(16, 0x42)));
    std::unique_ptr<CHidDevice> handle = board->Open(board->Path());
    board->LosePowerAfter(1, 3000);
    ASSERT_TRUE(handle->SetFeature({0x12, 0, 0, 0, 0}));  // an erase
    EXPECT_FALSE(board->IsPresent());
    Bytes status{0x1F, 0};
    EXPECT_FALSE(handle->GetFeature(status)) << "old handles die with the power";
    clock.Advance(3000);
    ASSERT_TRUE(board->IsPresent());
    EXPECT_EQ(board->Mode(), ESIMBOARDMODE_LOADER);
    EXPECT_EQ(board->FlashBytes(0x1000, 16), Bytes(16, 0xFF)) << "the erase it took is kept";
    handle = board->Open(board->Path());
    ASSERT_TRUE(handle && handle->GetFeature(status));
  }
}

TEST(SimFaults, AReplugStartsTheLoaderOnlyWhenTheFirmwareIsNotWhole)
{
  test::CInstalledVirtualClock clock;
  const std::shared_ptr<CSimHidBoard> board = Board(true);
  board->DropOffBusAfter(0);
  EXPECT_FALSE(board->IsPresent());
  board->Replug();
  EXPECT_EQ(board->Mode(), ESIMBOARDMODE_NORMAL) << "a sealed ROM: the firmware is whole";
  board->EnterLoader();
  clock.Advance(2000);
  std::unique_ptr<CHidDevice> handle = board->Open(board->Path());
  // The magic word and a block's checksum invalidated, then stored.
  ASSERT_TRUE(handle && handle->SetFeature({0x1C, 0, 0, 0, 0}) && handle->SetFeature({0x1A, 0, 0, 0, 0, 0, 0}) &&
              handle->SetFeature({0x1D, 0, 0, 0, 0}));
  board->FailTransfers(1, 1000);
  board->ClearFaults();
  board->Replug();
  EXPECT_EQ(board->Mode(), ESIMBOARDMODE_LOADER) << "checksums invalidated: the board stays in its loader";
  handle = board->Open(board->Path());
  Bytes status{0x1F, 0};
  EXPECT_TRUE(handle && handle->GetFeature(status)) << "faults cleared";
}

// A bulk board's scenario faults reach the boot loader it becomes, whose transfers its trace holds.
TEST(SimFaults, ABulkBoardTakesTheScenariosFaultsInItsLoader)
{
  test::CInstalledVirtualClock clock;
  const std::unique_ptr<CSimPlatform> platform = test::MustCreate(CSimPlatform::CreateFromText, std::string(R"({"devices": [
    {"kind": "bulk", "name": "pen", "pid": "0300", "loaderPid": "0301", "usageId": "1", "startInLoader": true,
     "failTransfers": [1, 1], "dropAfter": 2}]})"));
  const std::shared_ptr<CSimHidBoard> loader = platform->HidBoard("pen");
  const std::unique_ptr<CHidDevice> handle = platform->Bus()->OpenHid(loader->Path());
  Bytes status{0x1F, 0};
  ASSERT_TRUE(handle);
  EXPECT_FALSE(handle->GetFeature(status)) << "the first transfer fails";
  EXPECT_TRUE(handle->GetFeature(status));
  EXPECT_FALSE(loader->IsPresent()) << "off the bus after the second";
}

#include <gtest/gtest.h>

#include "sim/csimhidboard.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kNormalPath = MakeSimHidPath(0x4F52, 0x0101, 0, 0x2a1b3c4d);
const std::string kLoaderPath = MakeSimHidPath(0x4F52, 0x0102, 0, 0x11223344);
const Bytes kPing{0x02, 0x00};
const Bytes kEnterHighFirst{0xCC, 0x4F, 0x52};
const Bytes kEnterLowFirst{0xCC, 0x52, 0x4F};

// The router's 1024-byte report: DC, the inner length most significant first, the inner report.
Bytes Wrapped(const Bytes& inner_I)
{
  Bytes outer{0xDC, 0x00, static_cast<uint8_t>(inner_I.size())};
  outer.resize(1024, 0);
  std::copy(inner_I.begin(), inner_I.end(), outer.begin() + 3);
  return outer;
}

class CSimHidBoardTest : public ::testing::Test {
 protected:
  // A board whose loader reports status 5A, with a handle on its normal interface.
  void AddBoard(bool reenumerate_I, uint16_t usagePage_I = 0x000D, uint8_t protocol_I = 0,
                std::optional<uint32_t> versionAddress_I = std::nullopt)
  {
    // These tests time the device's own delays; its transfers cost nothing here.
    const SSimHidBoardConfig config{
        .normal = {0x4F52, 0x0101, 0x0100, 10, usagePage_I, kNormalPath, ""},
        .loader = {0x4F52, 0x0102, 0x0001, 1, 0x000D, kLoaderPath, ""},
        .reenumerate = reenumerate_I,
        .flashLoader = {.protocol = protocol_I, .blocks = MakeSimBlocks(0x1000, 256, 4, 4), .status = 0x5A},
        .versionAddress = versionAddress_I,
        .transferMs = 0};
    mBoard = test::MustCreate(CSimHidBoard::Create, config);
    mHandle = mBoard->Open(kNormalPath);
    ASSERT_TRUE(mHandle);
  }

  test::CInstalledVirtualClock mClock;
  std::shared_ptr<CSimHidBoard> mBoard;
  std::unique_ptr<CHidDevice> mHandle;
};

}  // namespace

TEST_F(CSimHidBoardTest, EnterLoaderPairReenumeratesAfterTheDelay)
{
  AddBoard(true);
  // A wrong half is refused; the second half alone, or a pair broken by another report, changes nothing.
  EXPECT_FALSE(mHandle->SetFeature({0xCC, 0x4F, 0x53}));
  for (const Bytes& report : {kEnterLowFirst, kEnterHighFirst, kPing, kEnterLowFirst}) {
    EXPECT_TRUE(mHandle->SetFeature(report));
  }
  EXPECT_EQ(mBoard->Mode(), ESIMBOARDMODE_NORMAL);
  ASSERT_TRUE(mHandle->SetFeature(kEnterHighFirst) && mHandle->SetFeature(kEnterLowFirst));
  EXPECT_FALSE(mHandle->SetFeature(kPing));  // the old handle dies at once
  mClock.Advance(1999);
  EXPECT_FALSE(mBoard->IsPresent() || mBoard->Open(kLoaderPath));
  mClock.Advance(1);
  std::unique_ptr<CHidDevice> loader = mBoard->Open(kLoaderPath);
  Bytes readValue{0x14, 0, 0, 0, 0};  // the read pointer starts at the flash base
  ASSERT_TRUE(loader && loader->GetFeature(readValue));
  EXPECT_EQ(readValue, (Bytes{0x14, 0x00, 0x10, 0x00, 0x00}));
  ASSERT_TRUE(loader->SetFeature({0x15, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_FALSE(loader->GetFeature(readValue));
  mClock.Advance(2000);
  EXPECT_TRUE(mBoard->Open(kNormalPath));
}

TEST_F(CSimHidBoardTest, RouterReportsTravelWrappedThroughAnInPlaceSwitch)
{
  AddBoard(false, 0xFF00, 1);
  EXPECT_FALSE(mHandle->SetFeature(kPing));
  ASSERT_TRUE(mHandle->SetFeature(Wrapped(kEnterHighFirst)) && mHandle->SetFeature(Wrapped(kEnterLowFirst)));
  // Numbering 1 calculates a checksum with an inner DC report: the usage page alone decides on the wrapper.
  const Bytes checksum = Wrapped({0xDC, 0x02, 0x00});
  EXPECT_TRUE(mHandle->SetFeature(checksum));
  Bytes padded = checksum;
  padded[1000] = 1;
  for (const Bytes& bad : {Bytes{0xDC, 0x02, 0x00}, padded, Bytes(checksum.begin(), checksum.begin() + 1023)}) {
    EXPECT_FALSE(mHandle->SetFeature(bad));
  }
  Bytes status = Wrapped({0x1F, 0x00});
  ASSERT_TRUE(mHandle->GetFeature(status));
  EXPECT_EQ(status, Wrapped({0x1F, 0x5A}));
  EXPECT_EQ(mBoard->Trace().back().bytes, status);
  // The short exit leaves in place: the same handle reaches the firmware again.
  ASSERT_TRUE(mHandle->SetFeature(Wrapped({0xCD, 0xA6, 0x50})));
  EXPECT_EQ(mBoard->Mode(), ESIMBOARDMODE_NORMAL);
  EXPECT_TRUE(mHandle->SetFeature(Wrapped(kPing)));
}

TEST_F(CSimHidBoardTest, FailedTransfersDropOffAndTrace)
{
  AddBoard(true);
  mBoard->FailTransfers(2);
  mBoard->FailTransfers(4, 2);
  std::vector<bool> results;
  for (int i = 0; i < 6; ++i, mClock.Advance(10)) results.push_back(mHandle->SetFeature(kPing));
  EXPECT_EQ(results, (std::vector<bool>{true, false, true, false, false, true}));
  const std::vector<SSimTransfer> trace = mBoard->Trace();
  ASSERT_EQ(trace.size(), 6u);
  EXPECT_TRUE(trace[4].set && trace[4].bytes == kPing && !trace[4].ok && trace[5].timeMs == 50u);
  mBoard->DropOffBusAfter(7);
  EXPECT_TRUE(mHandle->SetFeature(kPing));
  EXPECT_FALSE(mHandle->SetFeature(kPing) || mBoard->Open(kNormalPath) || mBoard->IsPresent());
}

// The release number a board reports is the one its firmware holds, once a firmware holding one is flashed.
TEST_F(CSimHidBoardTest, ReportsTheVersionItsFirmwareHolds)
{
  AddBoard(false, 0x000D, 0, 0x1010);
  SHidAttributes attributes;
  ASSERT_TRUE(mHandle->GetAttributes(attributes));
  EXPECT_EQ(attributes.version, 0x0100);  // erased: the factory identity's
  ASSERT_TRUE(mBoard->Preload(0x1010, {0x01, 0x02}));
  ASSERT_TRUE(mHandle->GetAttributes(attributes));
  EXPECT_EQ(attributes.version, 0x0201);
  // Its loader answers with the identity it always shows.
  ASSERT_TRUE(mHandle->SetFeature(kEnterHighFirst) && mHandle->SetFeature(kEnterLowFirst));
  ASSERT_EQ(mBoard->Mode(), ESIMBOARDMODE_LOADER);
  ASSERT_TRUE(mHandle->GetAttributes(attributes));
  EXPECT_EQ(attributes.version, 0x0100);
}

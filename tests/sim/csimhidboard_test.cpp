#include <gtest/gtest.h>

#include "common/cclock.h"
#include "sim/csimhidsystem.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kNormalPath = MakeSimHidPath(0x4F52, 0x0101, 0, 0x2a1b3c4d);
const std::string kLoaderPath = MakeSimHidPath(0x4F52, 0x0102, 0, 0x11223344);
const Bytes kPing{0x02, 0x00};
const Bytes kEnterHighFirst{0xCC, 0x4F, 0x52};
const Bytes kEnterLowFirst{0xCC, 0x52, 0x4F};

class CSimHidBoardTest : public ::testing::Test {
 protected:
  CSimHidBoardTest() : mScoped(mClock) {}

  std::shared_ptr<CSimHidBoard> AddBoard(bool reenumerate_I, uint16_t usagePage_I = 0x000D, uint8_t protocol_I = 0)
  {
    SSimHidBoardConfig config;
    config.normal = {0x4F52, 0x0101, 0x0100, 10, usagePage_I, kNormalPath, "USB\\VID_4F52&PID_0101\\SN1"};
    config.loader = {0x4F52, 0x0102, 0x0001, 1, 0x000D, kLoaderPath, "USB\\VID_4F52&PID_0102\\SN1"};
    config.reenumerate = reenumerate_I;
    config.flashLoader.protocol = protocol_I;
    config.flashLoader.status = 0x5A;
    config.flashLoader.blocks = MakeSimBlocks(0x1000, 256, 4, 4);
    std::string error;
    std::shared_ptr<CSimHidBoard> board = CSimHidBoard::Create(config, error);
    EXPECT_EQ(error, "");
    mBus.AddBoard(board);
    return board;
  }

  static Bytes Wrapped(const Bytes& inner_I)
  {
    Bytes outer(1024, 0);
    outer[0] = 0xDC;
    outer[2] = static_cast<uint8_t>(inner_I.size());
    std::copy(inner_I.begin(), inner_I.end(), outer.begin() + 3);
    return outer;
  }

  CVirtualClock mClock;
  CScopedClock mScoped;
  CSimHidSystem mBus;
};

}  // namespace

TEST_F(CSimHidBoardTest, EnterLoaderPairReenumeratesAfterTheDelay)
{
  std::shared_ptr<CSimHidBoard> board = AddBoard(true);
  std::unique_ptr<CHidDevice> normal = mBus.Open(kNormalPath);
  ASSERT_TRUE(normal && normal->SetFeature(kPing) && normal->SetFeature({0x08, 0x01, 0x00, 0xAA, 0xAA}));
  EXPECT_FALSE(normal->SetFeature({0xCC, 0x4F, 0x53}));
  // The second half alone, or a pair broken by another report, leaves the board where it is.
  for (const Bytes& report : {kEnterLowFirst, kEnterHighFirst, kPing, kEnterLowFirst}) {
    EXPECT_TRUE(normal->SetFeature(report));
  }
  EXPECT_EQ(board->Mode(), ESIMBOARDMODE_NORMAL);

  EXPECT_TRUE(normal->SetFeature(kEnterHighFirst));
  EXPECT_TRUE(normal->SetFeature(kEnterLowFirst));
  EXPECT_EQ(board->Mode(), ESIMBOARDMODE_LOADER);
  SHidAttributes attributes;
  EXPECT_FALSE(normal->SetFeature(kPing));
  EXPECT_FALSE(normal->GetAttributes(attributes));
  mClock.Advance(1999);
  EXPECT_FALSE(mBus.Open(kLoaderPath));
  EXPECT_TRUE(mBus.PresentPaths().empty());
  mClock.Advance(1);
  EXPECT_EQ(mBus.PresentPaths(), std::vector<std::string>{kLoaderPath});

  std::unique_ptr<CHidDevice> loader = mBus.Open(kLoaderPath);
  ASSERT_TRUE(loader && loader->GetAttributes(attributes));
  EXPECT_EQ(attributes.productId, 0x0102);
  Bytes readValue{0x14, 0, 0, 0, 0};
  ASSERT_TRUE(loader->GetFeature(readValue));
  EXPECT_EQ(readValue, (Bytes{0x14, 0x00, 0x10, 0x00, 0x00}));

  EXPECT_TRUE(loader->SetFeature({0x15, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(board->Mode(), ESIMBOARDMODE_NORMAL);
  EXPECT_FALSE(loader->GetFeature(readValue));
  mClock.Advance(2000);
  EXPECT_TRUE(mBus.Open(kNormalPath));
}

TEST_F(CSimHidBoardTest, InPlaceSwitchKeepsPathAndHandle)
{
  std::shared_ptr<CSimHidBoard> board = AddBoard(false, 0x000D, 1);
  std::unique_ptr<CHidDevice> handle = mBus.Open(kNormalPath);
  ASSERT_TRUE(handle && handle->SetFeature(kEnterHighFirst) && handle->SetFeature(kEnterLowFirst));
  EXPECT_EQ(board->Mode(), ESIMBOARDMODE_LOADER);
  Bytes status{0x1F, 0x00};
  ASSERT_TRUE(handle->GetFeature(status));
  EXPECT_EQ(status, (Bytes{0x1F, 0x5A}));
  EXPECT_TRUE(handle->SetFeature({0xCD, 0xA6, 0x50}));
  EXPECT_EQ(board->Mode(), ESIMBOARDMODE_NORMAL);
  EXPECT_TRUE(handle->SetFeature(kPing));
}

TEST_F(CSimHidBoardTest, RouterReportsTravelWrapped)
{
  std::shared_ptr<CSimHidBoard> board = AddBoard(false, 0xFF00);
  std::unique_ptr<CHidDevice> handle = mBus.Open(kNormalPath);
  SHidCaps caps;
  ASSERT_TRUE(handle && handle->GetCaps(caps));
  EXPECT_EQ(caps.usagePage, 0xFF00);
  EXPECT_FALSE(handle->SetFeature(kPing));
  ASSERT_TRUE(handle->SetFeature(Wrapped(kPing)));
  ASSERT_TRUE(handle->SetFeature(Wrapped(kEnterHighFirst)) && handle->SetFeature(Wrapped(kEnterLowFirst)));

  const Bytes erase = Wrapped({0x12, 0x03, 0x00, 0x00, 0x00});
  EXPECT_EQ(Bytes(erase.begin(), erase.begin() + 8), (Bytes{0xDC, 0x00, 0x05, 0x12, 0x03, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(handle->SetFeature(erase));
  Bytes padded = erase;
  padded[1000] = 1;
  Bytes shortOuter(erase.begin(), erase.begin() + 1023);
  for (const Bytes& bad : {Bytes{0x12, 0x03, 0x00, 0x00, 0x00}, padded, shortOuter}) {
    EXPECT_FALSE(handle->SetFeature(bad));
  }

  Bytes status = Wrapped({0x1F, 0x00});
  ASSERT_TRUE(handle->GetFeature(status));
  EXPECT_EQ(status, Wrapped({0x1F, 0x5A}));
  EXPECT_EQ(board->Trace().back().bytes, status);
}

TEST_F(CSimHidBoardTest, FailedTransfersDropOffAndTrace)
{
  std::shared_ptr<CSimHidBoard> board = AddBoard(true);
  std::unique_ptr<CHidDevice> handle = mBus.Open(kNormalPath);
  board->FailTransfers(2);
  board->FailTransfers(4, 2);
  std::vector<bool> results;
  for (int i = 0; i < 6; ++i, mClock.Advance(10)) results.push_back(handle->SetFeature(kPing));
  EXPECT_EQ(results, (std::vector<bool>{true, false, true, false, false, true}));
  const std::vector<SSimTransfer> trace = board->Trace();
  ASSERT_EQ(trace.size(), 6u);
  EXPECT_TRUE(trace[4].set && trace[4].bytes == kPing && !trace[4].ok);
  EXPECT_EQ(trace[5].timeMs, 50u);

  board->DropOffBusAfter(7);
  EXPECT_TRUE(handle->SetFeature(kPing));
  EXPECT_FALSE(handle->SetFeature(kPing));
  EXPECT_FALSE(mBus.Open(kNormalPath));
  EXPECT_FALSE(board->IsPresent());
}

TEST_F(CSimHidBoardTest, BusWalksTheDeviceTree)
{
  EXPECT_EQ(kNormalPath, R"(\\?\HID#VID_4F52&PID_0101&MI_00#7&2a1b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})");
  const std::string hid = SimInstanceIdOfPath(kNormalPath);
  EXPECT_EQ(hid, R"(HID\VID_4F52&PID_0101&MI_00\7&2a1b3c4d&0&0000)");
  EXPECT_EQ(SimInstanceIdOfPath(R"(\\?\ROOT\NOHASH)"), R"(ROOT\NOHASH)");
  EXPECT_EQ(SimInstanceIdOfPath("ab"), "");

  AddBoard(true);
  mBus.AddNode("USB\\VID_4F52&PID_0101\\SN1", "USB\\ROOT_HUB30\\4&1");
  const std::vector<std::pair<uint8_t, std::string>> ancestors{
      {0, hid}, {1, "USB\\VID_4F52&PID_0101\\SN1"}, {2, "USB\\ROOT_HUB30\\4&1"}, {9, "USB\\ROOT_HUB30\\4&1"}};
  for (const auto& [levels, id] : ancestors) EXPECT_EQ(mBus.GetAncestorId(hid, levels), id) << int{levels};
  EXPECT_EQ(mBus.GetAncestorId("usb\\vid_4f52&pid_0101\\sn1", 0), "USB\\VID_4F52&PID_0101\\SN1");
  EXPECT_EQ(mBus.GetAncestorId("USB\\VID_4F52&PID_0102\\SN1", 1), "USB\\VID_4F52&PID_0102\\SN1");
  EXPECT_EQ(mBus.GetAncestorId("HID\\UNKNOWN", 0), "");
}

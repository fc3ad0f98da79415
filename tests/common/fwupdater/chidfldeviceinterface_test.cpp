#include <gtest/gtest.h>

#include "common/cclock.h"
#include "common/fwupdater/chidfldeviceinterface.h"
#include "sim/csimhidsystem.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

class CHidBoardSwitching : public ::testing::Test {
 protected:
  CHidBoardSwitching() : mSystem(std::make_shared<CSimHidSystem>())
  {
    SSimHidBoardConfig config;
    config.normal = {0x4F52, 0x0101, 0x0103, 1, 0xFF0D, MakeSimHidPath(0x4F52, 0x0101, 0, 0x1a), "USB\\VID_4F52&PID_0101\\7"};
    config.loader = {0x4F52, 0x0100, 0x0001, 1, 0xFF0D, MakeSimHidPath(0x4F52, 0x0100, 0, 0x2b), "USB\\VID_4F52&PID_0100\\7"};
    config.flashLoader.blocks = MakeSimBlocks(0x8000, 1024, 4, 4);
    mBoard = test::MustCreate(CSimHidBoard::Create, config);
    mSystem->AddBoard(mBoard);
    mSystem->AddNode("USB\\VID_4F52&PID_0101\\7", "USB\\ROOT_HUB30\\4");
    mSystem->AddNode("USB\\VID_4F52&PID_0100\\7", "USB\\ROOT_HUB30\\4");
    CFLDeviceInterface::SetProtocolType(0);
  }

  Bytes LastSet()
  {
    const std::vector<SSimTransfer> trace = mBoard->Trace();
    return trace.empty() ? Bytes{} : trace.back().bytes;
  }

  test::CInstalledVirtualClock mClock;
  std::shared_ptr<CSimHidSystem> mSystem;
  std::shared_ptr<CSimHidBoard> mBoard;
};

}  // namespace

// What the identity holds is what discovery matches and the run reports; the queries leave the interface closed.
TEST_F(CHidBoardSwitching, NormalInterfaceCommands)
{
  CHIDFLDeviceInterface pen(mBoard->Path(), mSystem);
  ASSERT_TRUE(pen.QueryAttributes());
  EXPECT_FALSE(pen.IsOpen());
  EXPECT_FALSE(pen.Ping());  // not open
  ASSERT_TRUE(pen.Open());
  ASSERT_TRUE(pen.Ping());
  EXPECT_EQ(LastSet(), (Bytes{0x02, 0x00}));
  ASSERT_TRUE(pen.SendVendorCommand());
  EXPECT_EQ(LastSet(), (Bytes{0x08, 0x01, 0x00, 0xAA, 0xAA}));
  EXPECT_FALSE(pen.SwitchFromBLMode(true));
}

TEST_F(CHidBoardSwitching, TheBoardReturnsAsItsLoaderAndBack)
{
  CHIDFLDeviceInterface pen(mBoard->Path(), mSystem);
  ASSERT_TRUE(pen.SwitchToBLMode());
  EXPECT_FALSE(pen.IsOpen());
  const std::vector<SSimTransfer> trace = mBoard->Trace();
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace[trace.size() - 2].bytes, (Bytes{0xCC, 0x4F, 0x52}));
  EXPECT_EQ(trace.back().bytes, (Bytes{0xCC, 0x52, 0x4F}));
  EXPECT_EQ(mBoard->Mode(), ESIMBOARDMODE_LOADER);
  EXPECT_FALSE(pen.Open());  // the normal interface left the bus

  mClock.Advance(2000);
  CHIDFLDeviceInterface loader(mBoard->Path(), mSystem);
  ASSERT_TRUE(loader.QueryAttributes());
  EXPECT_EQ(loader.GetProductId(), 0x0100);
  loader.SetLoaderMode(true);
  EXPECT_FALSE(loader.SwitchToBLMode());  // already a loader: nothing sent
  ASSERT_TRUE(loader.Open());
  ASSERT_TRUE(loader.Ping());
  EXPECT_EQ(mBoard->Trace().back().bytes[0], 0x14);  // a loader is pinged with a read of its value
  ASSERT_TRUE(loader.SwitchFromBLMode(true));
  EXPECT_EQ(mBoard->Mode(), ESIMBOARDMODE_NORMAL);
}

TEST_F(CHidBoardSwitching, ParentIdsFollowTheDeviceTree)
{
  CHIDFLDeviceInterface pen(mBoard->Path(), mSystem);
  EXPECT_EQ(pen.GetParentDeviceId(0), "HID\\VID_4F52&PID_0101&MI_00\\7&0000001a&0&0000");
  EXPECT_EQ(pen.GetParentDeviceId(1), "USB\\VID_4F52&PID_0101\\7");
  EXPECT_EQ(pen.GetParentDeviceId(2), "USB\\ROOT_HUB30\\4");
  CHIDFLDeviceInterface unknown("\\\\?\\HID#VID_1234&PID_5678#1#{guid}", mSystem);
  EXPECT_EQ(unknown.GetParentDeviceId(0), "");
  // A path without '#' is used whole; a path too short for its prefix names no node instead of throwing.
  mSystem->AddNode("NODE", "");
  CHIDFLDeviceInterface plain("\\\\?\\NODE", mSystem);
  EXPECT_EQ(plain.GetParentDeviceId(0), "NODE");
  for (const char* path : {"", "\\\\?", "ab#cdef"}) {
    CHIDFLDeviceInterface shortPath(path, mSystem);
    EXPECT_EQ(shortPath.GetParentDeviceId(1), "") << path;
  }
}

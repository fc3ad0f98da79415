#include <gtest/gtest.h>

#include "common/cclock.h"
#include "common/fwupdater/cdiscovery.h"
#include "common/fwupdater/cfldeviceinterface.h"
#include "sim/csimbus.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

namespace {

const char* const kTopology = R"([
  {"name":"Tablet","penBoard":{"pid":"0101","usageId":"1","usagePg":"FF0D"},
   "touchBoard":{"pid":"0102","usageId":"2","usagePg":"FF0D"}},
  {"name":"Tablet","penBoard":{"pid":"0101"},"loaderBoard":{"pid":"0100","usageId":"1","usagePg":"FF0D"}},
  {"name":"","penBoard":{"pid":"0999","usageId":"1","usagePg":"FF0D"}}])";

class CDiscoveryTest : public ::testing::Test {
 protected:
  CDiscoveryTest() : mBus(std::make_shared<CSimBus>())
  {
    mDiscovery = std::make_unique<CDiscovery>(mBus, mBus, mBus, mDir.Write("fw_loader.ini", kTopology));
  }

  // A collection of the given product and usage under the USB device node `parent_I`.
  std::string Collection(uint16_t productId_I, uint16_t usage_I, uint16_t usagePage_I, const std::string& parent_I)
  {
    ++mCount;
    const std::string path = MakeSimHidPath(0x4F52, productId_I, static_cast<uint8_t>(mCount % 4), mCount);
    mBus->AddNode(parent_I, "USB\\ROOT_HUB30\\1");
    mBus->Attach(std::make_shared<CSimHidCollection>(
        SSimHidIdentity{0x4F52, productId_I, 1, usage_I, usagePage_I, path, parent_I}));
    return path;
  }

  const DeviceList& Discover()
  {
    EXPECT_TRUE(mDiscovery->Discover());
    return mDiscovery->GetDevices();
  }

  test::CInstalledVirtualClock mClock;
  test::CScratchDir mDir;
  std::shared_ptr<CSimBus> mBus;
  std::unique_ptr<CDiscovery> mDiscovery;
  uint32_t mCount = 0;
};

std::string PathOf(const std::shared_ptr<CFLDeviceInterface>& interface_I) { return interface_I ? interface_I->GetPath() : ""; }

}  // namespace

TEST_F(CDiscoveryTest, TouchInterfacesPairByAncestorNotByOrder)
{
  const std::string penA = Collection(0x0101, 1, 0xFF0D, "USB\\VID_4F52&PID_0101\\A");
  const std::string penB = Collection(0x0101, 1, 0xFF0D, "USB\\VID_4F52&PID_0101\\B");
  const std::string touchB = Collection(0x0102, 2, 0xFF0D, "USB\\VID_4F52&PID_0101\\B");
  const std::string touchA = Collection(0x0102, 2, 0xFF0D, "USB\\VID_4F52&PID_0101\\A");
  Collection(0x0102, 2, 0xFF0D, "USB\\VID_4F52&PID_0101\\C");  // a touch board whose pen is missing
  Collection(0x0999, 1, 0xFF0D, "USB\\VID_4F52&PID_0999\\D");  // a prototype without a name
  Collection(0x1234, 1, 0x0001, "USB\\VID_046D&PID_1234\\E");  // a mouse
  const DeviceList& devices = Discover();
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(PathOf(devices[0]->mPenInterface), penA);
  EXPECT_EQ(PathOf(devices[0]->mTouchInterface), touchA);
  EXPECT_EQ(PathOf(devices[1]->mPenInterface), penB);
  EXPECT_EQ(PathOf(devices[1]->mTouchInterface), touchB);
  // The touch interface that found no pen makes a device of its own, without interfaces.
  EXPECT_EQ(devices[2]->mName, "Tablet");
  EXPECT_FALSE(devices[2]->mPenInterface || devices[2]->mTouchInterface);
  EXPECT_FALSE(mDiscovery->IsHidRouter());
}

TEST_F(CDiscoveryTest, RouterUsagesReplaceTheTopologysUsages)
{
  const std::string pen = Collection(0x0101, 10, 0xFF00, "USB\\VID_4F52&PID_0101\\A");
  const std::string touch = Collection(0x0102, 11, 0xFF00, "USB\\VID_4F52&PID_0101\\A");
  Collection(0x0102, 2, 0xFF0D, "USB\\VID_4F52&PID_0101\\A");  // the topology's usage no longer counts
  const DeviceList& devices = Discover();
  EXPECT_TRUE(mDiscovery->IsHidRouter());
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(PathOf(devices[0]->mPenInterface), pen);
  EXPECT_EQ(PathOf(devices[0]->mTouchInterface), touch);
}

TEST_F(CDiscoveryTest, LoaderInterfacesJoinTheirDeviceOrStandAlone)
{
  // A touch board that re-enumerated as a loader joins the device whose pen shares its ancestor.
  const std::string pen = Collection(0x0101, 1, 0xFF0D, "USB\\VID_4F52&PID_0101\\A");
  const std::string loader = Collection(0x0100, 1, 0xFF0D, "USB\\VID_4F52&PID_0101\\A");
  const std::string lonely = Collection(0x0100, 1, 0xFF0D, "USB\\VID_4F52&PID_0100\\B");
  const DeviceList& devices = Discover();
  // Each loader is tried once as HID; as an I2C tunnel it is ignored, or it would be placed twice.
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(PathOf(devices[0]->mPenInterface), pen);
  EXPECT_EQ(PathOf(devices[0]->mTouchInterface), loader);
  EXPECT_TRUE(devices[0]->mIsLoader);
  EXPECT_EQ(PathOf(devices[1]->mPenInterface), lonely);
  EXPECT_TRUE(devices[1]->mIsLoader);
  EXPECT_TRUE(devices[1]->mPenInterface->IsLoader());
  EXPECT_EQ(devices[1]->mPenInterface->GetInterfaceType(), EINTERFACETYPE_HID);
}

TEST_F(CDiscoveryTest, AMissingTopologyRecognisesNothingAndIsReadAgainLater)
{
  mDiscovery = std::make_unique<CDiscovery>(mBus, mBus, mBus, (mDir.Path() / "later.ini").string());
  Collection(0x0101, 1, 0xFF0D, "USB\\VID_4F52&PID_0101\\A");
  EXPECT_TRUE(Discover().empty());
  mDir.Write("later.ini", kTopology);
  EXPECT_EQ(Discover().size(), 1u);
}

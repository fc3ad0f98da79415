#include <gtest/gtest.h>

#include <algorithm>

#include "common/cclock.h"
#include "sim/csimplatform.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

// A pen tablet: one composite USB device with the pen board (which re-enumerates as its loader, product
// 0100) and the collection of the touch controller's I2C tunnel, on a hub.
const char* const kTablet = R"({
  "nodes": [["USB\\VID_05E3&PID_0610\\HUB", "USB\\ROOT_HUB30\\1"],
            ["USB\\VID_4F52&PID_0101\\TAB1", "USB\\VID_05E3&PID_0610\\HUB"]],
  "devices": [
    {"kind": "hid", "name": "pen", "pid": "0101", "loaderPid": "0100", "instance": 1,
     "parent": "USB\\VID_4F52&PID_0101\\TAB1", "blockStart": "8000", "blocks": 4},
    {"kind": "i2c", "name": "touch", "pid": "0101", "usageId": "2", "interface": 1, "instance": 2,
     "parent": "USB\\VID_4F52&PID_0101\\TAB1", "blockStart": "2000", "blockSize": 1024, "blocks": 4}
  ]
})";

std::unique_ptr<CSimPlatform> Platform(const std::string& text_I)
{
  std::string error;
  std::unique_ptr<CSimPlatform> platform = CSimPlatform::CreateFromText(text_I, error);
  EXPECT_TRUE(platform) << error;
  return platform;
}

std::string Ancestor(CSimPlatform& platform_I, const std::string& path_I, uint8_t levels_I)
{
  return platform_I.Bus()->GetAncestorId(SimInstanceIdOfPath(path_I), levels_I);
}

bool Listed(CSimPlatform& platform_I, const std::string& path_I)
{
  const std::vector<std::string> paths = platform_I.Bus()->EnumerateInterfacePaths(EDEVICECLASS_HID);
  return std::find(paths.begin(), paths.end(), path_I) != paths.end();
}

}  // namespace

TEST(SimPlatform, TheTreeHasANodeForEachInterfaceOfACompositeDevice)
{
  std::unique_ptr<CSimPlatform> tablet = Platform(kTablet);
  ASSERT_TRUE(tablet);
  const std::string pen = tablet->HidBoard("pen")->Path();
  const std::string touch = tablet->I2CBoard("touch")->Config().identity.path;
  EXPECT_EQ(Ancestor(*tablet, pen, 1).rfind("USB\\VID_4F52&PID_0101&MI_00\\", 0), 0u) << Ancestor(*tablet, pen, 1);
  EXPECT_EQ(Ancestor(*tablet, touch, 1).rfind("USB\\VID_4F52&PID_0101&MI_01\\", 0), 0u) << Ancestor(*tablet, touch, 1);
  EXPECT_EQ(Ancestor(*tablet, pen, 2), "USB\\VID_4F52&PID_0101\\TAB1");
  EXPECT_EQ(Ancestor(*tablet, touch, 2), "USB\\VID_4F52&PID_0101\\TAB1");
  EXPECT_EQ(Ancestor(*tablet, pen, 3), "USB\\VID_05E3&PID_0610\\HUB");

  // A device with one interface has no such node; neither has a collection without a USB device above it.
  std::unique_ptr<CSimPlatform> display = Platform(CSimPlatform::DefaultScenario());
  ASSERT_TRUE(display);
  EXPECT_EQ(Ancestor(*display, display->HidBoard("bluetooth")->Path(), 1), "USB\\VID_4F52&PID_0211\\ORV16BT");
  EXPECT_EQ(Ancestor(*display, display->HidBoard("bluetooth")->Path(), 2),
            Ancestor(*display, display->HidBoard("pen")->Path(), 2));
  std::unique_ptr<CSimPlatform> alone = Platform(R"({"devices": [{"kind": "hid", "pid": "0101", "interface": 1},
    {"kind": "hid", "pid": "0102", "parent": "USB\\ROOT_HUB30\\1"}, {"kind": "hid", "pid": "0103", "interface": 1,
     "parent": "USB\\ROOT_HUB30\\1"}]})");
  ASSERT_TRUE(alone);
  EXPECT_EQ(Ancestor(*alone, alone->HidBoard("hid1")->Path(), 1), "USB\\ROOT_HUB30\\1");
}

// The pen board's MCU serves the whole USB device: when it restarts into its loader the device re-enumerates
// as the loader, and the touch tunnel is gone until the board returns.
TEST(SimPlatform, TheTouchCollectionLeavesAndReturnsWithThePenBoardsDevice)
{
  CVirtualClock clock;
  CScopedClock installed(clock);
  std::unique_ptr<CSimPlatform> tablet = Platform(kTablet);
  ASSERT_TRUE(tablet);
  const std::shared_ptr<CSimHidBoard> pen = tablet->HidBoard("pen");
  const std::shared_ptr<CSimI2CTunnelBoard> touch = tablet->I2CBoard("touch");
  const std::string touchPath = touch->Config().identity.path;
  std::unique_ptr<CHidDevice> old = tablet->Bus()->OpenHid(touchPath);
  ASSERT_TRUE(old);

  pen->EnterLoader();
  EXPECT_FALSE(touch->IsPresent());
  clock.Advance(2000);
  EXPECT_TRUE(Listed(*tablet, pen->Path()));
  EXPECT_FALSE(Listed(*tablet, touchPath)) << "only the loader while the pen board runs it";
  EXPECT_FALSE(tablet->Bus()->OpenHid(touchPath));

  std::unique_ptr<CHidDevice> loader = tablet->Bus()->OpenHid(pen->Path());
  ASSERT_TRUE(loader);
  ASSERT_TRUE(loader->SetFeature(Bytes{0x15, 0x01, 0x00, 0x00, 0x00}));
  clock.Advance(1999);
  EXPECT_FALSE(touch->IsPresent());
  clock.Advance(1);
  EXPECT_TRUE(Listed(*tablet, touchPath));
  EXPECT_EQ(pen->Mode(), ESIMBOARDMODE_NORMAL);
  Bytes status{0xB0, 0, 0};
  EXPECT_FALSE(old->GetFeature(status)) << "a handle dies with the device it was opened on";
  std::unique_ptr<CHidDevice> fresh = tablet->Bus()->OpenHid(touchPath);
  EXPECT_TRUE(fresh && fresh->GetFeature(status));

  // Power lost: the pen board comes back in its loader, the touch collection does not; a replug brings both.
  pen->LosePowerAfter(pen->TransferCount() + 1, 3000);
  std::unique_ptr<CHidDevice> normal = tablet->Bus()->OpenHid(pen->Path());
  ASSERT_TRUE(normal);
  normal->SetFeature(Bytes{0x02, 0x00});
  clock.Advance(5000);
  EXPECT_EQ(pen->Mode(), ESIMBOARDMODE_LOADER);
  EXPECT_TRUE(pen->IsPresent());
  EXPECT_FALSE(touch->IsPresent());
  pen->DropOffBusAfter(0);
  pen->Replug();
  EXPECT_EQ(pen->Mode(), ESIMBOARDMODE_NORMAL) << "the firmware was whole";
  EXPECT_TRUE(touch->IsPresent());
}

TEST(SimPlatform, ATabletStartingInItsLoaderShowsOnlyTheLoader)
{
  CVirtualClock clock;
  CScopedClock installed(clock);
  std::string stuck = kTablet;
  stuck.replace(stuck.find("\"instance\": 1"), 0, "\"startInLoader\": true, ");
  std::unique_ptr<CSimPlatform> tablet = Platform(stuck);
  ASSERT_TRUE(tablet);
  const std::string loaderPath = tablet->HidBoard("pen")->Path();
  EXPECT_EQ(tablet->Bus()->EnumerateInterfacePaths(EDEVICECLASS_HID), std::vector<std::string>{loaderPath});
  // The loader is a USB device of its own, with one collection, where the tablet was on the hub.
  EXPECT_EQ(Ancestor(*tablet, loaderPath, 1), "USB\\VID_4F52&PID_0100\\TAB1");
  EXPECT_EQ(Ancestor(*tablet, loaderPath, 2), "USB\\VID_05E3&PID_0610\\HUB");
  size_t events = 0;
  struct SCounter : CDeviceEventSink {
    size_t* count;
    void OnInterfaceArrival(const std::string&, EDeviceClass) override { ++*count; }
    void OnInterfaceRemoval(const std::string&, EDeviceClass) override { ++*count; }
  } counter;
  counter.count = &events;
  tablet->Bus()->Subscribe(&counter);
  clock.Advance(1000);
  tablet->Bus()->DeliverDueEvents();
  EXPECT_EQ(events, 1u) << "the loader's arrival, and nothing of the touch collection";
  tablet->Bus()->Unsubscribe(&counter);
}

#include <gtest/gtest.h>

#include "sim/csimplatform.h"
#include "tests/testsupport/testfiles.h"

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

std::string Ancestor(CSimPlatform& platform_I, const std::string& path_I, uint8_t levels_I)
{
  return platform_I.Bus()->GetAncestorId(SimInstanceIdOfPath(path_I), levels_I);
}

}  // namespace

// What the end-to-end runs do not reach: a loader with a product id of its own is a USB device of its own in
// the tablet's place on the hub, and a board that loses power comes back in its loader without the touch
// collection, which returns only with the firmware.
TEST(SimPlatform, ALoaderIsADeviceOfItsOwnAndTheTouchCollectionFollowsTheFirmware)
{
  test::CInstalledVirtualClock clock;
  std::string stuck = kTablet;
  stuck.replace(stuck.find("\"instance\": 1"), 0, "\"startInLoader\": true, ");
  const std::unique_ptr<CSimPlatform> inLoader = test::MustCreate(CSimPlatform::CreateFromText, stuck);
  const std::string loaderPath = inLoader->HidBoard("pen")->Path();
  EXPECT_EQ(Ancestor(*inLoader, loaderPath, 1), "USB\\VID_4F52&PID_0100\\TAB1");
  EXPECT_EQ(Ancestor(*inLoader, loaderPath, 2), "USB\\VID_05E3&PID_0610\\HUB");

  const std::unique_ptr<CSimPlatform> tablet = test::MustCreate(CSimPlatform::CreateFromText, std::string(kTablet));
  const std::shared_ptr<CSimHidBoard> pen = tablet->HidBoard("pen");
  const std::shared_ptr<CSimI2CTunnelBoard> touch = tablet->I2CBoard("touch");
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

#include <gtest/gtest.h>

#include "sim/csimplatform.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

// Every transfer a board answers (a feature report, a tunnel report, a control transfer or descriptor read),
// accepted or refused, costs the board's transfer time on the caller's clock: 1 ms unless the scenario says.
TEST(CSimTransferTime, EveryTransferCostsItsBoardsTimeOnTheClock)
{
  // A scenario's device and the milliseconds each of its transfers costs.
  const std::pair<const char*, uint32_t> cases[] = {
      {R"({"kind": "hid", "name": "b", "pid": "0101"})", 1},
      {R"({"kind": "hid", "name": "b", "pid": "0101", "transferMs": 4})", 4},
      {R"({"kind": "i2c", "name": "b", "pid": "0101", "transferMs": 3})", 3},
      {R"({"kind": "bulk", "name": "b", "pid": "0401", "loaderPid": "0400"})", 1},
      {R"({"kind": "bulk", "name": "b", "pid": "0401", "loaderPid": "0400", "transferMs": 2})", 2},
  };
  for (const auto& [scenario, transferMs] : cases) {
    test::CInstalledVirtualClock clock;
    const std::unique_ptr<CSimPlatform> platform =
        test::MustCreate(CSimPlatform::CreateFromText, std::string(R"({"devices": [)") + scenario + "]}");
    if (const auto bulk = platform->BulkBoard("b")) {
      const std::unique_ptr<CUsbDevice> device = platform->Bus()->OpenUsb(bulk->Config().path);
      ASSERT_TRUE(device);
      std::vector<uint8_t> data(18);
      EXPECT_TRUE(device->GetDeviceDescriptor(data));
      EXPECT_FALSE(device->ControlTransfer({0x41, 0xF1, 0xFFFF, 0, 0}, data));
    } else {
      const std::string path = platform->I2CBoard("b") ? platform->I2CBoard("b")->Config().identity.path
                                                        : platform->HidBoard("b")->Path();
      const std::unique_ptr<CHidDevice> device = platform->Bus()->OpenHid(path);
      ASSERT_TRUE(device);
      EXPECT_TRUE(device->SetFeature({0x02, 0x00}));
      std::vector<uint8_t> refused{0x7E, 0x00};
      EXPECT_FALSE(device->GetFeature(refused));
    }
    EXPECT_EQ(clock.Pauses(), (std::vector<uint32_t>{transferMs, transferMs})) << scenario;
  }
}

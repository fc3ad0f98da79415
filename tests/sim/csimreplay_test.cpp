#include <gtest/gtest.h>

#include "common/fwupdater/ctransferrecorder.h"
#include "sim/csimreplay.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using orv::sim::CSimReplay;

namespace {

// Replays run on the virtual clock.
class SimReplay : public ::testing::Test {
 protected:
  test::CInstalledVirtualClock mClock;
};

std::shared_ptr<CSimReplay> Replay(const std::string& lines_I)
{
  return test::MustCreate(CSimReplay::Parse, std::string(kRecordingHeader) + "\n" + lines_I);
}

uint16_t ProductId(CHidDevice& device_I)
{
  SHidAttributes attributes;
  return device_I.GetAttributes(attributes) ? attributes.productId : 0;
}

}  // namespace

// The loader takes over the node number the board left: each answer belongs to the device the path named then.
TEST_F(SimReplay, EachAnswerIsGivenAtThePointOfTheRunItWasRecorded)
{
  const std::shared_ptr<CSimReplay> replay = Replay(
      "0 hid /dev/hidraw3 open ok\n"
      "0 node /dev/hidraw3 /sys/board\n"
      "0 tree /sys/board 1 /sys/hub\n"
      "0 hid /dev/hidraw3 attributes ok 4F52 0101 0100\n"
      "0 hid /dev/hidraw3 caps ok 0001 FF0D\n"
      "0 hid /dev/hidraw3 set ok 0200\n"
      "9 hid /dev/hidraw3 open ok\n"
      "9 node /dev/hidraw3 /sys/loader\n"
      "9 tree /sys/board 1 -\n"
      "9 hid /dev/hidraw3 attributes failed\n"
      "9 hid /dev/hidraw3 attributes ok 4F52 0100 0001\n"
      "9 hid /dev/hidraw3 caps ok 0002 FF00\n"
      "9 usb /dev/bus/usb/001/004 open ok\n"
      "9 usb /dev/bus/usb/001/004 descriptor failed\n"
      "9 usb /dev/bus/usb/001/004 control ok 4001000000000000 -\n"
      "9 usb /dev/bus/usb/001/004 descriptor ok 1201\n");
  const std::shared_ptr<CHidSystem> hid = replay->Hid();
  std::unique_ptr<CHidDevice> board = hid->Open("/dev/hidraw3");
  ASSERT_TRUE(board);
  EXPECT_EQ(hid->InstanceIdOfPath("/dev/hidraw3"), "/sys/board");
  EXPECT_EQ(hid->GetAncestorId("/sys/board", 1), "/sys/hub");
  EXPECT_EQ(ProductId(*board), 0x0101);
  EXPECT_EQ(ProductId(*board), 0x0101) << "asked again before the next transfer: the same answer";
  SHidCaps caps;
  ASSERT_TRUE(board->GetCaps(caps));
  EXPECT_EQ(caps.usagePage, 0xFF0D);
  EXPECT_TRUE(board->SetFeature({0x02, 0x00}));

  std::unique_ptr<CHidDevice> loader = hid->Open("/dev/hidraw3");
  ASSERT_TRUE(loader);
  EXPECT_EQ(hid->InstanceIdOfPath("/dev/hidraw3"), "/sys/loader");
  EXPECT_EQ(hid->GetAncestorId("/sys/board", 1), "");
  EXPECT_EQ(ProductId(*loader), 0) << "the failed answer comes first, as it came";
  EXPECT_EQ(ProductId(*loader), 0x0100);
  ASSERT_TRUE(loader->GetCaps(caps));
  EXPECT_EQ(caps.usagePage, 0xFF00);

  const std::unique_ptr<CUsbDevice> usb = replay->Usb()->Open("/dev/bus/usb/001/004");
  ASSERT_TRUE(usb);
  std::vector<uint8_t> descriptor;
  EXPECT_FALSE(usb->GetDeviceDescriptor(descriptor));
  std::vector<uint8_t> data;
  EXPECT_TRUE(usb->ControlTransfer({0x40, 0x01, 0, 0, 0}, data));
  ASSERT_TRUE(usb->GetDeviceDescriptor(descriptor));
  EXPECT_EQ(descriptor, (std::vector<uint8_t>{0x12, 0x01}));
  EXPECT_TRUE(replay->Divergences().empty()) << replay->Divergences().front();
}

// A request must carry the recorded bytes, read in either case of hexadecimal as every other field.
TEST_F(SimReplay, RequestsMatchTheRecordedBytesInEitherCase)
{
  const std::shared_ptr<CSimReplay> replay = Replay(
      "0 ftdi write 0 3 aabb0c\n"
      "0 usb /dev/bus/usb/001/004 open ok\n"
      "0 usb /dev/bus/usb/001/004 control ok c0a1beef00000002 ab12\n"
      "0 usb /dev/bus/usb/001/004 control ok 4001000000000002 a1b2\n");
  const uint8_t bytes[] = {0xAA, 0xBB, 0x0C};
  uint32_t written = 0;
  EXPECT_EQ(replay->D2XX().Write(nullptr, bytes, 3, &written), FT_OK);
  EXPECT_EQ(written, 3u);
  const std::unique_ptr<CUsbDevice> usb = replay->Usb()->Open("/dev/bus/usb/001/004");
  ASSERT_TRUE(usb);
  std::vector<uint8_t> data(2);
  EXPECT_TRUE(usb->ControlTransfer({0xC0, 0xA1, 0xBEEF, 0x0000, 2}, data));
  EXPECT_EQ(data, (std::vector<uint8_t>{0xAB, 0x12}));
  EXPECT_TRUE(replay->Divergences().empty()) << replay->Divergences().front();
  data = {0xA1, 0xB3};
  EXPECT_FALSE(usb->ControlTransfer({0x40, 0x01, 0, 0, 2}, data)) << "other bytes than recorded";
  EXPECT_EQ(replay->Divergences().size(), 1u);
  data = {0xA1, 0xB2};
  EXPECT_TRUE(usb->ControlTransfer({0x40, 0x01, 0, 0, 2}, data));
}

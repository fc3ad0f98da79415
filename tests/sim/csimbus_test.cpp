#include <gtest/gtest.h>

#include "sim/csimbus.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Events = std::vector<std::string>;

const std::string kNormalPath = MakeSimHidPath(0x4F52, 0x0101, 0, 0x2a1b3c4d);
const std::string kBusLoaderPath = MakeSimHidPath(0x4F52, 0x0102, 0, 0x11223344);
const std::string kMousePath = MakeSimHidPath(0x046D, 0xC077, 0, 0x0badf00d);

// Each event as "+path@time" or "-path@time", the time read when it is delivered.
class CRecordingSink : public CDeviceEventSink {
 public:
  void OnInterfaceArrival(const std::string& path_I, EDeviceClass) override { Record("+" + path_I); }
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass) override { Record("-" + path_I); }
  void Record(const std::string& event_I) { events.push_back(event_I + "@" + std::to_string(Clock().NowMs())); }
  Events events;
};

class CSimBusTest : public ::testing::Test {
 protected:
  CSimBusTest()
  {
    mBus->Subscribe(&mSink);
  }

  // Runs the event loop until nothing is pending.
  void RunEvents()
  {
    while (const std::optional<uint64_t> due = mBus->NextEventDueMs()) {
      if (*due > mClock.NowMs()) mClock.Advance(*due - mClock.NowMs());
      mBus->DeliverDueEvents();
    }
  }

  test::CInstalledVirtualClock mClock;
  CRecordingSink mSink;
  std::shared_ptr<CSimBus> mBus = std::make_shared<CSimBus>();
  std::shared_ptr<CSimHidBoard> mBoard = test::MustCreate(
      CSimHidBoard::Create, SSimHidBoardConfig{.normal = {0x4F52, 0x0101, 0x0100, 1, 0xFF0D, kNormalPath, ""},
                                               .loader = {0x4F52, 0x0102, 0x0001, 1, 0xFF0D, kBusLoaderPath, ""},
                                               .flashLoader = {.blocks = MakeSimBlocks(0x1000, 256, 4, 4)}});
  std::shared_ptr<CSimHidCollection> mMouse =
      std::make_shared<CSimHidCollection>(SSimHidIdentity{0x046D, 0xC077, 0x7200, 2, 1, kMousePath, ""});
};

}  // namespace

TEST_F(CSimBusTest, ArrivalsAndReenumerationComeInOrderAfterTheDelay)
{
  ASSERT_TRUE(mBus->Attach(mBoard) && mBus->Attach(mMouse));
  EXPECT_FALSE(mBus->Attach(mBoard));
  EXPECT_EQ(mBus->EnumerateInterfacePaths(EDEVICECLASS_HID), (Events{kNormalPath, kMousePath}));
  EXPECT_EQ(mBus->NextEventDueMs(), 50u);
  mClock.Advance(49);
  EXPECT_EQ(mBus->DeliverDueEvents(), 0u);
  mClock.Advance(51);
  EXPECT_EQ(mBus->DeliverDueEvents(), 2u);
  mBoard->EnterLoader();
  EXPECT_EQ(mBus->EnumerateInterfacePaths(EDEVICECLASS_HID), Events{kMousePath});
  EXPECT_EQ(mBus->NextEventDueMs(), 150u);
  mClock.Advance(50);
  mBus->DeliverDueEvents();
  // The loader's arrival is announced before it happens: an event loop can sleep until then.
  EXPECT_EQ(mBus->NextEventDueMs(), 2150u);
  RunEvents();
  EXPECT_EQ(mSink.events, (Events{"+" + kNormalPath + "@100", "+" + kMousePath + "@100", "-" + kNormalPath + "@150",
                                  "+" + kBusLoaderPath + "@2150"}));
  EXPECT_EQ(mBus->EnumerateInterfacePaths(EDEVICECLASS_HID), (Events{kBusLoaderPath, kMousePath}));
}

TEST_F(CSimBusTest, DetachUnplugsKillsHandlesAndOnlySubscribersHear)
{
  CRecordingSink second;
  mBus->Subscribe(&second);
  mBus->Subscribe(&second);  // heard once all the same
  mBus->SetEventDelayMs(10);
  mBus->Attach(mMouse);
  RunEvents();
  std::unique_ptr<CHidDevice> mouse = mBus->OpenHid(kMousePath);
  SHidAttributes attributes;
  std::vector<uint8_t> report{0x02, 0x00};
  ASSERT_TRUE(mouse && mouse->GetAttributes(attributes));
  EXPECT_FALSE(mouse->SetFeature(report) || mouse->GetFeature(report) || mBus->OpenUsb(kMousePath));
  mClock.Advance(90);
  ASSERT_TRUE(mBus->Detach(mMouse));
  EXPECT_FALSE(mBus->Detach(mMouse) || mouse->GetAttributes(attributes) || mBus->OpenHid(kMousePath));
  RunEvents();
  mBus->Unsubscribe(&mSink);
  mClock.Advance(90);
  ASSERT_TRUE(mBus->Attach(mMouse));
  EXPECT_FALSE(mouse->GetAttributes(attributes));  // a handle from before stays dead
  EXPECT_TRUE(mBus->OpenHid(kMousePath));
  RunEvents();
  const Events heard{"+" + kMousePath + "@10", "-" + kMousePath + "@110", "+" + kMousePath + "@210"};
  EXPECT_EQ(second.events, heard);
  EXPECT_EQ(mSink.events, Events(heard.begin(), heard.begin() + 2));
}

TEST_F(CSimBusTest, DropsAreRemovalsAndAnArrivalThatNeverHappenedIsNotReported)
{
  mBus->Attach(mBoard);
  RunEvents();
  mBoard->EnterLoader();
  mClock.Advance(1000);
  mBoard->DropOffBusAfter(0);
  RunEvents();
  EXPECT_EQ(mSink.events, (Events{"+" + kNormalPath + "@50", "-" + kNormalPath + "@1050"}));
  EXPECT_FALSE(mBus->NextEventDueMs() || !mBus->EnumerateInterfacePaths(EDEVICECLASS_HID).empty());
}

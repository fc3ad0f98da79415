// A busy or absent device is asked again once it is likely to be done, not after a fixed sleep longer than it
// needs: the streaming loader's busy flag, the I2C tunnel's exchanges and a board's return from
// re-enumeration, each against what the device takes (its transfers at their cost and its own time), for
// quick and slow devices alike.
#include <gtest/gtest.h>

#include "common/fwupdater/ci2cfldeviceinterface.h"
#include "common/fwupdater/cintelhex.h"
#include "common/fwupdater/cupdatecontroller.h"
#include "sim/csimplatform.h"
#include "tests/testsupport/crecordingupdatenotifier.h"
#include "tests/testsupport/firmwaretext.h"
#include "tests/testsupport/hidloaderbench.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::test;

namespace {

// What a wait may take beyond what the device needs.
constexpr double kAllowance = 1.10;
constexpr uint64_t kTransferMs = sim::kSimTransferMs;

// An application's event loop on the virtual clock: whatever became due is delivered after every pause.
class CEventLoopClock : public CVirtualClock {
 public:
  void Pause(uint32_t milliseconds_I) override
  {
    CVirtualClock::Pause(milliseconds_I);
    if (mEvents) mEvents->DeliverDueEvents();
  }
  std::shared_ptr<CDeviceEventSource> mEvents;
};

class CAttachMessages : public CDeviceEventSink {
 public:
  explicit CAttachMessages(CUpdateController& controller_I) : mController(controller_I) {}
  void OnInterfaceArrival(const std::string& path_I, EDeviceClass) override { mController.OnAttach(path_I); }
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass) override { mController.OnDetach(path_I); }

 private:
  CUpdateController& mController;
};

}  // namespace

TEST(BusyWaits, TheStreamingLoaderIsAskedAgainWhenItsBusyTimeIsOver)
{
  constexpr uint64_t kPackets = 32;
  for (const uint32_t busyMs : {5u, 20u, 60u}) {
    SHidLoaderBench bench({.protocol = 1, .blocks = sim::MakeSimBlocks(0x8000, 4096, 4, 4), .busyMs = busyMs}, 0xFF0D,
                          kTransferMs);
    CScratchDir dir;
    auto hex = std::make_shared<CIntelHex>();
    ASSERT_TRUE(hex->Load(dir.Write("touch.hex", IntelHexText(0x8000, PatternBytes(3, kPackets * 128)))));
    bench.loader->SetIntelHexData(hex);
    bench.loader->SetDataSourceFormat(EDATASOURCE_HEX);
    const uint64_t start = bench.clock.NowMs();
    ASSERT_TRUE(bench.loader->ProgramBoard());
    // Start, packets and end, each a request, the busy time and its answer; the flow's 1 ms after each packet.
    const uint64_t floorMs = (kPackets + 2) * (2 * kTransferMs + busyMs) + kPackets;
    EXPECT_LE(bench.clock.NowMs() - start, floorMs * kAllowance) << busyMs << " ms busy";
  }
}

TEST(BusyWaits, ATunnelExchangeEndsWhenTheControllerIsDone)
{
  constexpr uint64_t kExchanges = 30;
  for (const uint32_t busyMs : {3u, 10u, 40u}) {
    CInstalledVirtualClock clock;
    const auto bus = std::make_shared<sim::CSimBus>();
    const sim::SSimI2CBoardConfig config{
        .identity = {0x4F52, 0x0101, 0x0100, 2, 0xFF0D, sim::MakeSimHidPath(0x4F52, 0x0101, 1, 5), ""},
        .startInLoader = true,
        .busyMs = busyMs,
        .flashLoader = {.blocks = sim::MakeSimBlocks(0x2000, 1024, 4, 4)}};
    bus->Attach(MustCreate(sim::CSimI2CTunnelBoard::Create, config));
    CI2CFLDeviceInterface touch(config.identity.path, bus);
    ASSERT_TRUE(touch.Open());
    const uint64_t start = clock.NowMs();
    for (uint64_t i = 0; i < kExchanges; ++i) {
      Report value{0x13, 1, 2, 3, static_cast<uint8_t>(i)};
      ASSERT_TRUE(touch.WriteReport(value));
    }
    // Each exchange: its request, the controller's busy time, its status.
    const uint64_t floorMs = kExchanges * (2 * kTransferMs + busyMs);
    EXPECT_LE(clock.NowMs() - start, floorMs * kAllowance) << busyMs << " ms busy";
  }
}

// The wait for a re-enumerating board ends with the arrival message, not at the next whole second.
TEST(BusyWaits, AReenumeratingBoardIsTakenUpWhenItsArrivalIsReported)
{
  constexpr uint32_t kEventDelayMs = 50;
  for (const uint32_t reenumerateMs : {700u, 2000u}) {
    CEventLoopClock clock;
    const CScopedClock installed(clock);
    const std::unique_ptr<sim::CSimPlatform> platform = MustCreate(
        sim::CSimPlatform::CreateFromText,
        R"({"nodes": [["USB\\VID_4F52&PID_0101\\TAB1", "USB\\ROOT_HUB30\\1"]], "devices": [{"kind": "hid",
            "name": "pen", "pid": "0101", "loaderPid": "0100", "usageId": "1", "parent": "USB\\VID_4F52&PID_0101\\TAB1",
            "blockStart": "8000", "blockSize": 4096, "blocks": 32, "writeSize": 128, "reenumerateMs": )" +
            std::to_string(reenumerateMs) + "}]}");
    const std::filesystem::path demo = SourceDir() / "examples" / "demo";
    CUpdateController controller;
    CRecordingUpdateNotifier notifier;
    controller.SetNotifier(&notifier);
    controller.SetDiscovery(platform->CreateDiscovery((demo / "fw_loader.ini").string()));
    CAttachMessages messages(controller);
    clock.mEvents = platform->Events();
    // The boards' own arrivals at the start are news to nobody.
    clock.Pause(kEventDelayMs);
    clock.mEvents->Subscribe(&messages);
    ASSERT_TRUE(controller.UpdateDeviceList());
    ASSERT_TRUE(controller.ValidateAutoUpdate("pen", demo.string()));
    const std::shared_ptr<sim::CSimHidBoard> board = platform->HidBoard("pen");
    const size_t before = board->Trace().size();
    ASSERT_TRUE(controller.UpdateDevice());
    const uint64_t doneMs = clock.NowMs();
    clock.mEvents->Unsubscribe(&messages);
    const std::vector<sim::SSimTransfer> trace = board->Trace();
    ASSERT_GT(trace.size(), before + 3);
    // From the second half of the enter-loader pair to the loader's first answer, and from the leave-loader
    // command to the board's return: off the bus, its arrival reported, one transfer.
    const uint64_t returnMs = reenumerateMs + kEventDelayMs + kTransferMs;
    EXPECT_LE(trace[before + 2].timeMs - trace[before + 1].timeMs, returnMs * kAllowance) << reenumerateMs;
    EXPECT_LE(doneMs - trace.back().timeMs, returnMs * kAllowance) << reenumerateMs;
  }
}

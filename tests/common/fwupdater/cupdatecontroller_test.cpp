#include <gtest/gtest.h>

#include "common/cclock.h"
#include "common/fwupdater/cfldeviceinterface.h"
#include "common/fwupdater/cupdatecontroller.h"
#include "sim/csimhidsystem.h"
#include "tests/testsupport/crecordingupdatenotifier.h"
#include "tests/testsupport/firmwaretext.h"
#include "common/stringutilities.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::test;

namespace {

const char* const kTopology = R"([{"name":"Display",
  "penBoard":{"pid":"0210","usageId":"1","usagePg":"FF0D","sectors":16,"intoBLMode":false,"update":"pen.orv"},
  "scalarBoard":{"pid":"1063","update":"scaler.bin"}}])";

// A pen display whose pen board is switched into its loader in place, with one controller over it.
class CInPlaceUpdate : public ::testing::Test {
 protected:
  CInPlaceUpdate() : mSystem(std::make_shared<sim::CSimHidSystem>())
  {
    sim::SSimHidBoardConfig config;
    config.normal = {0x4F52, 0x0210, 0x0100, 1, 0xFF0D, sim::MakeSimHidPath(0x4F52, 0x0210, 0, 0x61), "USB\\VID_4F52&PID_0210\\1"};
    config.loader = config.normal;
    config.reenumerate = false;
    config.flashLoader.protocol = 1;
    config.flashLoader.blocks = sim::MakeSimBlocks(0x4000, 4096, 16, 4);
    mBoard = MustCreate(sim::CSimHidBoard::Create, config);
    mSystem->AddBoard(mBoard);
    mDir.Write("fw_loader.ini", kTopology);
    mDir.Write("pen.orv", SRecordText({{0x4000, mImage}}));
    mController.SetDiscovery(std::make_unique<CDiscovery>(mSystem, nullptr, mSystem->Bus(),
                                                          (mDir.Path() / "fw_loader.ini").string()));
    mController.SetNotifier(&mNotifier);
  }
  // The controller sets the process-wide protocol type; later tests start from the default.
  ~CInPlaceUpdate() override { CFLDeviceInterface::SetProtocolType(0); }

  bool Prepare(const std::string& type_I)
  {
    return mController.UpdateDeviceList() && mController.ValidateAutoUpdate(type_I, mDir.Path().string());
  }

  CInstalledVirtualClock mClock;
  std::shared_ptr<sim::CSimHidSystem> mSystem;
  std::shared_ptr<sim::CSimHidBoard> mBoard;
  CScratchDir mDir;
  const std::vector<uint8_t> mImage = PatternBytes(21, 10000);
  CRecordingUpdateNotifier mNotifier;
  CUpdateController mController;
};

}  // namespace

TEST_F(CInPlaceUpdate, PenBoardIsProgrammedAndBackInNormalMode)
{
  ASSERT_TRUE(Prepare("pen"));
  EXPECT_EQ(mController.GetState(), ESTATE_READY);
  ASSERT_TRUE(mController.UpdateDevice());
  EXPECT_EQ(mNotifier.mStates, (std::vector<int32_t>{ESTATE_IDLE, ESTATE_READY, ESTATE_ENTER_LOADER, ESTATE_PROGRAM,
                                                     ESTATE_EXIT_LOADER, ESTATE_SUCCESS, ESTATE_SUCCESS}));
  EXPECT_EQ(mBoard->FlashBytes(0x4000, static_cast<uint32_t>(mImage.size())), mImage);
  EXPECT_EQ(mBoard->Mode(), sim::ESIMBOARDMODE_NORMAL);
  EXPECT_EQ(mBoard->RomMagic(), sim::kSimValidMagic);
  EXPECT_TRUE(mNotifier.Has("Setting protocolType to 1"));
  EXPECT_TRUE(mNotifier.Has("Device Update complete!"));
  EXPECT_EQ(mNotifier.mProgress, 100);
  EXPECT_FALSE(mController.GetSelectedDevice()->mIsLoader);
}

TEST_F(CInPlaceUpdate, ASectorMismatchLeavesTheLoaderAndFails)
{
  mDir.Write("fw_loader.ini", std::string(kTopology).replace(std::string(kTopology).find("16"), 2, "64"));
  ASSERT_TRUE(Prepare("pen"));
  EXPECT_FALSE(mController.UpdateDevice());
  EXPECT_TRUE(mNotifier.Has("[ERROR] InitCheckForSRecData: Sector/Block mismatch! Expected 64 got 16\n (8)"));
  EXPECT_TRUE(mNotifier.Has("[ERROR] General Program Failure (6)"));
  EXPECT_EQ(mController.GetState(), ESTATE_FAILED);
  // The board was told to leave its loader with the short exit report.
  const std::vector<sim::SSimTransfer> trace = mBoard->Trace();
  EXPECT_TRUE(std::any_of(trace.begin(), trace.end(), [](const sim::SSimTransfer& transfer_I) {
    return transfer_I.bytes == std::vector<uint8_t>{0xCD, 0xA6, 0x50};
  }));
  EXPECT_EQ(mBoard->Mode(), sim::ESIMBOARDMODE_NORMAL);
}

TEST_F(CInPlaceUpdate, AutoUpdateNamesAndMissingInterfaces)
{
  ASSERT_TRUE(mController.UpdateDeviceList());
  for (const char* type : {"Pen", "touch", ""}) {
    EXPECT_FALSE(mController.ValidateAutoUpdate(type, mDir.Path().string())) << type;
  }
  EXPECT_TRUE(mNotifier.mStates.empty());
  // The scaler file does not exist: the type changes, the file does not load.
  EXPECT_FALSE(mController.ValidateAutoUpdate("scalar", mDir.Path().string()));
  EXPECT_EQ(mController.GetUpdateType(), EUPDATETYPE_SCALAR);
  EXPECT_EQ(mController.GetState(), ESTATE_IDLE);
  test::CDebugCapture capture;
  EXPECT_FALSE(mController.UpdateDevice());
  EXPECT_TRUE(mNotifier.Has("mainInterface not valid."));
  EXPECT_EQ(capture.CountAsserts("\"Oops - Could not get a mainInterface pointer\""), 1u);
  // A board update without its interface ends with a verdict: no run waits for ever on it.
  EXPECT_EQ(mController.GetState(), ESTATE_FAILED);

  auto unnamed = std::make_shared<CDevice>();
  const std::shared_ptr<CDevice> selected = mController.GetSelectedDevice();
  EXPECT_FALSE(mController.SetSelectedDevice(unnamed));
  EXPECT_EQ(mController.GetSelectedDevice(), selected);
}

TEST_F(CInPlaceUpdate, AttachAndDetachMessagesMoveTheStateOnlyWhenExpected)
{
  ASSERT_TRUE(Prepare("pen"));
  const std::string path = mBoard->Path();
  mController.OnAttach(path);
  EXPECT_TRUE(mNotifier.Has("Ignored Attach Message (" + path + ")"));
  EXPECT_EQ(mController.GetState(), ESTATE_READY);
  // A board switched in place never ends the run by leaving the bus.
  mController.OnDetach(path);
  EXPECT_TRUE(mNotifier.Has("Ignored Unimportant Detach Message (" + path + ")"));

  mController.GetSelectedDevice()->mIntoBLMode[EUPDATETYPE_PEN] = true;
  mController.OnDetach(ToLower(path));
  EXPECT_TRUE(mNotifier.Has("IMPORTANT Detach Message (" + ToLower(path) + ") STATE->ESTATE_TERMINATE"));
  EXPECT_EQ(mController.GetState(), ESTATE_TERMINATE);
  mController.OnDetach("\\\\?\\other");
  EXPECT_TRUE(mNotifier.Has("Ignored Unimportant Detach Message (\\\\?\\other)"));
}

TEST_F(CInPlaceUpdate, NoDeviceGivesAListError)
{
  mBoard->DropOffBusAfter(0);
  EXPECT_FALSE(mController.UpdateDeviceList());
  EXPECT_TRUE(mNotifier.Has("[ERROR] Could not find selected device (1)"));
  EXPECT_EQ(mController.GetSelectedDevice(), nullptr);
}

// The worker gives up on a board (here: it never came back from its loader) while the application thread handles
// an arrival: between the arrival's look at the state and its change of it. The failure must stand; a success
// there would have the run count a board whose update failed.
TEST(CUpdateControllerStates, AnArrivalAsTheUpdateFailsNeverTurnsTheFailureIntoASuccess)
{
  struct CController : CUpdateController {
    using CUpdateController::SetState;
    using CUpdateController::UpdateFailed;
  } controller;
  struct CNotifier : CRecordingUpdateNotifier {
    void Log(const std::string& message_I) override
    {
      CRecordingUpdateNotifier::Log(message_I);
      if (message_I.rfind("IMPORTANT Attach Message", 0) != 0) return;
      if (auto hook = std::exchange(mOnLog, nullptr)) hook();
    }
    std::function<void()> mOnLog;
  } notifier;
  controller.SetNotifier(&notifier);
  controller.SetState(ESTATE_EXIT_LOADER);
  notifier.mOnLog = [&controller] { controller.UpdateFailed(5, "There was a problem swapping out of flash mode"); };
  controller.OnAttach("\\\\?\\hid#board");
  EXPECT_EQ(notifier.mStates.back(), ESTATE_FAILED);
  EXPECT_EQ(controller.GetState(), ESTATE_FAILED);
}

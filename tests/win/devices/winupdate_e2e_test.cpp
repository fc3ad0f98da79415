// Whole updates through the Windows device layer: the application's run with the Windows discovery over
// system calls in front of the simulated boards, and the display scaler through FTD2XX.dll.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/runapplication.h"
#include "common/cclock.h"
#include "common/osd/cd2xx.h"
#include "sim/csimplatform.h"
#include "tests/testsupport/crecordingview.h"
#include "tests/testsupport/flashimages.h"
#include "tests/testsupport/testfiles.h"
#include "tests/win/devices/csimbridgedll.h"
#include "tests/win/devices/csimwincalls.h"
#include "win/common/importwin32api.h"
#include "win/fwupdater/cwindiscovery.h"

using namespace orv;

namespace {

// A copy of the demo package as the working directory; the run and its worker share a virtual clock, and the
// test DLL answers with the scenario's bridge.
class WinUpdate : public ::testing::Test {
 protected:
  WinUpdate() : mInstalled(mClock), mPrevious(std::filesystem::current_path())
  {
    std::filesystem::copy(test::SourceDir() / "examples" / "demo", mDir.Path() / "demo");
    std::filesystem::current_path(mDir.Path() / "demo");
  }
  ~WinUpdate() override { std::filesystem::current_path(mPrevious); }

  // Runs the application on the scenario (a file, or "default") with the bridge DLL of that name bound as the
  // vendor's library.
  int Run(const std::u16string& commandLine_I, const std::string& scenario_I,
          const wchar_t* ftdiDll_I = L"FTD2XX.dll")
  {
    std::string error;
    mPlatform = sim::CSimPlatform::Create(scenario_I, error);
    EXPECT_TRUE(mPlatform) << error;
    mCalls = std::make_shared<test::CSimWinCalls>(mPlatform->Bus());
    const test::CSimBridgeDll dll(mPlatform->D2XX());
    SApplicationPorts ports;
    ports.view = [this]() -> CUpdateView& { return mView; };
    ports.userLanguage = std::make_shared<CFixedUserLanguage>(1033);
    ports.preUpdatePrompt = [](const CLanguageProvider&) { return 0; };
    ports.makeEnvironment = [this] {
      SRunEnvironment environment;
      environment.discovery = std::make_unique<CWinDiscovery>(mCalls->Tables(), "./fw_loader.ini");
      environment.events = mPlatform->Events();
      return environment;
    };
    ports.tempDir = mDir.Path().string() + "/";
    ports.logPath = &mLogPath;
    CFTDIExAPI32 d2xx(std::make_unique<CWinImportLibrary>(ftdiDll_I));
    const CScopedD2XX bridge(d2xx);
    return RunApplication(ParseCommandLine(commandLine_I), ports);
  }

  std::string Log() { return test::ReadText(mLogPath); }

  void ExpectFlashed(const std::string& board_I, const std::string& file_I)
  {
    test::ExpectFlashed(file_I, test::SimFlash(*mPlatform, board_I));
  }
  void ExpectDisplayBoardsProgrammed()
  {
    ExpectFlashed("pen", "display_pen.orv");
    ExpectFlashed("touch", "display_touch.hex");
    ExpectFlashed("bluetooth", "display_bt.airoflash");
  }

  CScheduledClock mClock;
  CScopedClock mInstalled;
  test::CScratchDir mDir;
  std::filesystem::path mPrevious;
  std::unique_ptr<sim::CSimPlatform> mPlatform;
  std::shared_ptr<test::CSimWinCalls> mCalls;
  test::CRecordingView mView;
  std::string mLogPath;
};

}  // namespace

TEST_F(WinUpdate, ATabletIsFollowedThroughItsLoaderAndEveryHandleIsClosed)
{
  EXPECT_EQ(Run(u"-testpid 0101 -auto pen,touch", "tablet_s.scenario"), 0);
  ExpectFlashed("pen", "tablet_s.pen");
  ExpectFlashed("touch", "tablet_s.touch");
  const std::string log = Log();
  EXPECT_NE(log.find("IMPORTANT Attach Message (" + mPlatform->HidBoard("pen")->Config().loader.path), std::string::npos);
  EXPECT_EQ(mCalls->Leftovers(), "");
}

TEST_F(WinUpdate, EveryBoardOfThePenDisplayIsUpdatedTheScalerThroughTheDll)
{
  EXPECT_EQ(Run(u"", "default"), 0) << Log();
  ExpectDisplayBoardsProgrammed();
  ExpectFlashed("scalar", "display_scaler.bin");
  EXPECT_EQ(mCalls->Leftovers(), "");
}

TEST_F(WinUpdate, WithoutTheDllEveryOtherBoardIsUpdatedAndTheScalerFails)
{
  test::CDebugCapture capture;
  EXPECT_EQ(Run(u"", "default", L"FTD2XX-absent.dll"), 1);
  ExpectDisplayBoardsProgrammed();
  EXPECT_NE(Log().find("Failed to open device and/or load data"), std::string::npos);
  EXPECT_GE(capture.CountAsserts("m_pList"), 1u);
  EXPECT_EQ(mView.mIcon, EMESSAGEICON_ERROR);
}

// Whole updates through the Windows device layer: the application's run with the Windows discovery over
// system calls in front of the simulated boards, and the display scaler through FTD2XX.dll.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/runapplication.h"
#include "common/cclock.h"
#include "common/osd/cd2xx.h"
#include "common/textconversion.h"
#include "sim/csimplatform.h"
#include "tests/testsupport/crecordingview.h"
#include "tests/testsupport/flashimages.h"
#include "tests/testsupport/testfiles.h"
#include "tests/win/devices/csimbridgedll.h"
#include "tests/win/devices/csimwincalls.h"
#include "win/common/importwin32api.h"
#include "win/common/winprocessservices.h"
#include "win/fwupdater/cwindevicemessages.h"
#include "win/fwupdater/cwindiscovery.h"
#include "win/fwupdater/cwinrecording.h"

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
  // vendor's library; with "-record FILE" every call goes through a recording as the program's own does, and
  // the arrivals and removals reach the recording's window as device-change messages.
  int Run(const std::u16string& commandLine_I, const std::string& scenario_I,
          const wchar_t* ftdiDll_I = L"FTD2XX.dll")
  {
    std::string error;
    mPlatform = sim::CSimPlatform::Create(scenario_I, error);
    EXPECT_TRUE(mPlatform) << error;
    mCalls = std::make_shared<test::CSimWinCalls>(mPlatform->Bus());
    const test::CSimBridgeDll dll(mPlatform->D2XX());
    const StartupOptions options = ParseCommandLine(commandLine_I);
    CFTDIExAPI32 d2xx(std::make_unique<CWinImportLibrary>(ftdiDll_I));
    CWinRecording recording;
    CWinDeviceMessages toRecording(mPlatform->Events(), [&recording] { return recording.Window(); });
    if (!options.recordFile.empty()) {
      EXPECT_TRUE(recording.Open(WideToUtf8(options.recordFile), d2xx, error)) << error;
      toRecording.Subscribe(nullptr);
    }
    SApplicationPorts ports = Ports([&] {
      SRunEnvironment environment;
      environment.discovery = std::make_unique<CWinDiscovery>(mCalls->Tables(), "./fw_loader.ini", recording.Recorder());
      // A system whose device notifications never come gives the run no event source at all.
      if (mNotifications) environment.events = mPlatform->Events();
      environment.keepAwake = mKeepAwake;
      return environment;
    });
    const CScopedD2XX bridge(recording.Recorder() ? recording.D2XX() : d2xx);
    const int code = RunApplication(options, ports);
    toRecording.Unsubscribe(nullptr);
    EXPECT_TRUE(options.recordFile.empty() || recording.Good());
    EXPECT_EQ(mCalls->Leftovers(), "") << "every handle is closed after the run";
    return code;
  }

  // Runs the application on a recording, as -simulate FILE does.
  int Replay(const std::u16string& commandLine_I, const std::string& recording_I)
  {
    std::string error;
    const std::unique_ptr<sim::CSimPlatform> replay = sim::CSimPlatform::Create(recording_I, error);
    EXPECT_TRUE(replay) << error;
    if (!replay) return -1;
    SApplicationPorts ports = Ports([&] {
      SRunEnvironment environment;
      environment.discovery = replay->CreateDiscovery("./fw_loader.ini");
      environment.events = replay->Events();
      return environment;
    });
    const CScopedD2XX bridge(replay->D2XX());
    const int code = RunApplication(ParseCommandLine(commandLine_I), ports);
    EXPECT_TRUE(replay->WriteResults(error)) << error;
    return code;
  }

  SApplicationPorts Ports(std::function<SRunEnvironment()> makeEnvironment_I)
  {
    SApplicationPorts ports;
    ports.view = [this]() -> CUpdateView& { return mView; };
    ports.userLanguage = std::make_shared<CFixedUserLanguage>(1033);
    ports.preUpdatePrompt = [](const CLanguageProvider&) { return 0; };
    ports.makeEnvironment = std::move(makeEnvironment_I);
    ports.tempDir = mDir.Path().string() + "/";
    ports.logPath = &mLogPath;
    return ports;
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
  bool mNotifications = true;
  CKeepAwake* mKeepAwake = nullptr;
};

// A recording's lines without the milliseconds each begins with.
std::string WithoutTimes(const std::string& recording_I)
{
  std::istringstream lines(recording_I);
  std::string stripped;
  for (std::string line; std::getline(lines, line);) stripped += line.substr(line[0] == '#' ? 0 : line.find(' ') + 1) + "\n";
  return stripped;
}

}  // namespace

// A tablet is followed through its loader by the system's arrivals; with RegisterDeviceNotification delivering
// nothing (a failed registration, a filter driver, a remote session) the waits list the devices through
// SetupAPI once a second and find the loader, and the tablet after it.
TEST_F(WinUpdate, ATabletIsFollowedThroughItsLoaderWithOrWithoutDeviceNotifications)
{
  for (const bool notifications : {true, false}) {
    mNotifications = notifications;
    EXPECT_EQ(Run(u"-testpid 0101 -auto pen,touch", "tablet_s.scenario"), 0) << Log();
    ExpectFlashed("pen", "tablet_s.pen");
    ExpectFlashed("touch", "tablet_s.touch");
    const std::string log = Log();
    const std::string attached = "IMPORTANT Attach Message (" + mPlatform->HidBoard("pen")->Config().loader.path;
    EXPECT_EQ(log.find(attached) != std::string::npos, notifications) << log;
    if (!notifications) {
      EXPECT_EQ(log.find("Attach Message ("), std::string::npos);
      const size_t loader = log.find("without an Attach Message STATE->ESTATE_PROGRAM");
      EXPECT_NE(loader, std::string::npos);
      EXPECT_NE(log.find("without an Attach Message STATE->ESTATE_SUCCESS", loader), std::string::npos) << "then the tablet";
    }
  }
}

// A tablet also shows Windows a mouse and a keyboard collection (its pen and its express keys), which the
// system keeps to itself: an open for reading or writing is denied. Listed before the boards, they are passed
// over and the boards are updated.
TEST_F(WinUpdate, TheMouseAndKeyboardCollectionsWindowsKeepsArePassedOver)
{
  std::string scenario = test::ReadText("tablet_s.scenario");
  const std::string devices = "\"devices\": [";
  const std::string collection = R"({"kind": "collection", "pid": "0101", "usagePg": "1", "interface": 2, )"
                                 R"("parent": "USB\\VID_4F52&PID_0101\\TAB1", )";
  scenario.insert(scenario.find(devices) + devices.size(), collection + R"("usageId": "2", "instance": 3},)" +
                                                               collection + R"("usageId": "6", "instance": 4},)");
  std::ofstream("tablet_input.scenario") << scenario;
  EXPECT_EQ(Run(u"-testpid 0101 -auto pen,touch", "tablet_input.scenario"), 0) << Log();
  ExpectFlashed("pen", "tablet_s.pen");
  ExpectFlashed("touch", "tablet_s.touch");
  EXPECT_GE(mCalls->mDeniedOpens, 2u);
}

TEST_F(WinUpdate, EveryBoardOfThePenDisplayIsUpdatedTheScalerThroughTheDll)
{
  EXPECT_EQ(Run(u"", "default"), 0) << Log();
  ExpectDisplayBoardsProgrammed();
  ExpectFlashed("scalar", "display_scaler.bin");
}

class CRecordingPowerCalls : public CWinPowerCalls {
 public:
  uint32_t SetThreadExecutionState(uint32_t flags_I) override
  {
    mFlags.push_back(flags_I);
    return ES_CONTINUOUS;
  }
  std::vector<uint32_t> mFlags;
};

// Every tick that shows a busy status (a board in or near its loader) has asked the system to stay awake
// just before, and the end lets go.
TEST_F(WinUpdate, EveryBusyTickOfARunAsksTheSystemToStayAwake)
{
  // Boards slow enough (10 ms a transfer) that each one's update spans a tick.
  std::string scenario = sim::CSimPlatform::DefaultScenario();
  const std::string inPlace = "\"inPlace\": true";
  for (size_t at = scenario.find(inPlace); at != std::string::npos; at = scenario.find(inPlace, at + inPlace.size())) {
    scenario.replace(at, inPlace.size(), inPlace + ", \"transferMs\": 10");
  }
  std::ofstream("slow.scenario") << scenario;
  const auto calls = std::make_shared<CRecordingPowerCalls>();
  CWinKeepAwake keepAwake(calls);
  mKeepAwake = &keepAwake;
  constexpr uint32_t kBusy = ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED;
  size_t busyTicks = 0;
  size_t callsSeen = 0;
  mView.mOnStatus = [&](const std::u16string& status_I) {
    ++busyTicks;
    ASSERT_GT(calls->mFlags.size(), callsSeen) << WideToUtf8(status_I);
    EXPECT_EQ(calls->mFlags.back(), kBusy) << WideToUtf8(status_I);
    callsSeen = calls->mFlags.size();
  };
  EXPECT_EQ(Run(u"-testpid 0210 -auto pen,touch,bluetooth", "slow.scenario"), 0) << Log();
  EXPECT_GE(busyTicks, 3u) << "each board has a busy tick at least";
  EXPECT_EQ(static_cast<size_t>(std::count(calls->mFlags.begin(), calls->mFlags.end(), kBusy)), busyTicks);
  ASSERT_FALSE(calls->mFlags.empty());
  EXPECT_EQ(calls->mFlags.back(), static_cast<uint32_t>(ES_CONTINUOUS));
}

TEST_F(WinUpdate, WithoutTheDllEveryOtherBoardIsUpdatedAndTheScalerFails)
{
  test::CDebugCapture capture;
  EXPECT_EQ(Run(u"", "default", L"FTD2XX-absent.dll"), 1);
  ExpectDisplayBoardsProgrammed();
  EXPECT_NE(Log().find("Failed to open device and/or load data"), std::string::npos);
  EXPECT_GE(capture.CountAsserts("m_pList"), 1u);
  // A quiet library reports nothing of its own: the member assertion is what the log shows.
  EXPECT_EQ(capture.CountAsserts("m_hDll"), 0u);
  EXPECT_EQ(mView.mIcon, EMESSAGEICON_ERROR);
}

// A run recorded on Windows holds what a Linux recording holds: the enumerations, the device tree's answers,
// every feature report and D2XX call, and the arrivals and removals the system reported to the recording's
// window; replayed as a scenario, the same run meets every request as recorded and ends alike.
TEST_F(WinUpdate, ARunRecordedThroughTheSystemCallsReplaysAsAScenario)
{
  ASSERT_EQ(Run(u"-testpid 0101 -auto pen -record tablet.rec", "tablet_s.scenario"), 0) << Log();
  const std::string pen = mPlatform->HidBoard("pen")->Path();
  const std::string loader = mPlatform->HidBoard("pen")->Config().loader.path;
  const std::string recording = test::ReadText("tablet.rec");
  for (const std::string& line : {std::string(kRecordingHeader) + "\n", " enumerate hid " + pen, std::string(" enumerate bulk"),
                                  " hid " + pen + " set ok CC4F52", " removal hid " + pen + "\n",
                                  " arrival hid " + loader + "\n", " node " + pen + " ", std::string(" get ok ")}) {
    EXPECT_NE(recording.find(line), std::string::npos) << line;
  }
  // The Linux tests replay a copy of this recording; it must stay what the Windows program records.
  std::filesystem::copy_file("tablet.rec", mPrevious / "tablet_s-windows.rec", std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(WithoutTimes(recording), WithoutTimes(test::ReadText(test::SourceDir() / "tests/win/devices/tablet_s-windows.rec")))
      << "the fresh recording is " << (mPrevious / "tablet_s-windows.rec").string();

  ASSERT_EQ(Replay(u"-testpid 0101 -auto pen", "tablet.rec"), 0) << Log();
  EXPECT_NE(Log().find("IMPORTANT Attach Message (" + loader), std::string::npos);
}

TEST_F(WinUpdate, TheScalersD2XXCallsThroughTheDllAreRecordedAndReplayed)
{
  ASSERT_EQ(Run(u"-testpid 0210 -auto scalar -record scaler.rec", "default"), 0) << Log();
  const std::string recording = test::ReadText("scaler.rec");
  for (const char* line : {" ftdi list-count 0 1\n", " ftdi open 0 ", " ftdi bitmode 0 ", " ftdi write 0 ", " ftdi read 0 "}) {
    EXPECT_NE(recording.find(line), std::string::npos) << line;
  }
  ASSERT_EQ(Replay(u"-testpid 0210 -auto scalar", "scaler.rec"), 0) << Log();
}

TEST_F(WinUpdate, ARecordingThatCannotBeWrittenIsRefused)
{
  CWinRecording recording;
  std::string error;
  CFTDIExAPI32 d2xx(std::make_unique<CWinImportLibrary>(L"FTD2XX-absent.dll"));
  EXPECT_FALSE(recording.Open("no-such-folder/run.rec", d2xx, error));
  EXPECT_EQ(error, "cannot write the recording no-such-folder/run.rec");
}

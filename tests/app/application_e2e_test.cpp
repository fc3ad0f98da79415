#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "app/runapplication.h"
#include "app/uistrings.h"
#include "common/cclock.h"
#include "common/osd/cd2xx.h"
#include "common/textconversion.h"
#include "sim/csimplatform.h"
#include "tests/testsupport/crecordingview.h"
#include "tests/testsupport/flashimages.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

// The tablet driver's events as the run signals them, in order.
class CRecordingEvents : public CNamedEvents {
 public:
  bool Signal(const std::string& name_I) override
  {
    mSignalled.push_back(name_I);
    return true;
  }
  std::vector<std::string> mSignalled;
};

// Windows broadcasts a device's interface removals and another device's arrivals in no fixed order: a board
// that re-enumerates may be reported back before its old interfaces are reported gone. Here every removal
// is held until the next arrival has been delivered.
class CArrivalFirstEvents : public CDeviceEventSource, private CDeviceEventSink {
 public:
  explicit CArrivalFirstEvents(std::shared_ptr<CDeviceEventSource> events_I) : mEvents(std::move(events_I)) {}
  void Subscribe(CDeviceEventSink* sink_I) override
  {
    mSink = sink_I;
    mEvents->Subscribe(this);
  }
  void Unsubscribe(CDeviceEventSink* /*sink_I*/) override { mEvents->Unsubscribe(this); }
  void DeliverDueEvents() override { mEvents->DeliverDueEvents(); }

 private:
  void OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I) override
  {
    mSink->OnInterfaceArrival(path_I, class_I);
    for (const auto& removal : std::exchange(mHeld, {})) mSink->OnInterfaceRemoval(removal.first, removal.second);
  }
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I) override { mHeld.emplace_back(path_I, class_I); }

  std::shared_ptr<CDeviceEventSource> mEvents;
  CDeviceEventSink* mSink = nullptr;
  std::vector<std::pair<std::string, EDeviceClass>> mHeld;
};

// A copy of the demo package as the working directory, a simulated platform and a view; the whole run on
// a virtual clock shared by the run's thread and its worker.
class CApplicationRun : public ::testing::Test {
 protected:
  CApplicationRun() : mInstalled(mClock), mPrevious(std::filesystem::current_path())
  {
    std::filesystem::copy(test::SourceDir() / "examples" / "demo", mDir.Path() / "demo");
    std::filesystem::current_path(mDir.Path() / "demo");
  }
  ~CApplicationRun() override { std::filesystem::current_path(mPrevious); }

  int Run(const std::u16string& commandLine_I, const std::string& scenario_I = "default")
  {
    mPlatform = test::MustCreate(sim::CSimPlatform::Create, scenario_I);
    SApplicationPorts ports;
    ports.view = [this]() -> CUpdateView& { return mView; };
    ports.userLanguage = std::make_shared<CFixedUserLanguage>(1033);
    ports.preUpdatePrompt = [this](const CLanguageProvider&) {
      ++mPrompts;
      return mPromptAnswer;
    };
    ports.makeEnvironment = [this] {
      SRunEnvironment environment;
      environment.discovery = mPlatform->CreateDiscovery("./fw_loader.ini");
      // A system whose device notifications never come (failed registration, a filter driver, a remote
      // session) gives the run no event source at all.
      if (mNotifications) environment.events = mPlatform->Events();
      if (mNotifications && mArrivalsFirst) environment.events = std::make_shared<CArrivalFirstEvents>(environment.events);
      environment.namedEvents = mEvents;
      return environment;
    };
    ports.tempDir = mDir.Path().string() + "/";
    ports.commandLine = "test " + WideToUtf8(commandLine_I);
    ports.localTime = mLocalTime;
    ports.logPath = &mLogPath;
    ports.result = &mResult;
    ports.endSession = &mEndSession;
    const CScopedD2XX bridge(mPlatform->D2XX());
    return RunApplication(ParseCommandLine(commandLine_I), ports);
  }

  // Runs and checks the exit code; the message tells why a run ended otherwise.
  void ExpectRun(int code_I, const std::u16string& commandLine_I, const std::string& scenario_I = "default")
  {
    EXPECT_EQ(Run(commandLine_I, scenario_I), code_I) << WideToUtf8(commandLine_I) << ": "
                                                      << WideToUtf8(mView.mMessage);
  }

  std::string Log() { return test::ReadText(mLogPath); }
  // Each text stands in the log, first found after the text before it.
  void ExpectLogged(std::initializer_list<std::string> texts_I)
  {
    const std::string log = Log();
    size_t previous = 0;
    for (const std::string& text : texts_I) {
      const size_t at = log.find(text);
      EXPECT_NE(at, std::string::npos) << text << "\n" << log;
      EXPECT_GE(at, previous) << text;
      previous = at;
    }
  }
  void ExpectMessage(uint16_t messageId_I, const std::string& detail_I = "")
  {
    EXPECT_EQ(mView.mMessage, English(messageId_I) + (detail_I.empty() ? u"" : u"\n" + Utf8ToWide(detail_I)));
  }
  void ExpectOutcomes(const std::vector<std::string>& outcomes_I)
  {
    std::vector<std::string> outcomes;
    for (const SBoardResult& board : mResult.boards) outcomes.push_back(board.outcome);
    EXPECT_EQ(outcomes, outcomes_I);
  }
  // The run ends with 1 and the message, its detail on the line under it, before any board is touched.
  // Nobody is asked to accept the pre-update warning for a run that cannot go ahead.
  void ExpectEndedUntouched(const std::u16string& options_I, uint16_t messageId_I, const std::string& detail_I,
                            const std::string& scenario_I = "default")
  {
    mPrompts = 0;
    ExpectRun(1, options_I, scenario_I);
    EXPECT_EQ(mPrompts, 0) << WideToUtf8(options_I);
    const std::u16string expected = English(messageId_I) + u"\n" + Utf8ToWide(detail_I);
    EXPECT_EQ(mView.mMessage.rfind(expected, 0), 0u) << WideToUtf8(mView.mMessage);
    EXPECT_EQ(Log().find("[STATE]"), std::string::npos) << WideToUtf8(options_I);
  }

  std::u16string English(uint16_t id_I) { return LoadResString(id_I, 9); }
  // Writes the scenario with the text inserted before the first anchor; returns the file's name.
  // By default the demo's tablet is edited before its pen's loader, the default display before its pen's block
  // size.
  static std::string EditScenario(const char* file_I, bool tablet_I, const std::string& insert_I,
                                  const std::string& anchor_I = "")
  {
    std::string scenario = tablet_I ? test::ReadText("tablet_s.scenario") : sim::CSimPlatform::DefaultScenario();
    const std::string anchor = !anchor_I.empty() ? anchor_I : tablet_I ? "\"loaderPid\"" : "\"writeSize\"";
    scenario.insert(scenario.find(anchor), insert_I);
    std::ofstream(file_I) << scenario;
    return file_I;
  }
  void ExpectFlashed(const std::string& board_I, const std::string& file_I)
  {
    test::ExpectFlashed(file_I, test::SimFlash(*mPlatform, board_I));
  }

  CScheduledClock mClock;
  CScopedClock mInstalled;
  test::CScratchDir mDir;
  std::filesystem::path mPrevious;
  std::unique_ptr<sim::CSimPlatform> mPlatform;
  test::CRecordingView mView;
  std::string mLogPath;
  std::tm mLocalTime{};
  SRunResult mResult;
  int mPromptAnswer = 1;
  int mPrompts = 0;
  bool mNotifications = true;
  bool mArrivalsFirst = false;
  std::shared_ptr<CRecordingEvents> mEvents = std::make_shared<CRecordingEvents>();
  std::function<bool()> mEndSession;
};

}  // namespace

// Both boards end out of their loaders: the pen board re-enumerated back, the touch controller behind the tunnel
// asked to leave its own.
TEST_F(CApplicationRun, ATabletThatReenumeratesIsFollowedThroughItsArrivals)
{
  ExpectRun(0, u"-testpid 0101 -auto pen,touch", "tablet_s.scenario");
  ExpectFlashed("pen", "tablet_s.pen");
  ExpectFlashed("touch", "tablet_s.touch");
  EXPECT_EQ(mPlatform->HidBoard("pen")->Mode(), sim::ESIMBOARDMODE_NORMAL);
  EXPECT_EQ(mPlatform->I2CBoard("touch")->Mode(), sim::ESIMBOARDMODE_NORMAL);
  ExpectLogged({"[STATE] 2", "Waiting for bootloader mode...", "IMPORTANT Attach Message (", ") STATE->ESTATE_PROGRAM",
                "Setting protocolType to 0", ") STATE->ESTATE_SUCCESS"});
  // Back within a second, its new interfaces reported before its old ones are reported gone: the loader's
  // removal ends nothing.
  mArrivalsFirst = true;
  ExpectRun(0, u"-testpid 0101 -auto pen,touch", EditScenario("quick.scenario", true, "\"reenumerateMs\": 300, "));
  ExpectOutcomes({"updated", "updated"});
  EXPECT_EQ(Log().find("STATE->ESTATE_TERMINATE"), std::string::npos) << Log();
}

// Without arrival messages the waits find the board by listing the devices once a second, into its loader and
// back; the loader's arrival after a slow re-enumeration is found the same way.
TEST_F(CApplicationRun, ATabletIsFoundThroughItsLoaderWithoutAnyArrivalMessage)
{
  mNotifications = false;
  ExpectRun(0, u"-testpid 0101 -auto pen,touch", EditScenario("tablet.scenario", true, "\"reenumerateMs\": 4500, "));
  ExpectFlashed("pen", "tablet_s.pen");
  ExpectFlashed("touch", "tablet_s.touch");
  EXPECT_EQ(Log().find("Attach Message ("), std::string::npos);
  EXPECT_EQ(Log().find("Bootloader mode timeout."), std::string::npos);
  ExpectLogged({"IMPORTANT Device listed without an Attach Message STATE->ESTATE_PROGRAM", "Programming...",
                       "IMPORTANT Device listed without an Attach Message STATE->ESTATE_SUCCESS"});
}

// A pen whose node refuses to open for a while after each re-enumeration (the tablet service still holds it):
// each wait retries until it opens, past the pause after the pen's success, and the touch board waits for it.
TEST_F(CApplicationRun, ABoardWhoseNodeOpensLateIsWaitedForBeforeTheNextBoard)
{
  ExpectRun(0, u"-testpid 0101 -auto pen,touch", EditScenario("held.scenario", true, "\"openRefusedMs\": 12000, "));
  ExpectFlashed("pen", "tablet_s.pen");
  ExpectFlashed("touch", "tablet_s.touch");
  ExpectOutcomes({"updated", "updated"});
}

// A composite tablet's interfaces come back one after another: the touch collection after the pen's, whose
// arrival the run took up. The touch board's update lists the devices again until its collection is back; one that
// stays away fails the touch board with a verdict.
TEST_F(CApplicationRun, ATouchCollectionBackAfterThePensIsWaitedFor)
{
  for (const auto& [lagMs, code, outcome] : std::vector<std::tuple<int, int, std::string>>{
           {300, 0, "updated"}, {15000, 0, "updated"}, {30000, 1, "failed"}}) {
    const std::string lag = "\"arrivalLagMs\": " + std::to_string(lagMs) + ", ";
    ExpectRun(code, u"-testpid 0101 -auto pen,touch", EditScenario("lag.scenario", true, lag, "\"name\": \"touch\""));
    ExpectOutcomes({"updated", outcome});
    ExpectLogged({"Starting update touch", "The board's interface is not listed; updating the device list"});
    EXPECT_EQ(Log().find("The update ended without a result"), std::string::npos) << lagMs;
  }
  ExpectLogged({"mainInterface not valid.", "There is no supported interface attached"});
}

// A mouse plugged in while the tablet's pen is away in its loader: its arrival moves the run on as the board's
// would, and the run goes on only once the pen itself is listed. A pen that stays in its loader (its exit command
// fails) or never comes back fails its update, and a cancel asked while the run waits for it is refused.
TEST_F(CApplicationRun, ADevicePluggedInWhileTheBoardIsAwayIsNotTakenForIt)
{
  std::shared_ptr<sim::CSimHidCollection> mouse;
  uint64_t pluggedAtMs = 0;
  // The mouse is plugged in when the status shows, the pen unplugged with it when asked.
  auto plugMouseOn = [&](uint16_t status_I, bool unplugPen_I) {
    mouse.reset();
    mView.mOnStatus = [&, status_I, unplugPen_I](const std::u16string& status_IO) {
      if (mouse || status_IO != English(status_I)) return;
      if (unplugPen_I) mPlatform->HidBoard("pen")->DropOffBusAfter(0);
      mouse = std::make_shared<sim::CSimHidCollection>(
          sim::SSimHidIdentity{0x046D, 0xC077, 0x7200, 2, 1, sim::MakeSimHidPath(0x046D, 0xC077, 0, 77)});
      mPlatform->Bus()->Attach(mouse);
      pluggedAtMs = mClock.NowMs();
    };
  };
  plugMouseOn(EUISTRING_WAITING_FOR_LOADER, false);
  ExpectRun(0, u"-testpid 0101 -auto pen,touch", "tablet_s.scenario");
  ExpectFlashed("pen", "tablet_s.pen");
  ExpectLogged({"IMPORTANT Attach Message (\\\\?\\HID#VID_046D", "[Orvel Tablet S] (LOADER MODE)", "Programming..."});
  const std::vector<sim::SSimTransfer> trace = mPlatform->HidBoard("pen")->Trace();
  const uint64_t exitCommand = 1 + std::find_if(trace.begin(), trace.end(), [](const sim::SSimTransfer& transfer_I) {
                                     return transfer_I.set && transfer_I.bytes[0] == 0x15;
                                   }) - trace.begin();
  // The pen's exit command fails and it stays in its loader; or it is unplugged as it leaves its loader.
  for (const bool unplugged : {false, true}) {
    plugMouseOn(EUISTRING_WAITING_FOR_DEVICE, unplugged);
    mView.mOnLayout = [&, unplugged] {
      if (!unplugged) mPlatform->HidBoard("pen")->FailTransfers(exitCommand, 1000000);
    };
    mView.mNotices.clear();
    mView.mCancelWhen = [&] { return mouse && mClock.NowMs() > pluggedAtMs + 5000; };
    ExpectRun(1, u"-testpid 0101 -auto pen,touch", "tablet_s.scenario");
    ExpectMessage(EUISTRING_UPDATE_FAILED);
    ExpectOutcomes({"failed", "not started"});
    EXPECT_EQ(mView.mNotices, std::vector<std::u16string>{English(EUISTRING_CANCEL_REFUSED)}) << unplugged;
    ExpectLogged({"STATE->ESTATE_SUCCESS", "There was a problem swapping out of flash mode"});
  }
}

// A cancel asked while the board is being programmed (a touch loader slow enough that its programming spans
// several ticks, the scaler), or while a tablet's pen leaves its loader and re-enumerates: refused each time, at
// once and not only in the log, and the update completes.
TEST_F(CApplicationRun, ACancelIsRefusedWhileABoardIsBusy)
{
  const std::vector<std::tuple<uint16_t, std::u16string, std::string>> cases{
      {EUISTRING_UPDATING, u"-testpid 0210 -auto touch",
       EditScenario("display.scenario", false, "\"busyMs\": 100, ", "\"name\": \"touch\"")},
      {EUISTRING_UPDATING, u"-testpid 0210 -auto scalar -y", "default"},
      // A slow bridge: the scaler's worker still reads the display's serial number and version at the next tick.
      {EUISTRING_UPDATING, u"-testpid 0210 -auto scalar -y",
       EditScenario("slowbridge.scenario", false, "\"roundTripUs\": 20000, ", "\"model\": \"Orvel PD16\"")},
      {EUISTRING_WAITING_FOR_LOADER, u"-testpid 0101 -auto pen", "tablet_s.scenario"},
      {EUISTRING_WAITING_FOR_DEVICE, u"-testpid 0101 -auto pen", "tablet_s.scenario"}};
  for (const auto& [status, options, scenario] : cases) {
    mView.mCancelOnStatus = English(status);
    mView.mNotices.clear();
    ExpectRun(0, options, scenario);
    EXPECT_TRUE(mView.mCancelOnStatus.empty()) << status << ": never shown";
    EXPECT_FALSE(mView.mCloseEnabledAtCancel) << WideToUtf8(options) << ": closing allowed";
    EXPECT_EQ(mView.mNotices, std::vector<std::u16string>{English(EUISTRING_CANCEL_REFUSED)});
    ExpectLogged({"Cancel refused"});
  }
}

TEST_F(CApplicationRun, ABoardThatNeverReturnsAsItsLoaderEndsTheRunAfterNinetyAttempts)
{
  const uint64_t start = mClock.NowMs();
  ExpectRun(1, u"-testpid 0101 -auto pen", EditScenario("lost.scenario", true, "\"reenumerateMs\": 1000000, "));
  ExpectMessage(EUISTRING_UPDATE_FAILED);
  ExpectLogged({"Bootloader mode timeout.", "loaderInterface not valid."});
  EXPECT_GE(mClock.NowMs() - start, 90000u);
}

TEST_F(CApplicationRun, ADeviceUnpluggedOutsideAnUpdateEndsTheRun)
{
  mView.mOnLayout = [this] { mPlatform->Bus()->Detach(mPlatform->HidBoard("pen")); };
  ExpectRun(1, u"-testpid 0101 -auto pen", "tablet_s.scenario");
  ExpectMessage(EUISTRING_ERROR_NO_TABLET);
  ExpectLogged({") STATE->ESTATE_TERMINATE"});

  // Unplugged in the pause after its first board: the board after it was never touched.
  mView.mOnLayout = nullptr;
  uint64_t penShownDoneAt = 0;
  bool unplugged = false;
  mView.mCancelWhen = [&] {
    const std::lock_guard<std::mutex> guard(mView.mLock);
    const bool penDone = !mView.mBoardProgress.empty() && mView.mBoardProgress.back().second.board == u"pen" &&
                         mView.mBoardProgress.back().second.percent == 100;
    if (penDone && penShownDoneAt == 0) penShownDoneAt = mClock.NowMs();
    if (penShownDoneAt != 0 && mClock.NowMs() >= penShownDoneAt + 8000 && !unplugged) {
      mPlatform->Bus()->Detach(mPlatform->HidBoard("pen"));
      unplugged = true;
    }
    return false;
  };
  ExpectRun(1, u"-testpid 0101 -auto pen,touch", "tablet_s.scenario");
  ExpectMessage(EUISTRING_ERROR_NO_TABLET);
  ExpectOutcomes({"updated", "not started"});
}

TEST_F(CApplicationRun, AScenarioWritesEachBoardsFlashAndTrace)
{
  ExpectRun(0, u"-testpid 0210 -auto pen",
            EditScenario("traced.scenario", false, R"("flashOut": "pen.flash", "traceOut": "pen.trace", )"));
  std::string error;
  ASSERT_TRUE(mPlatform->WriteResults(error)) << error;
  EXPECT_EQ(test::ReadBytes("pen.flash").size(), 64u * 4096);
  test::ExpectFlashed("display_pen.orv", test::FileFlash("pen.flash"));
  const std::string trace = test::ReadText("pen.trace");
  EXPECT_NE(trace.substr(0, trace.find('\n')).find(" ok "), std::string::npos) << trace;
}

TEST_F(CApplicationRun, TheDemoPackageUpdatesEveryBoardOfThePenDisplay)
{
  mPromptAnswer = 0;
  ExpectRun(0, u"");
  ExpectMessage(EUISTRING_UPDATE_SUCCEEDED);
  EXPECT_EQ(mView.mIcon, EMESSAGEICON_INFORMATION);
  ASSERT_FALSE(mView.mProgress.empty());
  EXPECT_EQ(mView.mProgress.back(), 100);
  test::ExpectDemoDisplayFlashed(".", [this](const std::string& board_I) { return test::SimFlash(*mPlatform, board_I); });
  EXPECT_TRUE(mPlatform->Scaler()->isp->Restarted());

  ExpectLogged({"Passed Test PID(s): 0210", "Loading firmware for pen", "[STATE] 2", "[STATE] 3",
                "Setting protocolType to 1", "Device Update complete!", "Loading firmware for touch",
                "Loading firmware for bluetooth", "Block 0 upgrade success"});
  EXPECT_EQ(mResult.exitCode, 0);
  EXPECT_EQ(mResult.logPath, mLogPath);
  // Each board reports its file and the version of the image it now runs, read from it after its update.
  ASSERT_EQ(mResult.boards.size(), 4u);
  EXPECT_EQ(mResult.boards[0].file, "display_pen.orv");
  for (size_t board = 0; board < 3; ++board) {
    EXPECT_EQ(mResult.boards[board].versionBefore, "1.00") << mResult.boards[board].board;
    EXPECT_EQ(mResult.boards[board].versionAfter, "1.01") << mResult.boards[board].board;
  }
  // The display tells the scaler's version before and after, as --list shows it.
  EXPECT_EQ(mResult.boards[3].versionBefore, "1.2.3");
  EXPECT_EQ(mResult.boards[3].versionAfter, "1.3.0");
  // Four boards, each followed by the 10 s pause of the success state.
  EXPECT_GE(mClock.NowMs(), 40000u);
}

TEST_F(CApplicationRun, TheScalerIsUpdatedOnlyForTheDisplayTheSerialNumberNames)
{
  mPromptAnswer = 0;
  const std::u16string display = u"-path HID#VID_4F52+PID_0210+MI_00#7+00000001+0+0000#"
                                 u"{4d1e55b2-f16f-11cf-88cb-001111000030} -port 0 -auto scalar -serial ";
  const std::string mismatch =
      "[ERROR] The display's serial number \"ORV16A0012345\" is not the serial number \"ORV16A0099999\" the update "
      "is for (6)";
  // Test product ids skip the check only when no serial number is given.
  for (const std::u16string& options :
       std::vector<std::u16string>{display + u"ORV16A0099999", u"-testpid 0210 -auto scalar -serial ORV16A0099999"}) {
    ExpectRun(1, options);
    EXPECT_EQ(mPlatform->Scaler()->isp->Erases(), 0u);
    ExpectLogged({mismatch});
  }
  ExpectRun(0, u"-testpid 0210 -auto scalar");
  ExpectRun(0, u"-testpid 0210 -auto scalar -serial ORV16A0012345");
  ExpectRun(0, display + u"ORV16A0012345");
  ExpectFlashed("scalar", "display_scaler.bin");

  // A scaler that refuses its ISP mode: the failure is reported and ISP control is cleared afterwards.
  ExpectRun(1, display + u"ORV16A0012345",
            EditScenario("refusing.scenario", false, "\"refuseIsp\": true, ", "\"kind\": \"scaler\""));
  ExpectMessage(EUISTRING_UPDATE_FAILED);
  ExpectLogged({"Fail to Enter ISP mode", "[ERROR] General Program Failure (6)"});
  ASSERT_FALSE(mPlatform->Scaler()->isp->RegisterWrites().empty());
  EXPECT_EQ(mPlatform->Scaler()->isp->RegisterWrites().back(), (std::pair<uint8_t, uint8_t>{0x6F, 0x00}));
}

// A device that cannot be selected is named with the reason: the message and the log say what is missing. A
// display found through its other boards but without a board of the list ends so too, instead of waiting for ever.
TEST_F(CApplicationRun, ATargetNotFoundSaysWhy)
{
  mPromptAnswer = 0;
  std::string display = sim::CSimPlatform::DefaultScenario();
  const size_t from = display.find("{\"kind\": \"hid\", \"name\": \"bluetooth\"");
  std::ofstream("nobt.scenario") << display.erase(from, display.find("{\"kind\": \"scaler\"") - from);
  for (const auto& [options, scenario, reason] : std::vector<std::tuple<std::u16string, std::string, std::string>>{
           {u"-testpid 0999 -auto pen,scalar", "default", "no attached device has product id 0999 (attached: 0210"},
           {u"-testpid 0210 -auto  -y", "default", "the board list (-auto) is empty"},
           {u"-path /dev/hidraw99 -auto pen", "default", "no device has the path /dev/hidraw99"},
           {u"-testpid 0210 -auto pen", EditScenario("penless.scenario", false, "\"dropAfter\": 0, "),
            "the pen board of \"Orvel Display 16\" is not attached"},
           {u"-testpid 0210 -auto bluetooth,scalar", "nobt.scenario",
            "the bluetooth board of \"Orvel Display 16\" is not attached"}}) {
    ExpectEndedUntouched(options, EUISTRING_ERROR_TARGET_NOT_FOUND, reason, scenario);
    ExpectLogged({reason});
  }
}

TEST_F(CApplicationRun, UserVisibleFailuresEndWithTheirMessageAndCode)
{
  std::filesystem::remove("display_touch.hex");
  ExpectEndedUntouched(u"-testpid 0210 -auto touch", EUISTRING_ERROR_INVALID_FILE, "display_touch.hex: no such file");
  std::ofstream("empty.scenario") << R"({"devices": []})";
  mPromptAnswer = 0;
  ExpectRun(1, u"-auto pen", "empty.scenario");
  ExpectMessage(EUISTRING_ERROR_NO_TABLET);
}

TEST_F(CApplicationRun, ATabletLeftInItsLoaderIsFoundByTheProductIdOfThePackage)
{
  // An earlier update stopped half way: the pen board starts in its loader (product 0100).
  std::ofstream("stuck.scenario") << R"({"devices": [{"kind": "hid", "name": "pen", "pid": "0101", "loaderPid": "0100",
    "usageId": "1", "startInLoader": true, "blockStart": "8000", "blockSize": 4096, "blocks": 32, "writeSize": 128}]})";
  ExpectRun(0, u"-testpid 0101 -auto pen", "stuck.scenario");
  ExpectFlashed("pen", "tablet_s.pen");
  ExpectLogged({"Device already in loader mode"});

  // The same on the tablet with touch, run again with the list that was interrupted: while its pen board runs
  // the loader the whole USB device shows only the loader, which knows no touch board; the package's product id
  // finds it, the pen board is recovered, and the tablet returns with both collections for the touch update.
  ExpectRun(0, u"-testpid 0101 -auto pen,touch", EditScenario("both.scenario", true, "\"startInLoader\": true, "));
  ExpectFlashed("pen", "tablet_s.pen");
  ExpectFlashed("touch", "tablet_s.touch");
  EXPECT_EQ(mPlatform->HidBoard("pen")->Mode(), sim::ESIMBOARDMODE_NORMAL);
}

TEST_F(CApplicationRun, ABoardBehindTheHidRouterIsUpdatedEndToEnd)
{
  std::string topology = test::ReadText("fw_loader.ini");
  topology.replace(topology.rfind(']'), 1, R"(,{"name": "Orvel Router Tablet",
    "penBoard": {"pid": "0301", "interface": "HID", "sectors": 64, "usageId": "0001", "usagePg": "FF00",
                 "intoBLMode": false, "update": "display_pen.orv"}}])");
  std::ofstream("fw_loader.ini") << topology;
  std::ofstream("router.scenario") << R"({"devices": [{"kind": "hid", "name": "pen", "pid": "0301", "usageId": "1",
    "usagePg": "FF00", "inPlace": true, "protocol": 1, "blockStart": "0", "blockSize": 4096, "blocks": 64,
    "writeSize": 256}]})";
  ExpectRun(0, u"-testpid 0301 -auto pen", "router.scenario");
  ExpectFlashed("pen", "display_pen.orv");
}

// Declining the warning before a scaler update touches nothing, and an installer must not read it as success.
TEST_F(CApplicationRun, DecliningThePreUpdateWarningIsACancel)
{
  ExpectRun(2, u"-testpid 0210 -auto pen,scalar");
  EXPECT_EQ(mPlatform->Scaler()->isp->Erases(), 0u);
  EXPECT_EQ(mResult.message, "Cancelled at the pre-update warning; no board was touched.");
  ExpectLogged({"Pre-update warning declined", "Exit code: 2 (cancelled)"});
  EXPECT_EQ(Log().find("[STATE]"), std::string::npos);
  // Said in the chosen language, as every other end of a run.
  ExpectRun(2, u"-testpid 0210 -auto pen,scalar -lang de");
  EXPECT_EQ(mResult.message, "Bei der Warnung vor der Aktualisierung abgebrochen; keine Platine wurde verändert.");
  // "-y" accepts the warning for a script or a fleet tool: nobody is asked, and the log says why the scaler went.
  mPrompts = 0;
  ExpectRun(0, u"-testpid 0210 -y -auto scalar");
  EXPECT_EQ(mPrompts, 0);
  EXPECT_GT(mPlatform->Scaler()->isp->Erases(), 0u);
  ExpectLogged({"Pre-update warning accepted by -y"});
}

// Nothing is flashed while any entry of the list, or any file it needs, is wrong; the message says which.
TEST_F(CApplicationRun, AListThatCannotFinishTouchesNoBoard)
{
  for (const auto& [options, message] : std::vector<std::pair<std::u16string, std::string>>{
           {u"-testpid zzzz -auto pen", "\"zzzz\" in the product ids \"zzzz\" is not a hexadecimal product id (0000 to FFFF)"},
           {u"-testpid 0210 -auto bogus", "\"bogus\" in the board list \"bogus\" is not one of pen, touch, bluetooth, scalar"}}) {
    ExpectEndedUntouched(options, EUISTRING_ERROR_INVALID_OPTIONS, message);
    ExpectLogged({"Error: " + message});
  }
  // A file whose format its board does not take: only the scaler takes a scaler binary, and nothing else.
  const std::string topology = test::ReadText("fw_loader.ini");
  for (const auto& [from, to, detail] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"display_scaler.bin", "display_pen.orv", "display_pen.orv: the scalar board takes"},
           {"display_bt.airoflash", "display_scaler.bin", "display_scaler.bin: the bluetooth board takes"}}) {
    std::string edited = topology;
    std::ofstream("fw_loader.ini") << edited.replace(edited.find(from), from.size(), to);
    ExpectEndedUntouched(u"-testpid 0210 -y -auto pen,bluetooth,scalar", EUISTRING_ERROR_INVALID_FILE, detail);
    ExpectOutcomes({"not started", "not started", "not started"});
  }
  std::ofstream("fw_loader.ini") << topology;
  // A touch file cut short: the pen board before it in the list is not updated either.
  const std::vector<uint8_t> bytes = test::ReadBytes("display_touch.hex");
  const std::string text(bytes.begin(), bytes.end());
  std::ofstream("display_touch.hex", std::ios::binary) << text.substr(0, text.find("\r\n", text.size() / 2) + 2);
  ExpectEndedUntouched(u"-testpid 0210 -auto pen,touch", EUISTRING_ERROR_INVALID_FILE,
                       "display_touch.hex: no end-of-file record (:00000001FF) at the end: the file is incomplete");
  ExpectOutcomes({"not started", "not started"});
}

// The user reads the refusal in the UI language; the file and what is wrong with it follow on a second line
// and in the log.
TEST_F(CApplicationRun, AMissingOrBrokenTopologyIsRefusedInTheUiLanguageWithItsDetail)
{
  std::filesystem::remove("fw_loader.ini");
  ExpectRun(1, u"-testpid 0210 -auto pen -lang de");
  const std::string missing = "the topology file ./fw_loader.ini was not found (looked for in " +
                              std::filesystem::current_path().string() + ")";
  EXPECT_EQ(mView.mMessage, LoadResString(EUISTRING_ERROR_MISSING_FILE, 7) + u"\n" + Utf8ToWide(missing));
  EXPECT_EQ(mResult.message, WideToUtf8(mView.mMessage));
  ExpectLogged({"Error: " + missing + "\n"});
  std::ofstream("fw_loader.ini") << "[\n  {\"name\": \"T\" \"penBoard\": {}}\n]";
  ExpectRun(1, u"-testpid 0210 -auto pen -lang ja");
  EXPECT_EQ(mView.mMessage, LoadResString(EUISTRING_ERROR_INVALID_FILE, 17) +
                                u"\nthe topology file ./fw_loader.ini cannot be read: line 2, column 16: expected ',' or '}' "
                                u"after the value of \"name\"");
  std::ofstream("fw_loader.ini") << "{}";
  ExpectRun(1, u"-testpid 0210 -auto pen");
  ExpectMessage(EUISTRING_ERROR_INVALID_FILE, "the topology file ./fw_loader.ini is not a list of device models");
}

// The log keeps its lines and adds a header and a trailer; debugger lines and cancels are recorded too.
TEST_F(CApplicationRun, TheLogBeginsWithVersionCommandLineAndStartAndEndsWithTheOutcome)
{
  mView.mCancel = true;
  ExpectRun(2, u"-testpid 0210 -auto pen");
  const std::string log = Log();
  EXPECT_EQ(log.rfind("OrvelFWUpdater 3.09\nCommand line: test -testpid 0210 -auto pen\nStarted: ", 0), 0u) << log;
  ExpectLogged({"Passed Test PID(s): 0210", "Pen GetDevice  to \\\\?\\HID#VID_4F52&PID_0210", "Cancelled by the user\n"});
  const std::string trailer = "Finished: Cancelled by the user; 0 of 1 boards were updated.\nExit code: 2 (cancelled)\n";
  EXPECT_EQ(log.substr(log.size() - trailer.size()), trailer);
  const size_t ended = log.rfind("\nEnded: 1899-12-31 00:00:00\nDuration: 0:00:00 (0.");
  EXPECT_NE(ended, std::string::npos) << log;
  EXPECT_EQ(log.find('\n', log.find("\nDuration: ", ended) + 1), log.size() - trailer.size() - 1) << log;
}

// The footer's end time is the start plus the duration, across midnight and the year's end too.
TEST_F(CApplicationRun, TheLogEndsWithTheEndTimeAndTheDuration)
{
  mLocalTime.tm_year = 2026 - 1900;
  mLocalTime.tm_mon = 11;
  mLocalTime.tm_mday = 31;
  mLocalTime.tm_hour = 23;
  mLocalTime.tm_min = 59;
  mLocalTime.tm_sec = 50;
  ASSERT_EQ(Run(u"-testpid 0210 -auto pen"), 0) << Log();
  ASSERT_GE(mResult.durationMs, 10000u);
  const auto seconds = static_cast<unsigned>(mResult.durationMs / 1000);
  const unsigned after = 50 + seconds - 60;
  char ended[64];
  char duration[64];
  std::snprintf(ended, sizeof(ended), "\nEnded: 2027-01-01 00:%02u:%02u\n", after / 60, after % 60);
  std::snprintf(duration, sizeof(duration), "\nDuration: 0:%02u:%02u (%u.%03u s)\n", seconds / 60, seconds % 60,
                seconds, static_cast<unsigned>(mResult.durationMs % 1000));
  ExpectLogged({ended, duration});
}

// A cancel is taken on the tick after the worker's last step: the outcome is what the boards went through,
// and the message, the result and the log's last lines say the same.
TEST_F(CApplicationRun, ACancelAsABoardFinishesCountsTheBoardAndEndsWithItsMessage)
{
  const auto cancelOnceABoardSucceeded = [this] { return Log().find("[STATE] 5") != std::string::npos; };
  mView.mCancelWhen = cancelOnceABoardSucceeded;
  ExpectRun(2, u"-testpid 0210 -auto pen,touch");
  const std::string finished = "Cancelled by the user; 1 of 2 boards were updated.";
  EXPECT_EQ(mView.mMessage, Utf8ToWide(finished));
  ExpectOutcomes({"updated", "not started"});
  EXPECT_EQ(mResult.message, finished);
  ExpectLogged({"Finished: " + finished + "\nExit code: 2 (cancelled)\n"});
  ExpectFlashed("pen", "display_pen.orv");

  // After the last board there is nothing left to cancel: the run succeeded.
  mView.mCancelWhen = cancelOnceABoardSucceeded;
  ExpectRun(0, u"-testpid 0210 -auto pen");
  ExpectMessage(EUISTRING_UPDATE_SUCCEEDED);
  ExpectOutcomes({"updated"});
  ExpectLogged({"Exit code: 0 (success)"});
}

// A programming failure ends with the failure message, and a cancel asked after it changes nothing.
TEST_F(CApplicationRun, AProgrammingFailureEndsWithTheFailureEvenWhenACancelFollows)
{
  bool failed = false;
  mView.mCancelWhen = [&] { return failed = Log().find("[STATE] 6") != std::string::npos; };
  ExpectRun(1, u"-testpid 0210 -auto pen,touch", EditScenario("failing.scenario", false, "\"dropAfter\": 40, "));
  EXPECT_TRUE(failed);
  ExpectMessage(EUISTRING_UPDATE_FAILED);
  ExpectOutcomes({"failed", "not started"});
  ExpectLogged({"Exit code: 1 (error)"});
}

// The ten seconds between two boards are waited for tick by tick: the run never stops answering for
// longer than a tick, and a cancel meanwhile acts at once.
TEST_F(CApplicationRun, ThePauseBetweenBoardsKeepsTheRunTickingAndACancelActsAtOnce)
{
  std::vector<uint64_t> ticks;
  uint64_t finishedAt = 0;
  uint64_t nextAt = 0;
  mView.mCancelWhen = [&] {
    ticks.push_back(Clock().NowMs());
    const std::string log = Log();
    if (finishedAt == 0 && log.find("[STATE] 5") != std::string::npos) finishedAt = ticks.back();
    if (nextAt == 0 && log.find("Loading firmware for touch") != std::string::npos) nextAt = ticks.back();
    return false;
  };
  ExpectRun(0, u"-testpid 0210 -auto pen,touch");
  ASSERT_GT(ticks.size(), 2u);
  for (size_t i = 1; i < ticks.size(); ++i) EXPECT_LE(ticks[i] - ticks[i - 1], CAutoUpdateRun::kTimerMs) << i;
  EXPECT_GE(nextAt - finishedAt, CAutoUpdateRun::kSuccessPauseMs);
  EXPECT_LE(nextAt - finishedAt, CAutoUpdateRun::kSuccessPauseMs + 2 * CAutoUpdateRun::kTimerMs);

  size_t ticksSinceFinished = 0;
  mView.mCancelWhen = [&] {
    if (Log().find("[STATE] 5") != std::string::npos) ++ticksSinceFinished;
    return ticksSinceFinished == 3;
  };
  ExpectRun(2, u"-testpid 0210 -auto pen,touch");
  EXPECT_EQ(mView.mMessage, u"Cancelled by the user; 1 of 2 boards were updated.");
  EXPECT_EQ(Log().find("Loading firmware for touch"), std::string::npos);
}

// The user's session ends in the pause after a board. Windows ends the process as soon as the window has
// answered, so the tablet's driver gets its device back before then, not only when the run is torn down.
TEST_F(CApplicationRun, AtTheEndOfTheSessionTheDriverGetsItsTabletBackBeforeTheAnswer)
{
  std::vector<std::string> atAnswer;
  mView.mCancelWhen = [&] {
    if (atAnswer.empty() && Log().find("Device Update complete!") != std::string::npos && mEndSession()) {
      atAnswer = mEvents->mSignalled;
    }
    return false;
  };
  ExpectRun(2, u"-testpid 0210 -auto pen,touch");
  EXPECT_EQ(atAnswer, (std::vector<std::string>{"Global\\OrvelProStopEvent", "Global\\OrvelProStartEvent"}));
  EXPECT_EQ(mEvents->mSignalled, atAnswer) << "once";
}

// A run that cannot go ahead ends with its reason before the warning; one that can asks exactly once.
TEST_F(CApplicationRun, ARunThatCannotGoAheadEndsBeforeTheWarning)
{
  mPromptAnswer = 0;
  ExpectRun(0, u"-testpid 0210 -auto scalar");
  EXPECT_EQ(mPrompts, 1);
  for (const auto& [options, file, detail] : std::vector<std::tuple<std::u16string, std::string, std::string>>{
           {u"-testpid 0210 -auto touch,scalar", "display_touch.hex", "display_touch.hex: "},
           {u"-testpid 0210 -auto pen,scalar", "display_scaler.bin", "display_scaler.bin: Scaler image of 65537 bytes"}}) {
    std::ofstream(file, std::ios::binary) << std::string(0x10001, '\x5A');
    ExpectEndedUntouched(options, EUISTRING_ERROR_INVALID_FILE, detail);
  }
}

// Every board shows its name from its worker's start, the first included; the elapsed time moves every
// second through switches and pauses alike; the estimate counts the pauses still ahead; a full bar only at
// the end.
TEST_F(CApplicationRun, ProgressMovesFromEachBoardsStartToTheEnd)
{
  ExpectRun(0, u"-testpid 0210 -auto pen,touch,bluetooth,scalar -y");
  const auto& shown = mView.mBoardProgress;
  ASSERT_FALSE(shown.empty());
  std::vector<std::u16string> boards;
  for (const auto& [at, progress] : shown) {
    if (!boards.empty() && boards.back() == progress.board) continue;
    boards.push_back(progress.board);
    EXPECT_EQ(progress.percent, 0) << WideToUtf8(progress.board);
  }
  EXPECT_EQ(boards, (std::vector<std::u16string>{u"pen", u"touch", u"bluetooth", u"scalar"}));
  const uint64_t end = shown.back().first;
  constexpr uint64_t kPause = CAutoUpdateRun::kSuccessPauseMs;
  for (size_t i = 1; i < shown.size(); ++i) {
    const auto& [at, progress] = shown[i];
    EXPECT_LE(at - shown[i - 1].first, 1000u) << WideToUtf8(progress.board) << " at " << at;
    // A board not yet done has its pause and those of the boards behind it still ahead; once the last board
    // is done, only what is left of its pause.
    if (progress.leftMs < 0) continue;
    const auto left = static_cast<uint64_t>(progress.leftMs);
    if (progress.percent < 100) {
      EXPECT_GE(left, (progress.count - progress.index + 1) * kPause) << at;
    }
    if (progress.index == progress.count && progress.percent == 100 && left < kPause) {
      EXPECT_NEAR(static_cast<double>(left), static_cast<double>(end - at), CAutoUpdateRun::kTimerMs) << at;
    }
  }
  EXPECT_GE(shown[1].second.leftMs, 0);
  EXPECT_EQ(std::count(mView.mProgress.begin(), mView.mProgress.end(), 100), 1);
  EXPECT_EQ(mView.mProgress.back(), 100);
}

// Another of the maker's devices is attached as well, listed before the tablet: once the tablet's pen is back
// from its loader the run goes on with the tablet, never with the device listed first.
TEST_F(CApplicationRun, ASecondDeviceAttachedIsNeverTakenForTheOneBeingUpdated)
{
  std::ofstream("two.scenario") << R"({
  "nodes": [["USB\\VID_4F52&PID_0210\\ORV16", "USB\\ROOT_HUB30\\1"], ["USB\\VID_4F52&PID_0101\\TAB1", "USB\\ROOT_HUB30\\2"]],
  "devices": [
    {"kind": "hid", "name": "displaypen", "pid": "0210", "usageId": "1", "interface": 0, "instance": 1,
     "parent": "USB\\VID_4F52&PID_0210\\ORV16", "inPlace": true, "protocol": 1, "blockStart": "0", "blockSize": 4096,
     "blocks": 64, "writeSize": 256},
    {"kind": "hid", "name": "displaytouch", "pid": "0210", "usageId": "2", "interface": 1, "instance": 2,
     "parent": "USB\\VID_4F52&PID_0210\\ORV16", "inPlace": true, "protocol": 1, "blockStart": "8000", "blockSize": 4096,
     "blocks": 22},
    {"kind": "hid", "name": "pen", "pid": "0101", "loaderPid": "0100", "usageId": "1", "instance": 3,
     "parent": "USB\\VID_4F52&PID_0101\\TAB1", "protocol": 0, "blockStart": "8000", "blockSize": 4096,
     "blocks": 32, "writeSize": 128},
    {"kind": "i2c", "name": "touch", "pid": "0101", "usageId": "2", "interface": 1, "instance": 4,
     "parent": "USB\\VID_4F52&PID_0101\\TAB1", "protocol": 0, "blockStart": "2000", "blockSize": 1024,
     "blocks": 22, "writeSize": 128}
  ]})";
  ExpectRun(0, u"-testpid 0101 -auto pen,touch", "two.scenario");
  ExpectFlashed("pen", "tablet_s.pen");
  ExpectFlashed("touch", "tablet_s.touch");
  EXPECT_EQ(mPlatform->HidBoard("displaytouch")->ProgrammedBytes(), 0u);
  EXPECT_EQ(mPlatform->HidBoard("displaypen")->ProgrammedBytes(), 0u);
  ExpectOutcomes({"updated", "updated"});
}

// The touch board's file is gone by the time its turn comes (after the check before the first board): the run
// fails with the file's message, and the touch board, never touched, is not reported as failed.
TEST_F(CApplicationRun, ABoardWhoseFileCannotBeLoadedAtItsTurnIsNotStarted)
{
  mView.mOnStatus = [this](const std::u16string& status_I) {
    if (status_I == English(EUISTRING_WAITING_FOR_DEVICE)) std::filesystem::remove("tablet_s.touch");
  };
  ExpectRun(1, u"-testpid 0101 -auto pen,touch", "tablet_s.scenario");
  ExpectMessage(EUISTRING_ERROR_INVALID_FILE);
  ExpectOutcomes({"updated", "not started"});
  EXPECT_EQ(mPlatform->I2CBoard("touch")->Mode(), sim::ESIMBOARDMODE_NORMAL);
}

// A list longer than 255 boards: every entry is updated once, and the run ends.
TEST_F(CApplicationRun, AListOfMoreThan255BoardsEnds)
{
  std::u16string list = u"pen";
  for (int i = 1; i < 257; ++i) list += u",pen";
  // A run that went round the list again would never end: the user cancels it once it is far past its time.
  mView.mCancelWhen = [this] {
    if (mClock.NowMs() > 257ull * 60000) mView.mCancel = true;
    return false;
  };
  ExpectRun(0, u"-testpid 0210 -auto " + list);
  EXPECT_EQ(mResult.boards.size(), 257u);
  ExpectOutcomes(std::vector<std::string>(257, "updated"));
}

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/runapplication.h"
#include "app/uistrings.h"
#include "common/cclock.h"
#include "common/osd/cd2xx.h"
#include "common/textconversion.h"
#include "sim/csimplatform.h"
#include "tests/testsupport/crecordingview.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

// The demo package against a simulated pen display whose scenario a test may change, on the virtual clock;
// the pre-update warning is accepted when asked.
class CRunFeedback : public ::testing::Test {
 protected:
  CRunFeedback() : mInstalled(mClock), mPrevious(std::filesystem::current_path())
  {
    std::filesystem::copy(test::SourceDir() / "examples" / "demo", mDir.Path() / "demo");
    std::filesystem::current_path(mDir.Path() / "demo");
  }
  ~CRunFeedback() override { std::filesystem::current_path(mPrevious); }

  int Run(const std::u16string& commandLine_I, const std::string& scenario_I = sim::CSimPlatform::DefaultScenario())
  {
    std::string error;
    const std::unique_ptr<sim::CSimPlatform> platform = sim::CSimPlatform::CreateFromText(scenario_I, error);
    EXPECT_TRUE(platform) << error;
    SApplicationPorts ports;
    ports.view = [this]() -> CUpdateView& { return mView; };
    ports.userLanguage = std::make_shared<CFixedUserLanguage>(1033);
    ports.preUpdatePrompt = [this](const CLanguageProvider&) {
      ++mPrompts;
      return 0;
    };
    ports.makeEnvironment = [&platform] {
      SRunEnvironment environment;
      environment.discovery = platform->CreateDiscovery("./fw_loader.ini");
      environment.events = platform->Events();
      return environment;
    };
    ports.tempDir = mDir.Path().string() + "/";
    const CScopedD2XX bridge(platform->D2XX());
    return RunApplication(ParseCommandLine(commandLine_I), ports);
  }

  CScheduledClock mClock;
  CScopedClock mInstalled;
  test::CScratchDir mDir;
  std::filesystem::path mPrevious;
  test::CRecordingView mView;
  int mPrompts = 0;
};

std::string WithoutBluetooth()
{
  std::string scenario = sim::CSimPlatform::DefaultScenario();
  const size_t from = scenario.find("{\"kind\": \"hid\", \"name\": \"bluetooth\"");
  return scenario.erase(from, scenario.find("{\"kind\": \"scaler\"") - from);
}

// The warning asks the user to accept a risk: a run that cannot go ahead ends with its reason and never asks,
// and one that can asks exactly once.
TEST_F(CRunFeedback, ARunThatCannotGoAheadEndsBeforeTheWarning)
{
  const std::string display = sim::CSimPlatform::DefaultScenario();
  EXPECT_EQ(Run(u"-testpid 0210 -auto scalar", display), 0) << WideToUtf8(mView.mMessage);
  EXPECT_EQ(mPrompts, 1);
  struct SCase {
    std::u16string options;
    std::string scenario;
    // A file of the package cut short or grown, and what the run says.
    std::string brokenFile;
    uint16_t messageId;
    std::string detail;
  } const cases[] = {
      {u"-testpid 9999 -auto pen,scalar", display, "", EUISTRING_ERROR_TARGET_NOT_FOUND,
       "no attached device has product id 9999"},
      {u"-testpid 0210 -auto bluetooth,scalar", WithoutBluetooth(), "", EUISTRING_ERROR_TARGET_NOT_FOUND,
       "the bluetooth board of \"Orvel Display 16\" is not attached"},
      {u"-testpid 0210 -auto touch,scalar", display, "display_touch.hex", EUISTRING_ERROR_INVALID_FILE,
       "display_touch.hex: "},
      {u"-testpid 0210 -auto pen,scalar", display, "display_scaler.bin", EUISTRING_ERROR_INVALID_FILE,
       "display_scaler.bin: Scaler image of 65537 bytes"},
  };
  for (const SCase& each : cases) {
    if (!each.brokenFile.empty()) std::ofstream(each.brokenFile, std::ios::binary) << std::string(0x10001, '\x5A');
    mPrompts = 0;
    EXPECT_EQ(Run(each.options, each.scenario), 1) << WideToUtf8(each.options);
    EXPECT_EQ(mPrompts, 0) << WideToUtf8(each.options);
    const std::u16string expected = LoadResString(each.messageId, 9) + u"\n" + Utf8ToWide(each.detail);
    EXPECT_EQ(mView.mMessage.rfind(expected, 0), 0u) << WideToUtf8(mView.mMessage);
  }
}

// Every board shows its name from its worker's start, the first included; the elapsed time moves every
// second through switches and pauses alike; the estimate counts the pauses still ahead; a full bar only at
// the end.
TEST_F(CRunFeedback, ProgressMovesFromEachBoardsStartToTheEnd)
{
  ASSERT_EQ(Run(u"-testpid 0210 -auto pen,touch,bluetooth,scalar -y"), 0) << WideToUtf8(mView.mMessage);
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

// A cancel the run refuses is answered at once, not only in the log, and the run goes on.
TEST_F(CRunFeedback, ACancelRefusedIsSaidAndTheRunGoesOn)
{
  mView.mCancelOnStatus = LoadResString(EUISTRING_UPDATING, 9);
  EXPECT_EQ(Run(u"-testpid 0210 -auto scalar -y"), 0) << WideToUtf8(mView.mMessage);
  EXPECT_EQ(mView.mNotices, std::vector<std::u16string>{LoadResString(EUISTRING_CANCEL_REFUSED, 9)});
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>

#include "app/uistrings.h"
#include "common/cclock.h"
#include "common/textconversion.h"
#include "linux/common/clinuxprocessservices.h"
#include "linux/fwupdater/clinuxapplication.h"
#include "tests/linux/linuxtesthelpers.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

// The application entry itself, in a copy of the demo package, on a virtual clock.
class CLinuxApplication : public ::testing::Test {
 protected:
  CLinuxApplication()
      : mInstalled(mClock),
        mPrevious(std::filesystem::current_path()),
        mTemp("TMPDIR", mDir.Path().string()),
        mLanguage("LC_ALL", std::string("C"))
  {
    std::filesystem::copy(test::SourceDir() / "examples" / "demo", mDir.Path() / "demo");
    std::filesystem::current_path(mDir.Path() / "demo");
  }
  ~CLinuxApplication() override
  {
    std::filesystem::current_path(mPrevious);
    std::fclose(mIn);
    std::fclose(mOut);
    std::fclose(mErr);
  }

  int Run(const std::vector<std::string>& args_I) { return RunLinuxApplication(args_I, mIn, mOut, mErr); }

  CScheduledClock mClock;
  CScopedClock mInstalled;
  test::CScratchDir mDir;
  std::filesystem::path mPrevious;
  test::CScopedEnvironment mTemp;
  test::CScopedEnvironment mLanguage;
  FILE* mIn = std::tmpfile();
  FILE* mOut = std::tmpfile();
  FILE* mErr = std::tmpfile();
};

}  // namespace

TEST_F(CLinuxApplication, TheDemoRunSucceedsAndNamesItsLog)
{
  // The package agrees to the scaler update in advance, as scripts/demo does.
  std::fputs("Update\n", mIn);
  std::rewind(mIn);
  EXPECT_EQ(Run({"-simulate", "default"}), 0);
  const std::string out = test::Contents(mOut);
  EXPECT_NE(out.find(WideToUtf8(LoadResString(EUISTRING_UPDATE_SUCCEEDED, 9))), std::string::npos) << out;
  const size_t log = out.find("log: " + mDir.Path().string() + "/OrvelFWUpdater_");
  EXPECT_NE(log, std::string::npos) << out;
}

TEST_F(CLinuxApplication, LangDeShowsGermanTexts)
{
  EXPECT_EQ(Run({"-simulate", "default", "-lang", "de", "-testpid", "0210", "-auto", "pen"}), 0);
  const std::string german = WideToUtf8(LoadResString(EUISTRING_UPDATE_SUCCEEDED, 7));
  EXPECT_NE(german, WideToUtf8(LoadResString(EUISTRING_UPDATE_SUCCEEDED, 9)));
  EXPECT_NE(test::Contents(mOut).find(german), std::string::npos);
}

TEST_F(CLinuxApplication, OptionsHelpAndASecondCopy)
{
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(test::Contents(mOut).find("usage: orvel-fwupdater"), std::string::npos);
  EXPECT_EQ(Run({"-simulate"}), 1);
  EXPECT_EQ(Run({"-simulate", "no-such.scenario"}), 1);
  EXPECT_NE(test::Contents(mErr).find("cannot read the scenario no-such.scenario"), std::string::npos);

  CLinuxSingleInstance first;
  ASSERT_TRUE(first.Acquire());
  EXPECT_EQ(Run({"-simulate", "default"}), -1);
}

TEST_F(CLinuxApplication, WithoutDevicesTheRunSaysSo)
{
  EXPECT_EQ(Run({"-testpid", "0210", "-auto", "pen"}), 1);
  EXPECT_NE(test::Contents(mErr).find(WideToUtf8(LoadResString(EUISTRING_ERROR_NO_TABLET, 9))), std::string::npos);
}

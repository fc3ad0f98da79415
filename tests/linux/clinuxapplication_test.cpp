#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "app/uistrings.h"
#include "common/cclock.h"
#include "common/textconversion.h"
#include "linux/common/clinuxprocessservices.h"
#include "linux/fwupdater/clinuxapplication.h"
#include "sim/csimplatform.h"
#include "tests/linux/linuxtesthelpers.h"
#include "tests/testsupport/resultschema.h"
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
        // A lock of the test's own: another program's tests on this machine must not look like a second copy.
        mRuntime("XDG_RUNTIME_DIR", mDir.Path().string()),
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

  int Run(const std::vector<std::string>& args_I)
  {
    return RunLinuxApplication(args_I, mIn, mOut, mErr, DeviceLock());
  }
  std::string DeviceLock() const { return (mDir.Path() / "machine.lock").string(); }

  CScheduledClock mClock;
  CScopedClock mInstalled;
  test::CScratchDir mDir;
  std::filesystem::path mPrevious;
  test::CScopedEnvironment mTemp;
  test::CScopedEnvironment mRuntime;
  test::CScopedEnvironment mLanguage;
  FILE* mIn = std::tmpfile();
  FILE* mOut = std::tmpfile();
  FILE* mErr = std::tmpfile();
};

}  // namespace

TEST_F(CLinuxApplication, LangDeShowsGermanTexts)
{
  EXPECT_EQ(Run({"-simulate", "default", "-lang", "de", "-testpid", "0210", "-auto", "pen"}), 0);
  EXPECT_NE(test::Contents(mOut).find("Die Firmware wurde erfolgreich aktualisiert."), std::string::npos)
      << test::Contents(mOut);
}

// A recording made by the Windows program (test_win_devices makes it through the Windows system calls in front
// of the simulated tablet, and keeps this copy in step) replays here as any recording does.
TEST_F(CLinuxApplication, ARecordingMadeOnWindowsReplaysWithSimulate)
{
  const std::string recording = (test::SourceDir() / "tests" / "win" / "devices" / "tablet_s-windows.rec").string();
  EXPECT_EQ(Run({"-simulate", recording, "-testpid", "0101", "-auto", "pen"}), 0) << test::Contents(mErr);
  EXPECT_EQ(test::Contents(mErr).find("left the recording"), std::string::npos) << test::Contents(mErr);
}

TEST_F(CLinuxApplication, OptionsHelpVersionAndASecondCopy)
{
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(test::Contents(mOut).find("usage: orvel-fwupdater"), std::string::npos);
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_NE(test::Contents(mOut).find("orvel-fwupdater 3.09\n"), std::string::npos);
  EXPECT_EQ(Run({"-simulate"}), 1);
  EXPECT_NE(test::Contents(mErr).find("error: option -simulate needs a value"), std::string::npos);
  EXPECT_EQ(Run({"-simulate", "no-such.scenario"}), 1);
  EXPECT_NE(test::Contents(mErr).find("error: cannot read the scenario no-such.scenario\n"), std::string::npos);

  CLinuxSingleInstance first;
  ASSERT_TRUE(first.Acquire());
  EXPECT_EQ(Run({"-simulate", "default", "-result", "second.json"}), -1);
  EXPECT_NE(test::Contents(mErr).find("error: another copy of orvel-fwupdater is running"), std::string::npos);
  test::ExpectValidRunResult("second.json");
  const nlohmann::json result = nlohmann::json::parse(std::ifstream("second.json"));
  EXPECT_EQ(result["exitCode"], 255);
  EXPECT_EQ(result["meaning"], "another copy is running");
}

// Runs on attached devices share one lock, whoever runs them and whatever their environment; a simulated run
// touches no device and goes on beside them.
TEST_F(CLinuxApplication, RealRunsShareTheDeviceLock)
{
  CLinuxSingleInstance other(DeviceLock());
  ASSERT_TRUE(other.Acquire());
  EXPECT_EQ(Run({"--list"}), -1);
  EXPECT_NE(test::Contents(mErr).find("error: another copy of orvel-fwupdater is running (or its lock " + DeviceLock()),
            std::string::npos) << test::Contents(mErr);
  EXPECT_EQ(Run({"--list", "-simulate", "default"}), 0);
}

// No input ends the program by an exception: a directory where a file belongs gets its message and exit code.
TEST_F(CLinuxApplication, DirectoriesWhereFilesBelongEndWithAMessage)
{
  EXPECT_EQ(Run({"-simulate", "."}), 1);
  EXPECT_NE(test::Contents(mErr).find("error: cannot read the scenario .\n"), std::string::npos);
  std::filesystem::remove("display_pen.orv");
  std::filesystem::create_directory("display_pen.orv");
  EXPECT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen"}), 1);
  EXPECT_NE(test::Contents(mErr).find("\ndisplay_pen.orv: not a regular file\n"), std::string::npos) << test::Contents(mErr);
}

TEST_F(CLinuxApplication, UnknownOptionsAreNamedAndTheRunGoesOn)
{
  EXPECT_EQ(Run({"-simulate", "default", "-bogus", "-help", "-testpid", "0210", "-auto", "pen", "-lang"}), 0);
  const std::string err = test::Contents(mErr);
  EXPECT_NE(err.find("warning: unknown option -bogus ignored\n"), std::string::npos) << err;
  EXPECT_NE(err.find("warning: unknown option -help ignored\n"), std::string::npos);
  EXPECT_NE(err.find("warning: option -lang needs a value; ignored\n"), std::string::npos);
}

// An unknown language is named and the run goes on in English.
TEST_F(CLinuxApplication, AnUnknownLanguageIsNamedAndEnglishIsShown)
{
  EXPECT_EQ(Run({"-simulate", "default", "-lang", "xx", "-testpid", "0210", "-auto", "pen"}), 0);
  const std::string err = test::Contents(mErr);
  EXPECT_NE(err.find("warning: -lang xx is not one of userUI, user, neutral, en, zh_CN"), std::string::npos) << err;
  EXPECT_NE(test::Contents(mOut).find(WideToUtf8(LoadResString(EUISTRING_UPDATE_SUCCEEDED, 9))), std::string::npos);
}

// A device that cannot be selected ends with the reason under the message, on the terminal and in the log.
TEST_F(CLinuxApplication, ATargetNotFoundSaysWhy)
{
  for (const auto& [args, reason] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"-simulate", "default", "-testpid", "9999", "-auto", "pen"},
            "no attached device has product id 9999 (attached: 0210, 0211)"},
           {{"-simulate", "default", "-testpid", "0210", "-auto", ""}, "the board list (-auto) is empty"},
           {{"-simulate", "default", "-path", "/dev/nothing", "-auto", "pen"}, "no device has the path /dev/nothing"}}) {
    std::rewind(mOut);
    std::rewind(mErr);
    EXPECT_EQ(Run(args), 1) << reason;
    const std::string all = test::Contents(mOut) + test::Contents(mErr);
    EXPECT_NE(all.find("error: Update target device not found. Please re-download the package.\n" + reason),
              std::string::npos) << all;
  }
}

// Standard output carries what a person or a script reads, the log's name among it; diagnostics go to the log,
// and with -v to standard error as well.
TEST_F(CLinuxApplication, PipedOutputIsPlainAndCarriesNoDiagnostics)
{
  // The package agrees to the scaler update in advance, as scripts/demo does.
  std::fputs("Update\n", mIn);
  std::rewind(mIn);
  EXPECT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen,scalar"}), 0);
  const std::string out = test::Contents(mOut);
  EXPECT_NE(out.find(WideToUtf8(LoadResString(EUISTRING_UPDATE_SUCCEEDED, 9))), std::string::npos) << out;
  EXPECT_NE(out.find("log: " + mDir.Path().string() + "/OrvelFWUpdater_"), std::string::npos) << out;
  EXPECT_EQ(out.find("GetDevice"), std::string::npos) << out;
  EXPECT_EQ(out.find("[###"), std::string::npos) << out;
  EXPECT_NE(out.find("Status: 100% scalar\n"), std::string::npos) << out;
  const std::string warning = WideToUtf8(LoadResString(EUISTRING_WARNING_CABLES, 9));
  EXPECT_EQ(out.find(warning), out.rfind(warning)) << out;  // once, by the prompt
  EXPECT_EQ(test::Contents(mErr), "");

  EXPECT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen", "-v"}), 0);
  const std::string err = test::Contents(mErr);
  EXPECT_NE(err.find("OrvelFWUpdater 3.09\nCommand line: orvel-fwupdater -simulate default"), std::string::npos) << err;
  EXPECT_NE(err.find("Pen GetDevice"), std::string::npos);
  EXPECT_EQ(test::Contents(mOut).find("GetDevice"), std::string::npos);
}

TEST_F(CLinuxApplication, ALogThatCannotBeWrittenIsSaidSoAndItsLinesGoToStandardError)
{
  const test::CScopedEnvironment missing("TMPDIR", (mDir.Path() / "no" / "such").string());
  EXPECT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen"}), 0);
  const std::string err = test::Contents(mErr);
  EXPECT_NE(err.find("warning: the log could not be written in " + (mDir.Path() / "no" / "such").string() +
                     "/ (the folder " + (mDir.Path() / "no" / "such").string() +
                     "/ does not exist); its lines went to standard error instead"),
            std::string::npos) << err;
  EXPECT_NE(err.find("Exit code: 0 (success)"), std::string::npos);
  EXPECT_EQ(test::Contents(mOut).find("log: "), std::string::npos);
}

// The result document, read with a real JSON parser, for each way a run ends.
TEST_F(CLinuxApplication, TheResultFileIsWrittenForEveryOutcome)
{
  const auto result = [](const char* file_I) {
    test::ExpectValidRunResult(file_I);
    return nlohmann::json::parse(std::ifstream(file_I));
  };
  ASSERT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen,touch", "-result", "ok.json"}), 0);
  nlohmann::json json = result("ok.json");
  EXPECT_EQ(json["exitCode"], 0);
  EXPECT_EQ(json["meaning"], "success");
  EXPECT_EQ(json["message"], "Firmware was successfully updated.");
  EXPECT_EQ(json["device"], "Orvel Display 16");
  ASSERT_EQ(json["boards"].size(), 2u);
  EXPECT_EQ(json["boards"][1]["board"], "touch");
  EXPECT_EQ(json["boards"][1]["outcome"], "updated");
  EXPECT_EQ(json["boards"][1]["file"], "display_touch.hex");
  EXPECT_EQ(json["boards"][0]["versionBefore"], "1.00");
  EXPECT_EQ(json["boards"][0]["fileVersion"], "1.01");  // the last word of the S-record header
  EXPECT_TRUE(json["boards"][1]["fileVersion"].is_null());
  EXPECT_TRUE(json["durationMs"].is_number_unsigned());
  EXPECT_EQ(json["log"].get<std::string>().rfind(mDir.Path().string() + "/OrvelFWUpdater_", 0), 0u);

  std::string scenario = sim::CSimPlatform::DefaultScenario();
  scenario.replace(scenario.find("\"writeSize\": 256"), 16, "\"writeSize\": 256, \"dropAfter\": 40");
  std::ofstream("failing.scenario") << scenario;
  ASSERT_EQ(Run({"-simulate", "failing.scenario", "-testpid", "0210", "-auto", "pen,touch", "-result", "failed.json"}), 1);
  json = result("failed.json");
  EXPECT_EQ(json["meaning"], "error");
  EXPECT_EQ(json["message"], WideToUtf8(LoadResString(EUISTRING_UPDATE_FAILED, 9)));
  EXPECT_EQ(json["boards"][0]["outcome"], "failed");
  EXPECT_EQ(json["boards"][1]["outcome"], "not started");

  std::fputs("Cancel\n", mIn);
  std::rewind(mIn);
  ASSERT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "scalar", "-result", "cancel.json"}), 2);
  EXPECT_NE(test::Contents(mOut).find("Cancelled at the pre-update warning; no board was touched.\n"), std::string::npos);
  json = result("cancel.json");
  EXPECT_EQ(json["exitCode"], 2);
  EXPECT_EQ(json["meaning"], "cancelled");
  EXPECT_EQ(json["boards"][0]["outcome"], "not started");

  // A board name with backslashes (a Windows path by mistake) comes back as it was given.
  ASSERT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen,C:\\fw\\bogus", "-result", "bad.json"}), 1);
  json = result("bad.json");
  EXPECT_EQ(json["exitCode"], 1);
  EXPECT_EQ(json["message"], "Error: Invalid update options. Please re-download the package.\n\"C:\\fw\\bogus\" in "
                             "the board list \"pen,C:\\fw\\bogus\" is not one of pen, touch, bluetooth, scalar");
  EXPECT_TRUE(json["device"].is_null());
  EXPECT_EQ(json["boards"].size(), 2u);
  EXPECT_EQ(json["boards"][1]["board"], "C:\\fw\\bogus");

  EXPECT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen", "-result", "no/such/dir/r.json"}), 0);
  EXPECT_NE(test::Contents(mErr).find("error: cannot write no/such/dir/r.json"), std::string::npos);
}

TEST_F(CLinuxApplication, ListShowsEveryDeviceAndBoardWithVersionsAndPaths)
{
  EXPECT_EQ(Run({"--list", "-simulate", "default"}), 0);
  const std::string out = test::Contents(mOut);
  for (const char* expected :
       {"Orvel Display 16 (normal mode)\n", "  pen       HID  4F52:0210  normal    firmware 1.00  file display_pen.orv",
        "  bluetooth HID  4F52:0211  normal    firmware 1.00  file display_bt.airoflash (no version)",
        "  scalar    FTDI 5C23:1063  normal    firmware 1.2.3", " FTDI port 0\n",  // the only bridge, without -port
        "\\\\?\\HID#VID_4F52&PID_0211&MI_00#"}) {
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
  }
  std::ofstream("empty.scenario") << R"({"devices": []})";
  EXPECT_EQ(Run({"--list", "-simulate", "empty.scenario"}), 0);
  EXPECT_NE(test::Contents(mOut).find("no supported device is attached\n"), std::string::npos);
  std::filesystem::remove("fw_loader.ini");
  EXPECT_EQ(Run({"--list", "-simulate", "default"}), 1);
  EXPECT_NE(test::Contents(mErr).find("error: no device model could be read from ./fw_loader.ini"), std::string::npos);
}

// A path as --list shows it names the device for -path, prefix and all.
TEST_F(CLinuxApplication, AListedPathNamesTheDevice)
{
  ASSERT_EQ(Run({"--list", "-simulate", "default"}), 0);
  const std::string out = test::Contents(mOut);
  const size_t start = out.find("\\\\?\\HID#VID_4F52&PID_0210");
  ASSERT_NE(start, std::string::npos) << out;
  const std::string path = out.substr(start, out.find('\n', start) - start);
  EXPECT_EQ(Run({"-simulate", "default", "-path", path, "-auto", "pen"}), 0) << test::Contents(mErr);
  EXPECT_NE(test::Contents(mOut).find(WideToUtf8(LoadResString(EUISTRING_UPDATE_SUCCEEDED, 9))), std::string::npos);
}

// The terminal's own lines and the end of a cancelled run are in the language chosen, not English.
TEST_F(CLinuxApplication, TheTerminalSpeaksTheChosenLanguage)
{
  EXPECT_EQ(Run({"-simulate", "default", "-lang", "ja", "-testpid", "0210", "-auto", "pen"}), 0);
  std::string out = test::Contents(mOut);
  EXPECT_NE(out.find("\n状態: 100%"), std::string::npos) << out;
  EXPECT_EQ(out.find("Status"), std::string::npos) << out;
  EXPECT_EQ(Run({"-simulate", "default", "-lang", "de", "-testpid", "0210", "-auto", "scalar"}), 2);
  out = test::Contents(mOut);
  EXPECT_NE(out.find("\nBei der Warnung vor der Aktualisierung abgebrochen; keine Platine wurde verändert.\n"),
            std::string::npos) << out;
}

// An unattended run with -y updates the scaler without an answer; the warning is still shown, once.
TEST_F(CLinuxApplication, DashYUpdatesTheScalerWithoutAnAnswer)
{
  EXPECT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "scalar", "-y"}), 0) << test::Contents(mErr);
  const std::string out = test::Contents(mOut);
  EXPECT_NE(out.find(WideToUtf8(LoadResString(EUISTRING_UPDATE_SUCCEEDED, 9))), std::string::npos) << out;
  EXPECT_EQ(out.find("[Update/Cancel]"), std::string::npos) << out;
  const std::string warning = WideToUtf8(LoadResString(EUISTRING_WARNING_CABLES, 9));
  EXPECT_NE(out.find(warning), std::string::npos) << out;
  EXPECT_EQ(out.find(warning), out.rfind(warning)) << out;
  EXPECT_EQ(test::Contents(mErr), "");
}

// The scenario documentation gives the default scenario's own display serial number.
TEST(SimulationDocs, TheDocumentedDefaultSerialIsTheDefaultScenarios)
{
  const std::string docs = test::ReadText(test::SourceDir() / "docs" / "simulation.md");
  const std::string scenario = sim::CSimPlatform::DefaultScenario();
  const size_t serial = scenario.find("\"serial\": \"");
  ASSERT_NE(serial, std::string::npos);
  const std::string value = scenario.substr(serial + 11, scenario.find('"', serial + 11) - serial - 11);
  EXPECT_NE(docs.find("`-serial " + value + "`"), std::string::npos) << value;
}

// Without -testpid or -path the demo's autoconfig.ini names device and list; the -auto given is not silently lost.
TEST_F(CLinuxApplication, AListReplacedByAutoconfigIsNamed)
{
  EXPECT_EQ(Run({"-simulate", "default", "-auto", "pen"}), 2);  // the file's list holds scalar: no answer cancels
  EXPECT_NE(test::Contents(mErr).find("warning: -auto pen is replaced by the list of autoconfig.ini "
                                      "(pen,touch,bluetooth,scalar): name the device with -testpid or -path"),
            std::string::npos)
      << test::Contents(mErr);
}

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
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
class CLinuxApplication : public ::testing::Test, public test::CLinuxProgramRuns {
 protected:
  using CLinuxProgramRuns::Run;
  CScheduledClock mClock;
  CScopedClock mInstalled{mClock};
};

std::string English(uint16_t id_I) { return WideToUtf8(LoadResString(id_I, 9)); }

// The result file, valid and read with a real JSON parser; each field named by its JSON pointer holds its value
// (null: the field is null or missing).
nlohmann::json ExpectResult(const char* file_I, const std::vector<std::pair<const char*, nlohmann::json>>& fields_I)
{
  test::ExpectValidRunResult(file_I);
  const nlohmann::json result = nlohmann::json::parse(std::ifstream(file_I));
  for (const auto& [field, value] : fields_I) {
    EXPECT_EQ(result.value(nlohmann::json::json_pointer(field), nlohmann::json()), value) << file_I << field;
  }
  return result;
}

}  // namespace

// What a run says, and where: what a person or a script reads on standard output, errors and warnings on
// standard error, in the language chosen (the terminal's own lines too); options, files and devices that do
// not serve are named, and a run that goes on despite them ends as usual.
TEST_F(CLinuxApplication, EachRunSaysWhatHappenedOnItsStream)
{
  const std::vector<std::string> pen{"-simulate", "default", "-testpid", "0210", "-auto", "pen"};
  const auto with = [&pen](std::vector<std::string> more_I) {
    more_I.insert(more_I.begin(), pen.begin(), pen.end());
    return more_I;
  };
  const std::string succeeded = English(EUISTRING_UPDATE_SUCCEEDED);
  const std::string cables = English(EUISTRING_WARNING_CABLES);
  const std::string windowsRecording = (test::SourceDir() / "tests/win/devices/tablet_s-windows.rec").string();
  const struct {
    std::vector<std::string> args;
    int code;
    std::vector<std::string> out;
    std::vector<std::string> err;
    std::string notOut;
    std::string input{};
  } cases[] = {
      {{"--help"}, 0, {"usage: orvel-fwupdater"}, {}, ""},
      {{"--version"}, 0, {"orvel-fwupdater 3.09\n"}, {}, ""},
      {{"-simulate"}, 1, {}, {"error: option -simulate needs a value"}, ""},
      {{"-simulate", "no-such.scenario"}, 1, {}, {"error: cannot read the scenario no-such.scenario\n"}, ""},
      {{"-simulate", "."}, 1, {}, {"error: cannot read the scenario .\n"}, ""},
      {with({"-lang", "de"}), 0, {"Die Firmware wurde erfolgreich aktualisiert."}, {}, ""},
      {with({"-lang", "ja"}), 0, {"\n状態: 100%"}, {}, "Status"},
      {{"-simulate", "default", "-lang", "de", "-testpid", "0210", "-auto", "scalar"}, 2,
       {"\nBei der Warnung vor der Aktualisierung abgebrochen; keine Platine wurde verändert.\n"}, {}, ""},
      {with({"-bogus", "-help"}), 0, {}, {"warning: unknown option -bogus ignored\n"}, ""},
      {with({"-lang"}), 0, {}, {"warning: option -lang needs a value; ignored\n"}, ""},
      {with({"-lang", "xx"}), 0, {succeeded}, {"warning: -lang xx is not one of userUI, user, neutral, en, zh_CN"}, ""},
      // Diagnostics go to the log, and with -v to standard error as well: never to standard output.
      {with({"-v"}), 0, {}, {"OrvelFWUpdater 3.09\nCommand line: orvel-fwupdater -simulate default", "Pen GetDevice"},
       "GetDevice"},
      // Without -testpid or -path the demo's autoconfig.ini names device and list; the -auto given is not
      // silently lost. The file's list holds the scaler: no answer cancels.
      {{"-simulate", "default", "-auto", "pen"}, 2, {},
       {"warning: -auto pen is replaced by the list of autoconfig.ini (pen,touch,bluetooth,scalar): name the "
        "device with -testpid or -path"},
       ""},
      // An unattended run with -y updates the scaler without an answer; the warning is still shown.
      {{"-simulate", "default", "-testpid", "0210", "-auto", "scalar", "-y"}, 0, {succeeded, cables}, {},
       "[Update/Cancel]"},
      // Piped, the prompt's answer read from standard input: the warning it showed is not shown again, and the
      // status names the board.
      {{"-simulate", "default", "-testpid", "0210", "-auto", "pen,scalar"}, 0, {"Status: 100% scalar\n", cables}, {},
       "", "Update\n"},
      // A recording made by the Windows program (test_win_devices makes it through the Windows system calls in
      // front of the simulated tablet, and keeps this copy in step) replays here as any recording does.
      {{"-simulate", windowsRecording, "-testpid", "0101", "-auto", "pen"}, 0, {succeeded}, {}, ""},
  };
  for (const auto& run : cases) {
    SCOPED_TRACE(::testing::PrintToString(run.args));
    EXPECT_EQ(Run(run.args, run.input), run.code) << Err();
    const std::string out = Out();
    const std::string err = Err();
    for (const std::string& part : run.out) EXPECT_NE(out.find(part), std::string::npos) << part << "\n" << out;
    for (const std::string& part : run.err) EXPECT_NE(err.find(part), std::string::npos) << part << "\n" << err;
    if (!run.notOut.empty()) {
      EXPECT_EQ(out.find(run.notOut), std::string::npos) << out;
    }
    if (run.err.empty()) {
      EXPECT_EQ(err, "");
    }
    EXPECT_EQ(out.find(cables), out.rfind(cables)) << "a warning is shown once at the most";
  }
}

// A second simulated copy ends with its code and result. Runs on attached devices share one lock, whoever
// runs them and whatever their environment; a simulated run touches no device and goes on beside them.
TEST_F(CLinuxApplication, ASecondCopyIsRefused)
{
  {
    CLinuxSingleInstance first;
    ASSERT_TRUE(first.Acquire());
    EXPECT_EQ(Run({"-simulate", "default", "-result", "second.json"}), -1);
    EXPECT_NE(Err().find("error: another copy of orvel-fwupdater is running"), std::string::npos);
    ExpectResult("second.json", {{"/exitCode", 255}, {"/meaning", "another copy is running"}});
  }
  CLinuxSingleInstance other(DeviceLock());
  ASSERT_TRUE(other.Acquire());
  EXPECT_EQ(Run({"--list"}), -1);
  EXPECT_NE(Err().find("error: another copy of orvel-fwupdater is running (it holds the lock " + DeviceLock()),
            std::string::npos) << Err();
  EXPECT_EQ(Run({"--list", "-simulate", "default"}), 0);
  // A lock that cannot be made at all is no other copy: the run says what failed, and no retry will mend it.
  const std::string missing = (mDir.Path() / "missing").string();
  const test::CScopedEnvironment runtime("XDG_RUNTIME_DIR", missing);
  EXPECT_EQ(Run({"-simulate", "default", "-result", "nolock.json"}), 1);
  EXPECT_NE(Err().find("error: the lock " + missing + "/orvel-fwupdater.lock cannot be created (No such file or "
                       "directory); nothing was done"), std::string::npos) << Err();
  ExpectResult("nolock.json", {{"/exitCode", 1}, {"/meaning", "error"}});
}

// No input ends the program by an exception: a directory where a file belongs gets its message and exit code.
TEST_F(CLinuxApplication, DirectoriesWhereFilesBelongEndWithAMessage)
{
  std::filesystem::remove("display_pen.orv");
  std::filesystem::create_directory("display_pen.orv");
  EXPECT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen"}), 1);
  EXPECT_NE(Err().find("\ndisplay_pen.orv: not a regular file\n"), std::string::npos) << Err();
}

TEST_F(CLinuxApplication, ALogThatCannotBeWrittenIsSaidSoAndItsLinesGoToStandardError)
{
  const test::CScopedEnvironment missing("TMPDIR", (mDir.Path() / "no" / "such").string());
  EXPECT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen"}), 0);
  const std::string err = Err();
  EXPECT_NE(err.find("warning: the log could not be written in " + (mDir.Path() / "no" / "such").string() +
                     "/ (the folder " + (mDir.Path() / "no" / "such").string() +
                     "/ does not exist); its lines went to standard error instead"),
            std::string::npos) << err;
  EXPECT_NE(err.find("Exit code: 0 (success)"), std::string::npos);
  EXPECT_EQ(Out().find("log: "), std::string::npos);
}

// The result document, read with a real JSON parser, for each way a run ends.
TEST_F(CLinuxApplication, TheResultFileIsWrittenForEveryOutcome)
{
  ASSERT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen,touch", "-result", "ok.json"}), 0);
  // The pen's file version is the last word of its S-record header; the touch board's Intel HEX file has none.
  const nlohmann::json json = ExpectResult(
      "ok.json", {{"/exitCode", 0}, {"/meaning", "success"}, {"/message", "Firmware was successfully updated."},
                  {"/device", "Orvel Display 16"}, {"/boards/1/board", "touch"}, {"/boards/1/outcome", "updated"},
                  {"/boards/1/file", "display_touch.hex"}, {"/boards/2", nullptr}, {"/boards/0/versionBefore", "1.00"},
                  {"/boards/0/fileVersion", "1.01"}, {"/boards/1/fileVersion", nullptr}});
  EXPECT_TRUE(json["durationMs"].is_number_unsigned());
  EXPECT_EQ(json["log"].get<std::string>().rfind(mDir.Path().string() + "/OrvelFWUpdater_", 0), 0u);

  std::string scenario = sim::CSimPlatform::DefaultScenario();
  scenario.replace(scenario.find("\"writeSize\": 256"), 16, "\"writeSize\": 256, \"dropAfter\": 40");
  std::ofstream("failing.scenario") << scenario;
  ASSERT_EQ(Run({"-simulate", "failing.scenario", "-testpid", "0210", "-auto", "pen,touch", "-result", "failed.json"}), 1);
  ExpectResult("failed.json", {{"/meaning", "error"}, {"/message", English(EUISTRING_UPDATE_FAILED)},
                               {"/boards/0/outcome", "failed"}, {"/boards/1/outcome", "not started"}});

  ASSERT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "scalar", "-result", "cancel.json"}, "Cancel\n"), 2);
  EXPECT_NE(Out().find("Cancelled at the pre-update warning; no board was touched.\n"), std::string::npos);
  ExpectResult("cancel.json", {{"/exitCode", 2}, {"/meaning", "cancelled"}, {"/boards/0/outcome", "not started"}});

  // A board name with backslashes (a Windows path by mistake) comes back as it was given.
  ASSERT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen,C:\\fw\\bogus", "-result", "bad.json"}), 1);
  ExpectResult("bad.json",
               {{"/exitCode", 1},
                {"/message", "Error: Invalid update options. Please re-download the package.\n\"C:\\fw\\bogus\" in the "
                             "board list \"pen,C:\\fw\\bogus\" is not one of pen, touch, bluetooth, scalar"},
                {"/device", nullptr},
                {"/boards/2", nullptr},
                {"/boards/1/board", "C:\\fw\\bogus"}});

  EXPECT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen", "-result", "no/such/dir/r.json"}), 0);
  EXPECT_NE(Err().find("error: cannot write no/such/dir/r.json"), std::string::npos);
  // A result that cannot take the place of what is at its path leaves no half-made file beside it.
  std::filesystem::create_directory("taken.json");
  ASSERT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen", "-result", "taken.json"}), 0);
  EXPECT_NE(Err().find("error: cannot write taken.json"), std::string::npos) << Err();
  EXPECT_TRUE(std::filesystem::is_directory("taken.json"));
  EXPECT_FALSE(std::filesystem::exists("taken.json.partial"));
}

// The shell hands each argument over whole: a value with a blank in it is one value, not two tokens.
TEST_F(CLinuxApplication, AnArgumentWithABlankIsOneValue)
{
  std::filesystem::create_directory("my results");
  ASSERT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen", "-result", "my results/r.json"}), 0);
  EXPECT_EQ(Err().find("warning"), std::string::npos) << Err();
  ExpectResult("my results/r.json", {{"/exitCode", 0}});
}

// A result file holds the outcome of the run that wrote it or nothing: a run that ends without writing its own
// (killed, the power lost mid-update) must not leave an earlier run's "success" there for a tool to read. The
// pre-update question is a moment of the run: the input it reads notes whether the earlier result is still there.
TEST_F(CLinuxApplication, AnEarlierResultIsGoneWhileTheRunGoesOn)
{
  ASSERT_EQ(Run({"-simulate", "default", "-testpid", "0210", "-auto", "pen", "-result", "r.json"}), 0);
  bool earlierResultSeen = true;
  cookie_io_functions_t answer{};
  answer.read = [](void* seen_O, char* buffer_O, size_t size_I) -> ssize_t {
    *static_cast<bool*>(seen_O) = std::filesystem::exists("r.json");
    const std::string text = "Cancel\n";
    if (size_I < text.size()) return 0;
    std::copy(text.begin(), text.end(), buffer_O);
    return static_cast<ssize_t>(text.size());
  };
  FILE* in = fopencookie(&earlierResultSeen, "r", answer);
  FILE* out = std::tmpfile();
  EXPECT_EQ(RunLinuxApplication({"-simulate", "default", "-testpid", "0210", "-auto", "scalar", "-result", "r.json"},
                                in, out, out, DeviceLock()), 2);
  EXPECT_FALSE(earlierResultSeen) << test::Contents(out);
  for (FILE* file : {in, out}) std::fclose(file);
  ExpectResult("r.json", {{"/exitCode", 2}});
}

// Ctrl-C at the pre-update question, or a stop from whoever started the run, declines the warning: the run ends
// with its code, its log and its result, every board "not started".
TEST_F(CLinuxApplication, ASignalAtThePreUpdateQuestionCancelsTheRun)
{
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    cookie_io_functions_t waiting{};
    waiting.read = [](void* signal_I, char*, size_t) -> ssize_t {
      raise(*static_cast<int*>(signal_I));
      errno = EINTR;
      return -1;
    };
    EXPECT_EXIT(std::_Exit(RunLinuxApplication({"-simulate", "default", "-testpid", "0210", "-auto", "pen,scalar",
                                                "-result", "r.json"}, fopencookie(&signal, "r", waiting),
                                               std::tmpfile(), std::tmpfile(), DeviceLock())),
                ::testing::ExitedWithCode(2), "");
    ExpectResult("r.json",
                 {{"/exitCode", 2}, {"/boards/0/outcome", "not started"}, {"/boards/1/outcome", "not started"}});
  }
}

// Asked on a terminal while the output goes to a file, the question shows on the terminal it waits on.
TEST_F(CLinuxApplication, TheQuestionShowsOnTheTerminalItWaitsOn)
{
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  FILE* in = std::fopen(ptsname(master), "r");
  FILE* terminal = std::fopen(ptsname(master), "w");
  ASSERT_TRUE(in != nullptr && terminal != nullptr);
  ASSERT_EQ(write(master, "Cancel\n", 7), 7);
  FILE* out = std::tmpfile();
  EXPECT_EQ(RunLinuxApplication({"-simulate", "default", "-testpid", "0210", "-auto", "scalar"}, in, out, terminal,
                                DeviceLock()), 2);
  std::string shown;
  pollfd ready{master, POLLIN, 0};
  char buffer[512];
  for (ssize_t count = 0; shown.find("[Update/Cancel] ") == std::string::npos && poll(&ready, 1, 2000) == 1 &&
                          (count = read(master, buffer, sizeof(buffer))) > 0;) {
    shown.append(buffer, static_cast<size_t>(count));
  }
  EXPECT_NE(shown.find(English(EUISTRING_WARNING_CABLES) + "\r\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("[Update/Cancel] "), std::string::npos) << shown;
  for (FILE* file : {in, terminal, out}) std::fclose(file);
  close(master);
}

// A reader of the output that went away (| head, a closed terminal) ends no run: it goes on and writes its result,
// and no earlier run's result stays in its place.
TEST_F(CLinuxApplication, AReaderOfTheOutputGoneEndsNoRun)
{
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  FILE* gone = fdopen(ends[1], "w");
  const struct {
    std::vector<std::string> args;
    bool outGone;
  } cases[] = {
      {{"-simulate", "default", "-testpid", "0210", "-auto", "scalar", "-result", "r.json"}, true},
      {{"-simulate", "default", "-testpid", "0210", "-auto", "pen", "-bogus", "-result", "r.json"}, false},
  };
  for (const auto& run : cases) {
    SCOPED_TRACE(::testing::PrintToString(run.args));
    std::ofstream("r.json") << R"({"exitCode": 1})";
    FILE* in = std::tmpfile();
    std::fputs("Update\n", in);
    std::rewind(in);
    EXPECT_EXIT(std::_Exit(RunLinuxApplication(run.args, in, run.outGone ? gone : std::tmpfile(),
                                               run.outGone ? std::tmpfile() : gone, DeviceLock())),
                ::testing::ExitedWithCode(0), "");
    std::fclose(in);
    ExpectResult("r.json", {{"/exitCode", 0}});
  }
  std::fclose(gone);
}

// A package without its topology has no device model to list.
TEST_F(CLinuxApplication, ListWithoutTheTopologySaysSo)
{
  std::filesystem::remove("fw_loader.ini");
  EXPECT_EQ(Run({"--list", "-simulate", "default"}), 1);
  EXPECT_NE(Err().find("error: no device model could be read from ./fw_loader.ini"), std::string::npos);
}

// A path as --list shows it names the device for -path, prefix and all.
TEST_F(CLinuxApplication, AListedPathNamesTheDevice)
{
  ASSERT_EQ(Run({"--list", "-simulate", "default"}), 0);
  const std::string out = Out();
  const size_t start = out.find("\\\\?\\HID#VID_4F52&PID_0210");
  ASSERT_NE(start, std::string::npos) << out;
  const std::string path = out.substr(start, out.find('\n', start) - start);
  EXPECT_EQ(Run({"-simulate", "default", "-path", path, "-auto", "pen"}), 0) << Err();
  EXPECT_NE(Out().find(English(EUISTRING_UPDATE_SUCCEEDED)), std::string::npos);
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

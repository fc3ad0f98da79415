#include "linux/fwupdater/clinuxapplication.h"

#include <signal.h>

#include <algorithm>
#include <exception>

#include "app/devicelisting.h"
#include "app/runapplication.h"
#include "common/assertion.h"
#include "common/osd/cd2xx.h"
#include "common/textconversion.h"
#include "linux/common/clinuxplatform.h"
#include "linux/common/clinuxpreupdateprompt.h"
#include "linux/common/clinuxprocessservices.h"
#include "linux/common/clinuxterminalview.h"
#include "sim/csimplatform.h"

namespace orv {
namespace {

const char* const kUsage =
    "usage: orvel-fwupdater [-auto LIST] [-path PATH | -testpid PIDS] [-serial SERIAL] [-port N] [-lang CODE]\n"
    "                       [-result FILE] [-record FILE | -simulate SCENARIO|default] [-v]\n"
    "                       [-y | -quiet]\n"
    "       orvel-fwupdater --list [-simulate SCENARIO|default]\n"
    "       orvel-fwupdater --version | --help\n"
    "  -auto LIST       boards to update in order, comma-separated: pen, touch, bluetooth, scalar\n"
    "  -path PATH       the device to update by one of its paths as --list shows them: a hidraw node\n"
    "                   (/dev/hidraw3); simulated, the interface path, with or without its \\\\?\\ prefix\n"
    "                   (+ may stand for &)\n"
    "  -testpid PIDS    hexadecimal product ids, comma-separated; the first attached one is updated\n"
    "  -serial SERIAL   serial number the display must report before its scaler is updated\n"
    "  -port N          index of the display's FTDI bridge\n"
    "  -lang CODE       language of the texts (en, de, fr, ja, ...); default from LC_ALL, LC_MESSAGES, LANG\n"
    "  -result FILE     write the run's result to FILE as JSON, whatever the outcome\n"
    "  -record FILE     write every transfer with the devices to FILE, for a report of a failing board\n"
    "  -simulate FILE   run against the simulated devices a scenario describes ('default': a pen display),\n"
    "                   or replay a recording\n"
    "  -v               copy every log line to standard error\n"
    "  -y               accept the warning before a scaler update without being asked (unattended runs);\n"
    "                   without it and without a terminal, a line read from standard input answers\n"
    "  -quiet           the same as -y here (the Windows program's option for runs without any window)\n"
    "  --list           list the attached devices and their boards, and exit\n"
    "Without -path and -testpid the device and the list come from autoconfig.ini; the topology is\n"
    "./fw_loader.ini. Exit codes: 0 success, 1 error, 2 cancelled, 255 another copy is running.\n";

constexpr int kAnotherCopy = 255;
constexpr const char* kTopologyFile = "./fw_loader.ini";

struct SArguments {
  std::vector<std::string> options;
  std::string scenario;
  bool help = false;
  bool version = false;
  bool list = false;
  bool verbose = false;
  bool simulateWithoutValue = false;
};

SArguments SplitArguments(const std::vector<std::string>& args_I)
{
  SArguments arguments;
  for (size_t i = 0; i < args_I.size(); ++i) {
    if (args_I[i] == "--help" || args_I[i] == "-h") {
      arguments.help = true;
    } else if (args_I[i] == "--version") {
      arguments.version = true;
    } else if (args_I[i] == "--list") {
      arguments.list = true;
    } else if (args_I[i] == "-v") {
      arguments.verbose = true;
    } else if (args_I[i] == "-simulate") {
      arguments.simulateWithoutValue = i + 1 == args_I.size();
      if (i + 1 < args_I.size()) arguments.scenario = args_I[++i];
    } else {
      arguments.options.push_back(args_I[i]);
    }
  }
  return arguments;
}

std::string Join(const std::vector<std::string>& tokens_I)
{
  std::string line;
  for (const std::string& token : tokens_I) line += (line.empty() ? "" : " ") + token;
  return line;
}

void PrintLine(FILE* stream_I, const std::string& line_I)
{
  std::fputs((line_I + "\n").c_str(), stream_I);
  std::fflush(stream_I);
}

// A reader of the output that goes away (| head, a closed terminal) must not end the run by a signal: its result
// would not be written, or an earlier run's left in its place. Writes then fail, and the run goes on.
class CBrokenPipeIgnored {
 public:
  CBrokenPipeIgnored()
  {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &mPrevious);
  }
  ~CBrokenPipeIgnored() { sigaction(SIGPIPE, &mPrevious, nullptr); }
  CBrokenPipeIgnored(const CBrokenPipeIgnored&) = delete;
  CBrokenPipeIgnored& operator=(const CBrokenPipeIgnored&) = delete;

 private:
  struct sigaction mPrevious {};
};

// One run of the terminal application; every way it ends says why on the terminal.
class CLinuxApplication {
 public:
  CLinuxApplication(const std::vector<std::string>& args_I, FILE* in_I, FILE* out_I, FILE* err_I,
                    const std::string& deviceLock_I)
      : mArgs(args_I), mArguments(SplitArguments(args_I)), mIn(in_I), mOut(out_I), mErr(err_I),
        mDeviceLock(deviceLock_I)
  {
  }

  int Run()
  {
    if (mArguments.help) {
      std::fputs(kUsage, mOut);
      return 0;
    }
    if (mArguments.version) {
      PrintLine(mOut, "orvel-fwupdater " + WideToUtf8(CAutoUpdateRun::VersionText()));
      return 0;
    }
    // Each argument is one token as the shell gave it: a file name with a blank stays one value.
    std::vector<std::u16string> tokens;
    for (const std::string& option : mArguments.options) tokens.push_back(Utf8ToWide(option));
    mOptions = ParseArguments(tokens);
    mWarnings = ArgumentWarnings(tokens);
    if (mArguments.simulateWithoutValue) {
      PrintLine(mErr, "error: option -simulate needs a value: a scenario file, or default");
      return Finish(1, "option -simulate needs a value");
    }
    // An option without its value can only be the last token.
    const bool recordWithoutValue = !mArguments.options.empty() && mArguments.options.back() == "-record";
    mRecording = WideToUtf8(mOptions.recordFile);
    if (recordWithoutValue || (!mRecording.empty() && !mArguments.scenario.empty())) {
      PrintLine(mErr, "error: option -record needs a file, and records the attached devices, not -simulate");
      return Finish(1, "option -record needs a file and the attached devices");
    }
    for (const std::string& warning : mWarnings) PrintLine(mErr, "warning: " + warning);
    // From here on every end of the run writes its own result (a listing writes none).
    std::string stale;
    if (!mArguments.list && !mOptions.resultFile.empty() && !DiscardRunResult(WideToUtf8(mOptions.resultFile), stale)) {
      PrintLine(mErr, "warning: " + stale);
    }

    // A simulated run touches no device: it may run beside a real one, and tests run side by side.
    const std::string lockPath = mArguments.scenario.empty() ? mDeviceLock : CLinuxSingleInstance::DefaultLockPath();
    CLinuxSingleInstance instance(lockPath);
    if (!instance.Acquire()) return RefuseLock(instance, lockPath);
    std::string error;
    if (mArguments.scenario.empty()) {
      mReal = std::make_unique<CLinuxPlatform>();
    } else {
      mSimulated = sim::CSimPlatform::Create(mArguments.scenario, error);
    }
    if (!mReal && !mSimulated) {
      PrintLine(mErr, "error: " + error);
      return Finish(1, error);
    }
    if (mReal && !CheckAccess()) return Finish(1, mProblems.front());
    // The recording starts with the run itself, so that the run replays against it as it was.
    if (!mRecording.empty() && !mReal->Record(mRecording, error)) {
      PrintLine(mErr, "error: " + error);
      return Finish(1, error);
    }
    const CScopedD2XX bridge(mSimulated ? mSimulated->D2XX() : mReal->D2XX());
    const int code = mArguments.list ? List() : Update();
    if (mSimulated && !mSimulated->WriteResults(error)) PrintLine(mErr, "error: " + error);
    if (mReal && code != 0) ReportNewAccessProblems();
    if (mReal && !mReal->RecordingGood()) PrintLine(mErr, "error: the recording " + mRecording + " is incomplete");
    return code;
  }

 private:
  std::unique_ptr<CDiscovery> CreateDiscovery() const
  {
    return mSimulated ? mSimulated->CreateDiscovery(kTopologyFile) : mReal->CreateDiscovery(kTopologyFile);
  }

  // Nodes of our boards this user may not open end the run before it starts, each named with the udev rules
  // that give access: not "no device".
  bool CheckAccess()
  {
    const std::unique_ptr<CDiscovery> discovery = mReal->CreateDiscovery(kTopologyFile);
    discovery->Discover();
    mPrototypes = discovery->GetPrototypes();
    mProblems = mReal->PermissionProblems(mPrototypes);
    for (const std::string& problem : mProblems) PrintLine(mErr, "error: " + problem);
    return mProblems.empty();
  }

  // A node refused during the run (the display's bridge, a board's loader).
  void ReportNewAccessProblems()
  {
    for (const std::string& problem : mReal->PermissionProblems(mPrototypes)) {
      if (std::find(mProblems.begin(), mProblems.end(), problem) == mProblems.end()) PrintLine(mErr, "error: " + problem);
    }
  }

  int List()
  {
    const std::unique_ptr<CDiscovery> discovery = CreateDiscovery();
    discovery->Discover();
    if (discovery->GetPrototypes().empty()) {
      PrintLine(mErr, "error: no device model could be read from ./fw_loader.ini (orvel-fwtool check . says why)");
      return 1;
    }
    const std::vector<SListedDevice> devices = ListDevices(*discovery, mOptions.port);
    if (devices.empty()) PrintLine(mOut, "no supported device is attached");
    for (const std::string& line : DeviceListingLines(devices)) PrintLine(mOut, line);
    return 0;
  }

  int Update()
  {
    const auto user = std::make_shared<CLinuxUserLanguage>();
    CLanguageProvider language(user);
    if (!mOptions.lang.empty()) language.SelectLanguage(WideToUtf8(mOptions.lang));
    // The view takes over Ctrl-C; it comes after the pre-update question, which Ctrl-C simply ends.
    std::unique_ptr<CLinuxTerminalView> view;
    bool prompted = false;
    // Said at once, below the view's block and in the log (debugger lines go there during the run).
    CLinuxKeepAwake keepAwake([this, &view](const std::string& text_I) {
      if (view) {
        view->ShowWarning(text_I);
      } else {
        PrintLine(mErr, "warning: " + text_I);
      }
      DebugPrint("Warning: %s\n", text_I.c_str());
    });
    std::string logPath;
    std::string logError;
    SRunResult result;
    SApplicationPorts ports;
    ports.view = [&]() -> CUpdateView& {
      if (!view) view = std::make_unique<CLinuxTerminalView>(mOut, mErr, prompted, language.GetLangId());
      return *view;
    };
    ports.userLanguage = user;
    ports.preUpdatePrompt = [&](const CLanguageProvider&) {
      prompted = true;
      return CLinuxPreUpdatePrompt(user, mOptions.lang, mIn, mOut, mErr).Run();
    };
    ports.makeEnvironment = [&] {
      SRunEnvironment environment;
      environment.discovery = CreateDiscovery();
      environment.events = mSimulated ? mSimulated->Events() : mReal->CreateEvents();
      environment.namedEvents = std::make_shared<CLinuxNamedEvents>();
      // Simulated boards put no machine at risk: a demo leaves its power management alone.
      environment.keepAwake = mSimulated ? nullptr : &keepAwake;
      return environment;
    };
    ports.tempDir = TemporaryDirectory();
    ports.localTime = LocalTime();
    ports.commandLine = "orvel-fwupdater " + Join(mArgs);
    ports.warnings = mWarnings;
    ports.warn = [this](const std::string& text_I) { PrintLine(mErr, "warning: " + text_I); };
    const auto toErr = [this](const std::string& line_I) { PrintLine(mErr, line_I); };
    if (mArguments.verbose) ports.logMirror = toErr;
    ports.logFallback = toErr;
    ports.logPath = &logPath;
    ports.logError = &logError;
    ports.result = &result;
    const int code = RunApplication(mOptions, ports);
    if (code == 2) PrintLine(mOut, result.message);
    if (!logPath.empty()) {
      PrintLine(mOut, "log: " + logPath);
    } else {
      PrintLine(mErr, "warning: the log could not be written in " + ports.tempDir + " (" + logError +
                          "); its lines went to standard error instead");
    }
    WriteResult(result);
    return code;
  }

  // A lock that cannot be made is no other copy: waiting for one to end would not help.
  int RefuseLock(const CLinuxSingleInstance& instance_I, const std::string& lockPath_I)
  {
    if (!instance_I.GetError().empty()) {
      PrintLine(mErr, "error: " + instance_I.GetError() + "; nothing was done");
      return Finish(1, instance_I.GetError() + "; nothing was done");
    }
    PrintLine(mErr, "error: another copy of orvel-fwupdater is running (it holds the lock " + lockPath_I +
                        "); nothing was done");
    return Finish(kAnotherCopy, "Another copy of the updater is running; nothing was done.");
  }

  // Results of runs that end before the update starts: the options still name the boards, none touched.
  int Finish(int code_I, const std::string& message_I)
  {
    SRunResult result;
    result.exitCode = code_I;
    result.message = message_I;
    WriteResult(result);
    return code_I == kAnotherCopy ? -1 : code_I;
  }

  void WriteResult(SRunResult result_I)
  {
    if (mOptions.resultFile.empty()) return;
    if (result_I.exitCode == -1) result_I.exitCode = kAnotherCopy;
    std::string error;
    if (!WriteRunResult(WideToUtf8(mOptions.resultFile), result_I, error)) PrintLine(mErr, "error: " + error);
  }

  std::vector<std::string> mArgs;
  SArguments mArguments;
  FILE* mIn;
  FILE* mOut;
  FILE* mErr;
  std::string mDeviceLock;
  StartupOptions mOptions;
  std::string mRecording;
  std::vector<std::string> mWarnings;
  std::unique_ptr<sim::CSimPlatform> mSimulated;
  std::unique_ptr<CLinuxPlatform> mReal;
  PrototypeMap mPrototypes;
  std::vector<std::string> mProblems;
};

}  // namespace

int RunLinuxApplication(const std::vector<std::string>& args_I, FILE* in_I, FILE* out_I, FILE* err_I,
                        const std::string& deviceLock_I)
{
  const CBrokenPipeIgnored brokenPipe;
  // Nothing a file, a device or the system does may end the program by an exception: say what happened.
  try {
    return CLinuxApplication(args_I, in_I, out_I, err_I, deviceLock_I).Run();
  } catch (const std::exception& exception) {
    PrintLine(err_I, std::string("error: unexpected failure: ") + exception.what());
  } catch (...) {
    PrintLine(err_I, "error: unexpected failure");
  }
  return 1;
}

}  // namespace orv

#include "win/fwupdater/cwinapplication.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <vector>

#include "app/runapplication.h"
#include "app/runresult.h"
#include "app/uistrings.h"
#include "common/assertion.h"
#include "common/cclock.h"
#include "common/fwupdater/clogupdatenotifier.h"
#include "common/osd/cd2xx.h"
#include "common/textconversion.h"
#include "sim/csimplatform.h"
#include "common/osd/cftdiexapi32.h"
#include "win/common/importwin32api.h"
#include "win/common/languageprovider.h"
#include "win/common/resourceutils.h"
#include "win/common/windesktop.h"
#include "win/common/winprocessservices.h"
#include "win/fwupdater/cdialogfirmwareupdater.h"
#include "win/fwupdater/cdialogpreupdatemessage.h"
#include "win/fwupdater/cwindevicemessages.h"
#include "win/fwupdater/cwindiscovery.h"
#include "win/fwupdater/cwinquietupdater.h"
#include "win/fwupdater/cwinrecording.h"

namespace orv {
namespace {

constexpr uint32_t kMaxSpeedUp = 1000;

struct SArguments {
  std::u16string options;
  std::string scenario;
  uint32_t speedUp = 1;
  std::u16string error;
};

// Every blank ends a token, as the updater's own options read them, so joining the tokens with one blank
// gives the line back as written.
std::vector<std::u16string> Tokens(const std::u16string& line_I)
{
  std::vector<std::u16string> tokens;
  size_t start = 0;
  for (size_t blank = line_I.find(u' '); blank != std::u16string::npos; blank = line_I.find(u' ', start)) {
    tokens.push_back(line_I.substr(start, blank - start));
    start = blank + 1;
  }
  tokens.push_back(line_I.substr(start));
  return tokens;
}

bool ReadSpeedUp(const std::u16string& text_I, uint32_t& speedUp_O)
{
  uint32_t value = 0;
  for (const char16_t c : text_I) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + static_cast<uint32_t>(c - u'0');
    if (value > kMaxSpeedUp) return false;
  }
  speedUp_O = value;
  return !text_I.empty() && value > 0;
}

// "-simulate FILE|default" and "-speed N" belong to this program; everything else is the updater's options,
// passed on as written.
SArguments SplitArguments(const std::u16string& commandLine_I)
{
  SArguments arguments;
  const std::vector<std::u16string> tokens = Tokens(commandLine_I);
  std::vector<std::u16string> options;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i] != u"-simulate" && tokens[i] != u"-speed") {
      options.push_back(tokens[i]);
      continue;
    }
    if (i + 1 >= tokens.size() || tokens[i + 1].empty()) {
      arguments.error = tokens[i] + u" needs a value";
      return arguments;
    }
    if (tokens[i] == u"-simulate") {
      arguments.scenario = WideToUtf8(tokens[++i]);
    } else if (!ReadSpeedUp(tokens[++i], arguments.speedUp)) {
      arguments.error = u"-speed takes a whole number from 1 to 1000";
      return arguments;
    }
  }
  if (arguments.speedUp > 1 && arguments.scenario.empty()) arguments.error = u"-speed needs -simulate";
  for (size_t i = 0; i < options.size(); ++i) arguments.options += (i == 0 ? u"" : u" ") + options[i];
  return arguments;
}

// The FTDI library of a run without -simulate, bound by name when the run starts; a machine without it keeps
// every board but the scaler.
CD2XX& RealD2XX()
{
  static CFTDIExAPI32 library(std::make_unique<CWinImportLibrary>(L"FTD2XX.dll"));
  return library;
}

// Why "-record" cannot start, or empty. A recording is of the attached devices, and starts before the run so
// that the run replays against it as it was.
std::string StartRecording(const SArguments& arguments_I, const StartupOptions& options_I, CWinRecording& recording_O)
{
  // An option without its value can only be the last token.
  const bool withoutFile = arguments_I.options == u"-record" || arguments_I.options.ends_with(u" -record");
  if (options_I.recordFile.empty() && !withoutFile) return "";
  if (withoutFile || !arguments_I.scenario.empty()) return "-record needs a file, and records the attached devices, not -simulate";
  std::string error;
  return recording_O.Open(WideToUtf8(options_I.recordFile), RealD2XX(), error) ? "" : error;
}

// The run's result for the package that started it ("-result FILE"), whatever the outcome; the exit code.
int Finish(const StartupOptions& options_I, const SRunResult& result_I)
{
  std::string error;
  if (!options_I.resultFile.empty() && !WriteRunResult(WideToUtf8(options_I.resultFile), result_I, error)) {
    DebugPrint("%s\n", error.c_str());
  }
  return result_I.exitCode;
}

// What the program knows before the run, for the run's log and for a run that ends before it starts.
struct SStart {
  StartupOptions options;
  std::string commandLine;
  // The log's first lines: what was wrong with the command line, why the run goes on without windows.
  std::vector<std::string> notes;
};

// A run that ends before the update starts: nothing was touched. Its log holds why, as a run's log would;
// that is all a deployment tool may get to see of it.
int Refuse(const SStart& start_I, int code_I, const std::string& message_I)
{
  SRunResult result;
  result.exitCode = code_I;
  result.message = message_I;
  const std::tm now = WinLocalTime();
  CLogUpdateNotifier log(WinTemporaryDirectory(), now);
  log.WriteHeader(ProgramVersionText(), start_I.commandLine, now);
  for (const std::string& note : start_I.notes) log.Log("Warning: " + note);
  log.WriteTrailer(message_I, code_I, ExitCodeMeaning(code_I));
  if (log.IsOpen()) result.logPath = log.GetLogPath();
  return Finish(start_I.options, result);
}

std::u16string ResourceString(uint16_t id_I, uint16_t langId_I) { return LoadWinResString(id_I, langId_I); }

// A quiet run shows nothing: its refusal is in its log and result.
void ShowError(const SStart& start_I, const std::u16string& text_I)
{
  if (start_I.options.quiet) return;
  const std::u16string caption = ResourceString(EUISTRING_TITLE, 9);
  MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(text_I.c_str()), reinterpret_cast<LPCWSTR>(caption.c_str()),
              MB_OK | MB_ICONERROR);
}

// Without a desktop anybody sees, a window would wait for ever for its click: the run goes on as with
// "-quiet", and its log says so first.
SStart ReadStart(const std::u16string& commandLine_I, const SArguments& arguments_I)
{
  SStart start;
  start.options = ParseCommandLine(arguments_I.options);
  start.commandLine = "OrvelFWUpdater.exe " + WideToUtf8(commandLine_I);
  start.notes = CommandLineWarnings(arguments_I.options);
  const std::string noDesktop = start.options.quiet ? "" : NoInteractiveDesktopReason(*WinDesktopCalls());
  if (noDesktop.empty()) return start;
  start.options.quiet = true;
  start.options.acceptWarning = true;
  start.notes.insert(start.notes.begin(), "no interactive desktop (" + noDesktop +
                                              "): the run goes on as with -quiet, without any window");
  return start;
}

}  // namespace

int RunWinApplication(const std::u16string& commandLine_I)
{
  InstallWinDebugOutput();
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  const SArguments arguments = SplitArguments(commandLine_I);
  const SStart start = ReadStart(commandLine_I, arguments);
  const StartupOptions& options = start.options;
  CWinSingleInstance instance;
  if (!instance.Acquire()) return Refuse(start, -1, "Another copy of the updater is running; nothing was done.");
  // From here on every end of the run writes its own result; one killed meanwhile must not leave an earlier run's.
  std::string stale;
  if (!options.resultFile.empty() && !DiscardRunResult(WideToUtf8(options.resultFile), stale)) {
    DebugPrint("%s\n", stale.c_str());
  }
  if (!IsSupportedWindows()) {
    if (!options.quiet) {
      MessageBoxW(nullptr,
                  L"This utility cannot be run on your operating system. Please consult the ReadMe for more information.",
                  L"Orvel Firmware Update Utility", MB_OK);
    }
    return Refuse(start, -1, "This Windows is older than Windows 7; nothing was done.");
  }
  if (!arguments.error.empty()) {
    ShowError(start, arguments.error);
    return Refuse(start, 1, WideToUtf8(arguments.error));
  }
  std::string error;
  const std::unique_ptr<sim::CSimPlatform> platform =
      arguments.scenario.empty() ? nullptr : sim::CSimPlatform::Create(arguments.scenario, error);
  if (!arguments.scenario.empty() && !platform) {
    ShowError(start, Utf8ToWide("-simulate: " + error));
    return Refuse(start, 1, "-simulate: " + error);
  }
  CWinRecording recording;
  if (const std::string problem = StartRecording(arguments, options, recording); !problem.empty()) {
    ShowError(start, Utf8ToWide(problem));
    return Refuse(start, 1, problem);
  }
  CScaledClock fastClock(arguments.speedUp);
  std::unique_ptr<CScopedClock> clock;
  if (arguments.speedUp > 1) clock = std::make_unique<CScopedClock>(fastClock);

  const uint32_t timerMs = std::max<uint32_t>(1, CAutoUpdateRun::kTimerMs / arguments.speedUp);
  // The run's end, recorded by the window that hears that the session ends.
  std::function<bool()> endSession;
  CDialogFirmwareUpdater dialog(timerMs, &endSession);
  CWinQuietUpdater quiet(timerMs, &endSession);
  CWinKeepAwake keepAwake;
  SApplicationPorts ports;
  ports.view = [&]() -> CUpdateView& { return options.quiet ? static_cast<CUpdateView&>(quiet) : dialog; };
  ports.userLanguage = std::make_shared<CWinUserLanguage>();
  ports.preUpdatePrompt = [&endSession](const CLanguageProvider& language_I) {
    return CDialogPreUpdateMessage(language_I, ResourceString, &endSession).Run();
  };
  ports.makeEnvironment = [&] {
    SRunEnvironment environment;
    // Real arrivals and removals reach the window from the system; simulated ones are sent to it alike.
    if (platform) {
      environment.discovery = platform->CreateDiscovery(ports.topologyFile);
      environment.events = std::make_shared<CWinDeviceMessages>(
          platform->Events(), [&] { return options.quiet ? quiet.Window() : dialog.Window(); });
    } else {
      environment.discovery = std::make_unique<CWinDiscovery>(ports.topologyFile, recording.Recorder());
    }
    environment.namedEvents = std::make_shared<CWinNamedEvents>();
    environment.keepAwake = &keepAwake;
    environment.loadString = ResourceString;
    return environment;
  };
  ports.drive = [&](CAutoUpdateRun& run_I) { return options.quiet ? quiet.Run(run_I) : dialog.Run(run_I); };
  ports.tempDir = WinTemporaryDirectory();
  ports.localTime = WinLocalTime();
  ports.commandLine = start.commandLine;
  ports.warnings = start.notes;
  ports.recorded = [&options](const SRunResult& result_I) { Finish(options, result_I); };
  ports.endSession = &endSession;
  const CScopedD2XX bridge(platform ? platform->D2XX() : recording.Recorder() ? recording.D2XX() : RealD2XX());
  const int code = RunApplication(options, ports);
  if (platform && !platform->WriteResults(error)) DebugPrint("%s\n", error.c_str());
  if (recording.Recorder() && !recording.Good()) DebugPrint("the recording %s is incomplete\n", WideToUtf8(options.recordFile).c_str());
  return code;
}

}  // namespace orv

#include "linux/fwupdater/clinuxapplication.h"

#include "app/runapplication.h"
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
    "                       [-simulate SCENARIO|default | -record FILE]\n"
    "  -auto LIST       boards to update in order, comma-separated: pen, touch, bluetooth, scalar\n"
    "  -path PATH       device path of the device to update: its hidraw node (/dev/hidraw3); simulated, the\n"
    "                   device interface path without its \\\\?\\ prefix (+ for &)\n"
    "  -testpid PIDS    hexadecimal product ids, comma-separated; the first attached one is updated\n"
    "  -serial SERIAL   serial number the display must report before its scaler is updated\n"
    "  -port N          index of the display's FTDI bridge\n"
    "  -lang CODE       language of the texts (en, de, fr, ja, ...); default from LC_ALL, LC_MESSAGES, LANG\n"
    "  -simulate FILE   run against the simulated devices a scenario describes ('default': a pen display)\n"
    "  -record FILE     write every transfer with the devices to FILE, for a report of a failing board\n"
    "Without -path and -testpid the device and the list come from autoconfig.ini; the topology is\n"
    "./fw_loader.ini. Exit codes: 0 success, 1 error, 2 cancelled, 255 another copy is running.\n";

struct SArguments {
  std::vector<std::string> options;
  std::string scenario;
  std::string recording;
  bool help = false;
  bool valid = true;
};

SArguments SplitArguments(const std::vector<std::string>& args_I)
{
  SArguments arguments;
  for (size_t i = 0; i < args_I.size(); ++i) {
    if (args_I[i] == "--help" || args_I[i] == "-h") {
      arguments.help = true;
    } else if (args_I[i] == "-simulate" || args_I[i] == "-record") {
      arguments.valid = arguments.valid && i + 1 < args_I.size();
      std::string& value = args_I[i] == "-simulate" ? arguments.scenario : arguments.recording;
      if (i + 1 < args_I.size()) value = args_I[++i];
    } else {
      arguments.options.push_back(args_I[i]);
    }
  }
  // A recording is of real devices.
  arguments.valid = arguments.valid && (arguments.scenario.empty() || arguments.recording.empty());
  return arguments;
}

std::string Join(const std::vector<std::string>& tokens_I)
{
  std::string line;
  for (const std::string& token : tokens_I) line += (line.empty() ? "" : " ") + token;
  return line;
}

void Report(FILE* err_I, const std::vector<std::string>& lines_I)
{
  for (const std::string& line : lines_I) std::fprintf(err_I, "orvel-fwupdater: %s\n", line.c_str());
}

// A -path names a device node, which the option's Windows prefix must not hide.
void UnprefixDevicePath(StartupOptions& options_IO)
{
  if (options_IO.path.rfind(u"\\\\?\\/", 0) == 0) options_IO.path.erase(0, 4);
}

}  // namespace

int RunLinuxApplication(const std::vector<std::string>& args_I, FILE* in_I, FILE* out_I, FILE* err_I)
{
  const SArguments arguments = SplitArguments(args_I);
  if (arguments.help || !arguments.valid) {
    std::fputs(kUsage, arguments.help ? out_I : err_I);
    return arguments.help ? 0 : 1;
  }
  CLinuxSingleInstance instance;
  if (!instance.Acquire()) return -1;

  std::string error;
  std::unique_ptr<sim::CSimPlatform> simulated;
  std::unique_ptr<CLinuxPlatform> real;
  if (!arguments.scenario.empty()) {
    simulated = sim::CSimPlatform::Create(arguments.scenario, error);
  } else {
    real = std::make_unique<CLinuxPlatform>();
  }
  if (!simulated && !real) {
    std::fprintf(err_I, "orvel-fwupdater: %s\n", error.c_str());
    return 1;
  }
  // Boards of ours whose nodes this user may not open: say which and how to get access, not "no device".
  PrototypeMap prototypes;
  if (real) {
    const std::unique_ptr<CDiscovery> discovery = real->CreateDiscovery("./fw_loader.ini");
    discovery->Discover();
    prototypes = discovery->GetPrototypes();
    const std::vector<std::string> problems = real->PermissionProblems(prototypes);
    Report(err_I, problems);
    if (!problems.empty()) return 1;
  }
  // The recording starts with the run itself, so that the run replays against it as it was.
  if (real && !arguments.recording.empty() && !real->Record(arguments.recording, error)) {
    std::fprintf(err_I, "orvel-fwupdater: %s\n", error.c_str());
    return 1;
  }
  StartupOptions options = ParseCommandLine(Utf8ToWide(Join(arguments.options)));
  UnprefixDevicePath(options);
  const auto user = std::make_shared<CLinuxUserLanguage>();
  // The view takes over Ctrl-C; it comes after the pre-update question, which Ctrl-C simply ends.
  std::unique_ptr<CLinuxTerminalView> view;
  CLinuxKeepAwake keepAwake;
  std::string logPath;
  SApplicationPorts ports;
  ports.view = [&]() -> CUpdateView& {
    view = std::make_unique<CLinuxTerminalView>(out_I, err_I);
    return *view;
  };
  ports.userLanguage = user;
  ports.preUpdatePrompt = [&](const CLanguageProvider&) {
    return CLinuxPreUpdatePrompt(user, options.lang, in_I, out_I).Run();
  };
  ports.makeEnvironment = [&] {
    SRunEnvironment environment;
    environment.discovery = simulated ? simulated->CreateDiscovery("./fw_loader.ini") : real->CreateDiscovery("./fw_loader.ini");
    environment.events = simulated ? simulated->Events() : real->CreateEvents();
    environment.namedEvents = std::make_shared<CLinuxNamedEvents>();
    environment.keepAwake = &keepAwake;
    return environment;
  };
  ports.tempDir = TemporaryDirectory();
  ports.localTime = LocalTime();
  ports.logPath = &logPath;
  const CScopedD2XX bridge(simulated ? simulated->D2XX() : real->D2XX());
  const int code = RunApplication(options, ports);
  if (simulated && !simulated->WriteResults(error)) std::fprintf(err_I, "orvel-fwupdater: %s\n", error.c_str());
  if (real && code != 0) Report(err_I, real->PermissionProblems(prototypes));
  if (real && !real->RecordingGood()) std::fprintf(err_I, "orvel-fwupdater: the recording %s is incomplete\n", arguments.recording.c_str());
  if (!logPath.empty()) std::fprintf(out_I, "log: %s\n", logPath.c_str());
  return code;
}

}  // namespace orv

#include "app/runapplication.h"

#include "common/textconversion.h"

namespace orv {

int RunApplication(StartupOptions options_I, const SApplicationPorts& ports_I)
{
  ReadAutoConfig(options_I, ports_I.autoConfigFile);
  if (options_I.autoUpdate.find(u"scalar") != std::u16string::npos) {
    CLanguageProvider language(ports_I.userLanguage);
    if (!options_I.lang.empty()) language.SelectLanguage(WideToUtf8(options_I.lang));
    // Declining the warning is a cancellation, and says so to the package that started the run.
    if (ports_I.preUpdatePrompt(language) != 0) return 2;
  }
  CLogUpdateNotifier notifier(ports_I.tempDir, ports_I.localTime);
  if (ports_I.logPath != nullptr) *ports_I.logPath = notifier.GetLogPath();
  SRunEnvironment environment = ports_I.makeEnvironment();
  environment.userLanguage = ports_I.userLanguage;
  CAutoUpdateRun run(options_I, ports_I.view(), notifier, std::move(environment));
  return ports_I.drive ? ports_I.drive(run) : run.Run();
}

}  // namespace orv

// The application after start-up: reads autoconfig.ini when no device was named, asks before an update that
// includes the display scaler, and runs the automatic update; the result is the process exit code.
#pragma once

#include <ctime>
#include <functional>
#include <string>

#include "app/cautoupdaterun.h"

namespace orv {

struct SApplicationPorts {
  // The window or terminal of the run, made once the pre-update question is answered.
  std::function<CUpdateView&()> view;
  std::shared_ptr<const CUserLanguage> userLanguage;
  // The pre-update warning: 0 goes on ("Update"), anything else stops.
  std::function<int(const CLanguageProvider& language_I)> preUpdatePrompt;
  // The devices, their events and the other process services the run works with.
  std::function<SRunEnvironment()> makeEnvironment;
  std::string tempDir;
  std::tm localTime{};
  std::string autoConfigFile = "autoconfig.ini";
  // Drives the run and returns its end code; by default the run's own loop. A window drives it from its timer.
  std::function<int(CAutoUpdateRun& run_I)> drive;
  // Where the run's log went, for the caller to show.
  std::string* logPath = nullptr;
};

int RunApplication(StartupOptions options_I, const SApplicationPorts& ports_I);

}  // namespace orv

// The application after start-up: reads autoconfig.ini when no device was named, checks the options and the
// topology before anything is touched, asks before an update that includes the display scaler, and runs the
// automatic update; the result is the process exit code. Every run writes its log, from a header (program,
// command line, start time) to a trailer (final message, exit code).
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "app/cautoupdaterun.h"
#include "app/runresult.h"

namespace orv {

struct SApplicationPorts {
  // The window or terminal of the run, made once the pre-update question is answered or an error is due.
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
  std::string topologyFile = "./fw_loader.ini";
  // The whole command line, for the log's header, and what the platform found wrong with it.
  std::string commandLine;
  std::vector<std::string> warnings;
  // Where a note a person should read goes besides the log (a warning on standard error, say).
  std::function<void(const std::string& text_I)> warn;
  // Every log line also goes here (a verbose run); and here instead when the log file cannot be created.
  std::function<void(const std::string& line_I)> logMirror;
  std::function<void(const std::string& line_I)> logFallback;
  // Where the run's log went, for the caller to show; empty when it could not be written.
  std::string* logPath = nullptr;
  // Why the log could not be written.
  std::string* logError = nullptr;
  // What the run did, for "-result".
  SRunResult* result = nullptr;
  // Called once the run's end is in its log and its result complete: where the result goes at once.
  std::function<void(const SRunResult& result_I)> recorded;
  // Filled in while the run waits at the warning or runs, for the platform to call when the user's session
  // ends: unless a board is in or near loader mode, the run ends where it stands, as a cancel would and
  // without waiting for a click, and its end is recorded before this returns (true). The process may be ended
  // as soon as it answers.
  std::function<bool()>* endSession = nullptr;
};

// "OrvelFWUpdater 3.09".
std::string ProgramVersionText();

int RunApplication(StartupOptions options_I, const SApplicationPorts& ports_I);

}  // namespace orv

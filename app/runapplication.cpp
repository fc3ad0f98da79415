#include "app/runapplication.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/uistrings.h"
#include "common/assertion.h"
#include "common/cclock.h"
#include "common/settings/csettingsobject.h"
#include "common/stringutilities.h"
#include "common/textconversion.h"

namespace orv {
namespace {

// While it lives, debugger lines (assertion reports, device path comparisons) go to the log as well as to
// wherever they went before.
class CDebugToLog {
 public:
  explicit CDebugToLog(CLogUpdateNotifier& notifier_I)
  {
    mPrevious = SetDebugOutput([&notifier_I, this](const std::string& text_I) {
      std::string line = text_I;
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      notifier_I.Log(line);
      if (mPrevious) mPrevious(text_I);
    });
  }
  // Copied, not moved: the sink being replaced may still be reading it.
  ~CDebugToLog() { SetDebugOutput(DebugOutputSink(mPrevious)); }
  CDebugToLog(const CDebugToLog&) = delete;
  CDebugToLog& operator=(const CDebugToLog&) = delete;

 private:
  DebugOutputSink mPrevious;
};

// The run's window or terminal, made only when the run first shows something: the checks before the
// pre-update warning show nothing, and a terminal view takes over Ctrl-C, which must still end the warning.
class CDeferredView : public CUpdateView {
 public:
  explicit CDeferredView(const std::function<CUpdateView&()>& make_I) : mMake(make_I) {}
  void SetTitle(const std::u16string& title_I) override { mMake().SetTitle(title_I); }
  void ShowProgressLayout(const std::array<std::u16string, 3>& warnings_I) override
  {
    mMake().ShowProgressLayout(warnings_I);
  }
  void SetStatus(const std::u16string& status_I) override { mMake().SetStatus(status_I); }
  void SetProgress(int32_t percent_I) override { mMake().SetProgress(percent_I); }
  void SetBoardProgress(const SBoardProgress& progress_I) override { mMake().SetBoardProgress(progress_I); }
  void EnableClose(bool enable_I) override { mMake().EnableClose(enable_I); }
  void ShowMessage(const std::u16string& text_I, const std::u16string& caption_I, EMessageIcon icon_I) override
  {
    mMake().ShowMessage(text_I, caption_I, icon_I);
  }
  void ShowNotice(const std::u16string& text_I) override { mMake().ShowNotice(text_I); }
  bool TakeCancelRequest() override { return mMake().TakeCancelRequest(); }

 private:
  const std::function<CUpdateView&()>& mMake;
};

// Why a run cannot start: the message for the user and the technical detail behind it.
struct SRefusal {
  uint16_t messageId = 0;
  std::string detail;
};

// One run, from the checks of its options to the end of the automatic update.
class CApplicationRun {
 public:
  CApplicationRun(StartupOptions options_I, const SApplicationPorts& ports_I, CLogUpdateNotifier& notifier_I,
                  std::function<void(int code_I)> record_I)
      : mOptions(std::move(options_I)),
        mPorts(ports_I),
        mNotifier(notifier_I),
        mLanguage(ports_I.userLanguage),
        mRecord(std::move(record_I))
  {
  }
  ~CApplicationRun()
  {
    if (mPorts.endSession != nullptr) *mPorts.endSession = nullptr;
  }
  CApplicationRun(const CApplicationRun&) = delete;
  CApplicationRun& operator=(const CApplicationRun&) = delete;

  int Run(SRunResult& result_O)
  {
    if (mPorts.endSession != nullptr) *mPorts.endSession = [this, &result_O] { return EndSession(result_O); };
    for (const std::string& warning : mPorts.warnings) mNotifier.Log("Warning: " + warning);
    ReadOptions();
    if (!mOptions.lang.empty()) mLanguage.SelectLanguage(WideToUtf8(mOptions.lang));
    ListBoards(result_O);
    if (const std::string problem = OptionsProblem(mOptions); !problem.empty()) {
      return Refuse({EUISTRING_ERROR_INVALID_OPTIONS, problem}, result_O);
    }
    if (const SRefusal refusal = TopologyProblem(); !refusal.detail.empty()) return Refuse(refusal, result_O);
    SRunEnvironment environment = mPorts.makeEnvironment();
    environment.userLanguage = mPorts.userLanguage;
    CDeferredView view(mPorts.view);
    CAutoUpdateRun run(mOptions, view, mNotifier, std::move(environment));
    // The warning asks the user to accept a risk: a run that cannot go ahead ends before it, with its reason.
    if (run.Check() && mOptions.autoUpdate.find(u"scalar") != std::u16string::npos) {
      mAtWarning = true;
      const bool accepted = AcceptWarning();
      mAtWarning = false;
      if (!accepted) {
        // Nothing was updated, and an installer must not read the end as "firmware updated".
        mNotifier.Log("Pre-update warning declined");
        result_O.message = Text(EUISTRING_CANCELLED_AT_WARNING);
        return 2;
      }
      // Someone may have unplugged the device while the warning was being read.
      if (!mOptions.acceptWarning) run.Check();
    }
    mRun = &run;
    const int code = mPorts.drive ? mPorts.drive(run) : run.Run();
    mRun = nullptr;
    Collect(run, code, result_O);
    return code;
  }

 private:
  // See SApplicationPorts::endSession. The warning counts as declined: nothing was touched.
  bool EndSession(SRunResult& result_O)
  {
    if (mRun != nullptr) {
      const std::optional<int> code = mRun->EndSession();
      if (!code) return false;
      Collect(*mRun, *code, result_O);
      mRecord(*code);
      return true;
    }
    if (!mAtWarning) return false;
    mNotifier.Log("The session is ending: the pre-update warning counts as declined");
    result_O.message = Text(EUISTRING_CANCELLED_AT_WARNING);
    mRecord(2);
    return true;
  }

  // autoconfig.ini is optional, but one that is there and cannot be read is worth a word.
  void ReadOptions()
  {
    const bool consulted = mOptions.path.empty() && mOptions.testPids.empty();
    const std::u16string commandLineList = mOptions.autoUpdate;
    ReadAutoConfig(mOptions, mPorts.autoConfigFile);
    // Without a device on the command line the file's list wins; an installer's -auto must not vanish unseen.
    if (consulted && !commandLineList.empty() && !mOptions.testPids.empty()) {
      Warn("-auto " + WideToUtf8(commandLineList) + " is replaced by the list of " + mPorts.autoConfigFile + " (" +
           WideToUtf8(mOptions.autoUpdate) + "): name the device with -testpid or -path to update that list");
    }
    std::error_code error;
    if (!consulted || !std::filesystem::exists(std::filesystem::u8path(mPorts.autoConfigFile), error)) return;
    SSettingsDiagnostics diagnostics;
    if (CSettingsObject::ParseFile(mPorts.autoConfigFile, &diagnostics)) return;
    Warn(mPorts.autoConfigFile + ": " + diagnostics.error.Text() + "; the file is ignored");
  }

  bool AcceptWarning()
  {
    if (mOptions.acceptWarning) {
      mNotifier.Log(std::string("Pre-update warning accepted by ") + (mOptions.quiet ? "-quiet" : "-y"));
      return true;
    }
    return mPorts.preUpdatePrompt(mLanguage) == 0;
  }

  std::string Text(uint16_t id_I, std::initializer_list<std::u16string> values_I = {}) const
  {
    return WideToUtf8(FormatUiString(LoadResString(id_I, mLanguage.GetLangId()), values_I));
  }

  SRefusal TopologyProblem()
  {
    const std::string& file = mPorts.topologyFile;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::u8path(file), error)) {
      const std::u8string cwd = std::filesystem::current_path(error).u8string();
      const std::string folder(cwd.begin(), cwd.end());
      return {EUISTRING_ERROR_MISSING_FILE, "the topology file " + file + " was not found (looked for in " + folder + ")"};
    }
    SSettingsDiagnostics diagnostics;
    const SettingsPtr root = CSettingsObject::ParseFile(file, &diagnostics);
    if (!root) {
      return {EUISTRING_ERROR_INVALID_FILE, "the topology file " + file + " cannot be read: " + diagnostics.error.Text()};
    }
    if (root->GetTypeName() != "array") {
      return {EUISTRING_ERROR_INVALID_FILE, "the topology file " + file + " is not a list of device models"};
    }
    return {};
  }

  // The user reads what to do in the UI language; the detail (file, line) follows on a line of its own, for
  // whoever mends the package, and goes to the log.
  int Refuse(const SRefusal& refusal_I, SRunResult& result_O)
  {
    mNotifier.Log("Error: " + refusal_I.detail);
    const std::u16string text = LoadResString(refusal_I.messageId, mLanguage.GetLangId()) + u"\n" +
                                Utf8ToWide(refusal_I.detail);
    mPorts.view().ShowMessage(text, LoadResString(EUISTRING_TITLE, mLanguage.GetLangId()), EMESSAGEICON_ERROR);
    result_O.message = WideToUtf8(text);
    return 1;
  }

  void Warn(const std::string& text_I)
  {
    mNotifier.Log("Warning: " + text_I);
    if (mPorts.warn) mPorts.warn(text_I);
  }

  void ListBoards(SRunResult& result_O) const
  {
    std::u16string list = mOptions.autoUpdate;
    Trim(list);
    for (const std::u16string& entry : Split(list, u",", false)) {
      result_O.boards.push_back(SBoardResult{WideToUtf8(entry), "not started", "", "", "", ""});
    }
  }

  void Collect(const CAutoUpdateRun& run_I, int code_I, SRunResult& result_O) const
  {
    result_O.message = WideToUtf8(run_I.GetMessage());
    if (code_I == 2) {
      result_O.message = Text(EUISTRING_CANCELLED_BY_USER, {Utf8ToWide(std::to_string(run_I.GetUpdatedCount())),
                                                            Utf8ToWide(std::to_string(run_I.GetAutoUpdates().size()))});
    }
    const std::shared_ptr<CDevice> device = run_I.GetSelectedDevice();
    if (device) result_O.device = device->mName;
    for (size_t i = 0; i < result_O.boards.size(); ++i) {
      SBoardResult& board = result_O.boards[i];
      const bool failed = i == run_I.GetUpdatedCount() && code_I == 1 && run_I.IsCurrentStarted();
      board.outcome = i < run_I.GetUpdatedCount() ? "updated" : failed ? "failed" : "not started";
      const auto known = std::find(std::begin(kBoardNames), std::end(kBoardNames), board.board);
      if (known == std::end(kBoardNames) || !device) continue;
      const auto type = static_cast<size_t>(known - std::begin(kBoardNames));
      board.file = device->mUpdateFile[type];
      board.versionBefore = run_I.GetVersionsBefore()[type];
      board.versionAfter = run_I.GetVersionsAfter()[type];
      CSRec file;
      if (!board.file.empty() && file.Load(board.file)) board.fileVersion = file.GetHeaderVersion();
    }
  }

  StartupOptions mOptions;
  const SApplicationPorts& mPorts;
  CLogUpdateNotifier& mNotifier;
  CLanguageProvider mLanguage;
  std::function<void(int code_I)> mRecord;
  bool mAtWarning = false;
  CAutoUpdateRun* mRun = nullptr;
};

// The wall-clock time the run ended (its start plus its duration, so the log's two times agree even when
// the system clock is set during the run) and how long it took.
void LogEndAndDuration(CLogUpdateNotifier& notifier_I, const std::tm& start_I, uint64_t durationMs_I)
{
  using namespace std::chrono;
  const sys_days startDay{year{start_I.tm_year + 1900} / month{static_cast<unsigned>(start_I.tm_mon + 1)} /
                          day{static_cast<unsigned>(start_I.tm_mday)}};
  const uint64_t total = durationMs_I / 1000;
  const sys_seconds end = startDay + hours{start_I.tm_hour} + minutes{start_I.tm_min} + seconds{start_I.tm_sec} +
                          seconds{static_cast<int64_t>(total)};
  const sys_days endDay = floor<days>(end);
  const year_month_day date{endDay};
  const hh_mm_ss<seconds> time{end - endDay};
  char text[96];
  std::snprintf(text, sizeof(text), "Ended: %04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  notifier_I.Log(text);
  std::snprintf(text, sizeof(text), "Duration: %llu:%02llu:%02llu (%llu.%03llu s)",
                static_cast<unsigned long long>(total / 3600), static_cast<unsigned long long>(total / 60 % 60),
                static_cast<unsigned long long>(total % 60), static_cast<unsigned long long>(total),
                static_cast<unsigned long long>(durationMs_I % 1000));
  notifier_I.Log(text);
}

}  // namespace

std::string ProgramVersionText() { return "OrvelFWUpdater " + WideToUtf8(CAutoUpdateRun::VersionText()); }

int RunApplication(StartupOptions options_I, const SApplicationPorts& ports_I)
{
  const uint64_t startMs = Clock().NowMs();
  CLogUpdateNotifier notifier(ports_I.tempDir, ports_I.localTime);
  notifier.SetMirror(notifier.IsOpen() || !ports_I.logFallback ? ports_I.logMirror : ports_I.logFallback);
  if (ports_I.logPath != nullptr) *ports_I.logPath = notifier.IsOpen() ? notifier.GetLogPath() : "";
  if (ports_I.logError != nullptr) *ports_I.logError = notifier.GetOpenError();
  notifier.WriteHeader(ProgramVersionText(), ports_I.commandLine, ports_I.localTime);
  SRunResult result;
  bool recorded = false;
  // Once, at the end or when the session ends before it.
  const auto record = [&](int code_I) {
    if (recorded) return;
    recorded = true;
    result.exitCode = code_I;
    result.durationMs = Clock().NowMs() - startMs;
    result.logPath = notifier.IsOpen() ? notifier.GetLogPath() : "";
    LogEndAndDuration(notifier, ports_I.localTime, result.durationMs);
    notifier.WriteTrailer(result.message, code_I, ExitCodeMeaning(code_I));
    if (ports_I.result != nullptr) *ports_I.result = result;
    if (ports_I.recorded) ports_I.recorded(result);
  };
  int code = 1;
  {
    const CDebugToLog debug(notifier);
    code = CApplicationRun(std::move(options_I), ports_I, notifier, record).Run(result);
  }
  record(code);
  return result.exitCode;
}

}  // namespace orv

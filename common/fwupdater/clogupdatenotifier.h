// The update notifier of a run: writes every line to the run's log file in the temporary directory and
// keeps the latest error, state and progress for the view, each under its own lock.
#pragma once

#include <ctime>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>

#include "common/fwupdater/cupdatenotifier.h"

namespace orv {

class CLogUpdateNotifier : public CUpdateNotifier {
 public:
  // tempDir_I ends in a path separator, or is empty for the working directory.
  CLogUpdateNotifier(const std::string& tempDir_I, const std::tm& localTime_I);

  // "OrvelFWUpdater_" hour minute second "_" month "." day "." year ".txt", numbers unpadded.
  static std::string LogFileName(const std::tm& localTime_I);

  // Lines also go to the mirror (standard error for a verbose run, or instead of a log that could not be
  // created). Set it before the run starts.
  void SetMirror(std::function<void(const std::string&)> mirror_I) { mMirror = std::move(mirror_I); }
  bool IsOpen() const { return mLogFile.is_open(); }
  // Why the log file could not be created; empty when it was.
  const std::string& GetOpenError() const { return mOpenError; }

  // The first lines of a run's log: program and version, command line, start time ("2026-03-03 09:05:07").
  void WriteHeader(const std::string& program_I, const std::string& commandLine_I, const std::tm& start_I);
  // The last lines: the message the run ended with, and its exit code with what the code means.
  void WriteTrailer(const std::string& message_I, int exitCode_I, const std::string& meaning_I);

  void Log(const std::string& message_I) override;
  void Error(int32_t code_I, const std::string& message_I) override;
  void SetState(int32_t state_I) override;
  void SetProgress(int32_t value_I) override;

  int32_t GetState();
  // How long the run has been in the programming state (3) so far, on the clock of the pause seam.
  uint64_t GetProgrammingMs();
  int32_t GetProgress();
  int32_t GetLastErrorCode();
  std::string GetLastErrorMessage();
  const std::string& GetLogPath() const { return mLogPath; }

 private:
  void WriteLine(const std::string& line_I);

  int32_t mLastErrorCode = 0;
  std::string mLastErrorMessage;
  int32_t mState = 0;
  uint64_t mProgrammingMs = 0;
  uint64_t mProgrammingSinceMs = 0;
  int32_t mProgress = 0;
  std::string mLogPath;
  std::string mOpenError;
  std::ofstream mLogFile;
  std::function<void(const std::string&)> mMirror;
  std::mutex mErrorLock;
  std::mutex mStateLock;
  std::mutex mProgressLock;
  // Lines come from the worker and the application thread alike; one line at a time reaches the file.
  std::mutex mFileLock;
};

}  // namespace orv

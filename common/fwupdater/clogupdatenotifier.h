// The update notifier of a run: writes every line to the run's log file in the temporary directory and
// keeps the latest error, state and progress for the view, each under its own lock.
#pragma once

#include <ctime>
#include <fstream>
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

  void Log(const std::string& message_I) override;
  void Error(int32_t code_I, const std::string& message_I) override;
  void SetState(int32_t state_I) override;
  void SetProgress(int32_t value_I) override;

  int32_t GetState();
  int32_t GetProgress();
  int32_t GetLastErrorCode();
  std::string GetLastErrorMessage();
  const std::string& GetLogPath() const { return mLogPath; }

 private:
  void WriteLine(const std::string& line_I);

  int32_t mLastErrorCode = 0;
  std::string mLastErrorMessage;
  int32_t mState = 0;
  int32_t mProgress = 0;
  std::string mLogPath;
  std::ofstream mLogFile;
  std::mutex mErrorLock;
  std::mutex mStateLock;
  std::mutex mProgressLock;
  // Lines come from the worker and the application thread alike; one line at a time reaches the file.
  std::mutex mFileLock;
};

}  // namespace orv

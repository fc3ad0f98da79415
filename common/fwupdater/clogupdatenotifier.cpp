#include "common/fwupdater/clogupdatenotifier.h"

#include <cstdio>
#include <filesystem>

#include "common/cclock.h"
#include "common/fwupdater/cupdatecontroller.h"

namespace orv {
namespace {

// Unpadded times share names (1:11:05 and 11:01:05 both give 1115), and two runs in one second share one
// too: a later run takes the next free name instead of truncating an earlier run's log.
std::string FreeLogPath(const std::string& tempDir_I, const std::string& name_I)
{
  const std::string stem = name_I.substr(0, name_I.size() - 4);
  std::string path = tempDir_I + name_I;
  std::error_code error;
  for (int copy = 2; std::filesystem::exists(std::filesystem::u8path(path), error) && copy < 1000; ++copy) {
    path = tempDir_I + stem + "-" + std::to_string(copy) + ".txt";
  }
  return path;
}

}  // namespace

CLogUpdateNotifier::CLogUpdateNotifier(const std::string& tempDir_I, const std::tm& localTime_I)
    : mLogPath(FreeLogPath(tempDir_I, LogFileName(localTime_I)))
{
  // Lines are written as UTF-8, so no text a board or a file name brings can stop the log.
  mLogFile.open(std::filesystem::u8path(mLogPath), std::ios::out | std::ios::trunc);
  if (mLogFile.is_open()) return;
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::u8path(tempDir_I.empty() ? "." : tempDir_I);
  mOpenError = !std::filesystem::is_directory(folder, error) ? "the folder " + tempDir_I + " does not exist"
                                                             : "the file cannot be created";
}

void CLogUpdateNotifier::WriteHeader(const std::string& program_I, const std::string& commandLine_I,
                                     const std::tm& start_I)
{
  char start[96];
  std::snprintf(start, sizeof(start), "%04d-%02d-%02d %02d:%02d:%02d", start_I.tm_year + 1900, start_I.tm_mon + 1,
                start_I.tm_mday, start_I.tm_hour, start_I.tm_min, start_I.tm_sec);
  WriteLine(program_I);
  WriteLine("Command line: " + commandLine_I);
  WriteLine(std::string("Started: ") + start);
}

void CLogUpdateNotifier::WriteTrailer(const std::string& message_I, int exitCode_I, const std::string& meaning_I)
{
  WriteLine("Finished: " + message_I);
  WriteLine("Exit code: " + std::to_string(exitCode_I) + " (" + meaning_I + ")");
}

std::string CLogUpdateNotifier::LogFileName(const std::tm& localTime_I)
{
  return "OrvelFWUpdater_" + std::to_string(localTime_I.tm_hour) + std::to_string(localTime_I.tm_min) +
         std::to_string(localTime_I.tm_sec) + "_" + std::to_string(localTime_I.tm_mon + 1) + "." +
         std::to_string(localTime_I.tm_mday) + "." + std::to_string(localTime_I.tm_year + 1900) + ".txt";
}

void CLogUpdateNotifier::WriteLine(const std::string& line_I)
{
  std::lock_guard<std::mutex> guard(mFileLock);
  if (mMirror) mMirror(line_I);
  if (!mLogFile.is_open()) return;
  mLogFile << line_I << std::endl;
}

void CLogUpdateNotifier::Log(const std::string& message_I) { WriteLine(message_I); }

void CLogUpdateNotifier::Error(int32_t code_I, const std::string& message_I)
{
  std::lock_guard<std::mutex> guard(mErrorLock);
  WriteLine("[ERROR] " + message_I + " (" + std::to_string(code_I) + ")");
  mLastErrorCode = code_I;
  mLastErrorMessage = message_I;
}

void CLogUpdateNotifier::SetState(int32_t state_I)
{
  std::lock_guard<std::mutex> guard(mStateLock);
  WriteLine("[STATE] " + std::to_string(state_I));
  const uint64_t now = Clock().NowMs();
  if (mState == ESTATE_PROGRAM) mProgrammingMs += now - mProgrammingSinceMs;
  if (state_I == ESTATE_PROGRAM) mProgrammingSinceMs = now;
  mState = state_I;
}

void CLogUpdateNotifier::SetProgress(int32_t value_I)
{
  std::lock_guard<std::mutex> guard(mProgressLock);
  mProgress = value_I;
}

int32_t CLogUpdateNotifier::GetState()
{
  std::lock_guard<std::mutex> guard(mStateLock);
  return mState;
}

uint64_t CLogUpdateNotifier::GetProgrammingMs()
{
  std::lock_guard<std::mutex> guard(mStateLock);
  return mProgrammingMs + (mState == ESTATE_PROGRAM ? Clock().NowMs() - mProgrammingSinceMs : 0);
}

int32_t CLogUpdateNotifier::GetProgress()
{
  std::lock_guard<std::mutex> guard(mProgressLock);
  return mProgress;
}

int32_t CLogUpdateNotifier::GetLastErrorCode()
{
  std::lock_guard<std::mutex> guard(mErrorLock);
  return mLastErrorCode;
}

std::string CLogUpdateNotifier::GetLastErrorMessage()
{
  std::lock_guard<std::mutex> guard(mErrorLock);
  return mLastErrorMessage;
}

}  // namespace orv

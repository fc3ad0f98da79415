// An update notifier that keeps every line, error and state, for tests.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "common/fwupdater/cupdatenotifier.h"

namespace orv::test {

class CRecordingUpdateNotifier : public CUpdateNotifier {
 public:
  void Log(const std::string& message_I) override { Add(message_I); }
  void Error(int32_t code_I, const std::string& message_I) override
  {
    Add("[ERROR] " + message_I + " (" + std::to_string(code_I) + ")");
  }
  void SetState(int32_t state_I) override
  {
    Add("[STATE] " + std::to_string(state_I));
    std::lock_guard<std::mutex> guard(mLock);
    mStates.push_back(state_I);
  }
  void SetProgress(int32_t value_I) override
  {
    std::lock_guard<std::mutex> guard(mLock);
    mProgress = value_I;
  }

  bool Has(const std::string& line_I)
  {
    std::lock_guard<std::mutex> guard(mLock);
    return std::find(mLines.begin(), mLines.end(), line_I) != mLines.end();
  }
  std::vector<int32_t> States()
  {
    std::lock_guard<std::mutex> guard(mLock);
    return mStates;
  }
  int32_t Progress()
  {
    std::lock_guard<std::mutex> guard(mLock);
    return mProgress;
  }

 private:
  void Add(const std::string& line_I)
  {
    std::lock_guard<std::mutex> guard(mLock);
    mLines.push_back(line_I);
  }

  std::mutex mLock;
  std::vector<std::string> mLines;
  std::vector<int32_t> mStates;
  int32_t mProgress = 0;
};

}  // namespace orv::test

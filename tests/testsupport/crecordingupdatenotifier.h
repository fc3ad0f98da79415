// An update notifier that keeps every line, error and state, for tests that run an update on the test's own thread
// (it takes no lock).
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "common/fwupdater/cupdatenotifier.h"

namespace orv::test {

class CRecordingUpdateNotifier : public CUpdateNotifier {
 public:
  void Log(const std::string& message_I) override { mLines.push_back(message_I); }
  void Error(int32_t code_I, const std::string& message_I) override
  {
    Log("[ERROR] " + message_I + " (" + std::to_string(code_I) + ")");
  }
  void SetState(int32_t state_I) override
  {
    Log("[STATE] " + std::to_string(state_I));
    mStates.push_back(state_I);
  }
  void SetProgress(int32_t value_I) override { mProgress = value_I; }

  bool Has(const std::string& line_I) const { return std::find(mLines.begin(), mLines.end(), line_I) != mLines.end(); }

  std::vector<std::string> mLines;
  std::vector<int32_t> mStates;
  int32_t mProgress = 0;
};

}  // namespace orv::test

// An interface notifier that keeps everything it is told, for tests.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "common/fwupdater/cinterfacenotifier.h"

namespace orv::test {

class CRecordingNotifier : public CInterfaceNotifier {
 public:
  void Info(const std::string& message_I) override { mInfo.push_back(message_I); }
  void Error(const std::string& message_I) override { mErrors.push_back(message_I); }
  void Progress(int32_t value_I) override { mProgress.push_back(value_I); }

  size_t CountInfo(const std::string& message_I) const { return std::ranges::count(mInfo, message_I); }
  bool HasError(const std::string& message_I) const { return std::ranges::find(mErrors, message_I) != mErrors.end(); }

  std::vector<std::string> mInfo;
  std::vector<std::string> mErrors;
  std::vector<int32_t> mProgress;
};

}  // namespace orv::test

// The sink for everything an update reports: log lines, errors with a code, the update state and progress.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

class CUpdateNotifier {
 public:
  virtual ~CUpdateNotifier() = default;
  // One line of UTF-8 text.
  virtual void Log(const std::string& /*message_I*/) {}
  virtual void Error(int32_t code_I, const std::string& message_I) = 0;
  virtual void SetState(int32_t state_I) = 0;
  virtual void SetProgress(int32_t value_I) = 0;
};

}  // namespace orv

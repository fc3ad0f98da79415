// The sink through which a board interface (and the scaler programming) reports while it works.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

class CInterfaceNotifier {
 public:
  virtual ~CInterfaceNotifier() = default;
  virtual void Info(const std::string& message_I) = 0;
  virtual void Error(const std::string& message_I) = 0;
  virtual void Progress(int32_t value_I) = 0;
};

}  // namespace orv

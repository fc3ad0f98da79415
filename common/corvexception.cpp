#include "common/corvexception.h"

#include <cstdio>

namespace orv {

COrvException::COrvException(const char* file_I, int32_t line_I, std::string message_I, uint16_t status_I)
    : mFile(file_I), mLine(line_I), mMessage(std::move(message_I)), mStatus(status_I)
{
  if (mFile != nullptr) {
    mText += "File: " + std::string(mFile) + ", Line: " + std::to_string(mLine) + ", ";
  }
  if (mStatus != 0) {
    char hex[8];
    std::snprintf(hex, sizeof(hex), "%x", static_cast<unsigned>(mStatus));
    mText += "Status: " + std::string(hex) + ", ";
  }
  mText += " \"" + mMessage + "\"";
}

}  // namespace orv

// The system's one exception class; raised only by the base64 decoder and caught by the settings reader.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace orv {

class COrvException : public std::exception {
 public:
  COrvException(const char* file_I, int32_t line_I, std::string message_I, uint16_t status_I);

  const char* what() const noexcept override { return mText.c_str(); }
  const char* File() const { return mFile; }
  int32_t Line() const { return mLine; }
  const std::string& Message() const { return mMessage; }
  uint16_t Status() const { return mStatus; }

 private:
  const char* mFile;
  int32_t mLine;
  std::string mMessage;
  uint16_t mStatus;
  std::string mText;
};

}  // namespace orv

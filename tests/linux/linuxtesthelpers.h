// Helpers of the Linux tests: what a stream holds, and environment variables set for a while.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <optional>
#include <string>

namespace orv::test {

inline std::string Contents(FILE* file_I)
{
  std::fflush(file_I);
  std::rewind(file_I);
  std::string text;
  for (int c = std::getc(file_I); c != EOF; c = std::getc(file_I)) text += static_cast<char>(c);
  return text;
}

// Sets (or, without a value, removes) an environment variable for its lifetime.
class CScopedEnvironment {
 public:
  CScopedEnvironment(const char* name_I, std::optional<std::string> value_I) : mName(name_I)
  {
    const char* previous = getenv(name_I);
    if (previous != nullptr) mPrevious = previous;
    value_I ? setenv(name_I, value_I->c_str(), 1) : unsetenv(name_I);
  }
  ~CScopedEnvironment() { mPrevious ? setenv(mName, mPrevious->c_str(), 1) : unsetenv(mName); }

 private:
  const char* mName;
  std::optional<std::string> mPrevious;
};

}  // namespace orv::test

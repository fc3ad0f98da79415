// Helpers of the Linux tests: what a stream holds, environment variables set for a while, and the whole
// program run in a copy of the demo package.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "linux/fwupdater/clinuxapplication.h"
#include "tests/testsupport/testfiles.h"

namespace orv::test {

inline std::string Contents(FILE* file_I)
{
  std::fflush(file_I);
  std::rewind(file_I);
  std::string text;
  for (int c = std::getc(file_I); c != EOF; c = std::getc(file_I)) text += static_cast<char>(c);
  return text;
}

// Sets (or, without a value, removes) an environment variable for its lifetime. While another thread may read
// the environment, only a variable that exists already may be set: adding or removing one moves the others.
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

// The program's entry in a copy of the demo package (the working directory meanwhile), with a temporary folder
// and locks of its own (test programs run side by side) and the C locale. Each run's streams start empty.
class CLinuxProgramRuns {
 public:
  CLinuxProgramRuns()
  {
    std::filesystem::copy(SourceDir() / "examples" / "demo", mDir.Path() / "demo");
    std::filesystem::current_path(mDir.Path() / "demo");
  }
  ~CLinuxProgramRuns()
  {
    std::filesystem::current_path(mPrevious);
    std::fclose(mOut);
    std::fclose(mErr);
  }
  CLinuxProgramRuns(const CLinuxProgramRuns&) = delete;
  CLinuxProgramRuns& operator=(const CLinuxProgramRuns&) = delete;

  int Run(const std::vector<std::string>& args_I, const std::string& input_I = "")
  {
    for (FILE** stream : {&mOut, &mErr}) {
      std::fclose(*stream);
      *stream = std::tmpfile();
    }
    FILE* in = std::tmpfile();
    std::fputs(input_I.c_str(), in);
    std::rewind(in);
    const int code = RunLinuxApplication(args_I, in, mOut, mErr, DeviceLock());
    std::fclose(in);
    return code;
  }
  std::string Out() { return Contents(mOut); }
  std::string Err() { return Contents(mErr); }
  // The log the last run named on its standard output; empty when it named none.
  std::string Log()
  {
    const std::string out = Out();
    const size_t start = out.rfind("log: ");
    if (start == std::string::npos) return "";
    return ReadText(out.substr(start + 5, out.find('\n', start) - start - 5));
  }
  std::string DeviceLock() const { return (mDir.Path() / "machine.lock").string(); }

  CScratchDir mDir;

 private:
  std::filesystem::path mPrevious = std::filesystem::current_path();
  CScopedEnvironment mTemp{"TMPDIR", mDir.Path().string()};
  CScopedEnvironment mRuntime{"XDG_RUNTIME_DIR", mDir.Path().string()};
  CScopedEnvironment mLanguage{"LC_ALL", std::string("C")};
  FILE* mOut = std::tmpfile();
  FILE* mErr = std::tmpfile();
};

}  // namespace orv::test

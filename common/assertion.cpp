#include "common/assertion.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace orv {
namespace {

void DefaultDebugOutput(const std::string& text_I)
{
  if (std::getenv("ORVEL_DEBUG") == nullptr) {
    return;
  }
  std::fputs(text_I.c_str(), stderr);
}

// The sink is installed by the platform at start-up and by tests; every thread may print.
struct CDebugOutput {
  std::mutex mLock;
  DebugOutputSink mSink = DefaultDebugOutput;
};

CDebugOutput& Output()
{
  static CDebugOutput output;
  return output;
}

}  // namespace

DebugOutputSink SetDebugOutput(DebugOutputSink sink_I)
{
  CDebugOutput& output = Output();
  std::lock_guard<std::mutex> guard(output.mLock);
  DebugOutputSink previous = std::move(output.mSink);
  output.mSink = sink_I ? std::move(sink_I) : DebugOutputSink(DefaultDebugOutput);
  return previous;
}

int DebugPrint(const char* format_I, ...)
{
  va_list args;
  va_start(args, format_I);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format_I, measure);
  va_end(measure);
  if (length < 0) {
    va_end(args);
    return -1;
  }
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format_I, args);
  va_end(args);

  CDebugOutput& output = Output();
  std::lock_guard<std::mutex> guard(output.mLock);
  output.mSink(std::string(buffer.data(), static_cast<size_t>(length)));
  return length;
}

void AssertReport(const char* expression_I, const char* file_I, int line_I)
{
  DebugPrint("Assert:(%s) in %s at %i\n", expression_I, file_I, line_I);
}

}  // namespace orv

// Debugger output and the assertion report.
//
// A failed internal check prints one line to the debugger output and execution goes on: code after a
// check tolerates the failed condition. The debugger output is a seam: each platform (and each test)
// installs its own sink.
#pragma once

#include <functional>
#include <string>

namespace orv {

using DebugOutputSink = std::function<void(const std::string& text_I)>;

// Installs the sink that receives every debugger line and returns the one it replaces. An empty sink
// restores the default: standard error when the environment variable ORVEL_DEBUG is set, else nothing.
DebugOutputSink SetDebugOutput(DebugOutputSink sink_I);

// printf-style output to the debugger; returns the number of characters written, or -1. (MinGW checks the
// formats as GNU printf's; clang knows only the plain name.)
#if defined(__clang__)
int DebugPrint(const char* format_I, ...) __attribute__((format(printf, 1, 2)));
#else
int DebugPrint(const char* format_I, ...) __attribute__((format(gnu_printf, 1, 2)));
#endif

// "Assert:(<expression>) in <file> at <line>"
void AssertReport(const char* expression_I, const char* file_I, int line_I);

}  // namespace orv

// Reports a failed expectation and carries on.
#define ORV_ASSERT(expression)                                   \
  do {                                                           \
    if (!(expression)) {                                         \
      ::orv::AssertReport(#expression, __FILE__, __LINE__);      \
    }                                                            \
  } while (false)

// Reports a message (a string literal) unconditionally, as a failed check on that literal.
#define ORV_ASSERT_MESSAGE(literal) ::orv::AssertReport(#literal, __FILE__, __LINE__)

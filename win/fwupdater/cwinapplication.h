// The Windows application: single instance, Windows version, the options, the platform it runs on
// (simulated with -simulate), the pre-update warning dialog and the main dialog, or with -quiet (and where
// no user can see a window) a run without any window; returns the exit code.
#pragma once

#include <string>

namespace orv {

// commandLine_I: the command line without the program name, as wWinMain receives it.
int RunWinApplication(const std::u16string& commandLine_I);

}  // namespace orv

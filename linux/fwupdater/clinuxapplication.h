// The terminal application: options, single instance, the platform it runs on (simulated with -simulate),
// the pre-update prompt and the automatic update run; returns the process exit code.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace orv {

// args_I without the program name.
int RunLinuxApplication(const std::vector<std::string>& args_I, FILE* in_I, FILE* out_I, FILE* err_I);

}  // namespace orv

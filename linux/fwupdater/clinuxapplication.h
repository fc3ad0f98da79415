// The terminal application: options, single instance, the platform it runs on (simulated with -simulate),
// the pre-update prompt and the automatic update run; returns the process exit code.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "linux/common/clinuxprocessservices.h"

namespace orv {

// args_I without the program name. deviceLock_I is the lock of runs on attached devices, which every copy on
// the machine shares; simulated runs take the user's own lock instead.
int RunLinuxApplication(const std::vector<std::string>& args_I, FILE* in_I, FILE* out_I, FILE* err_I,
                        const std::string& deviceLock_I = CLinuxSingleInstance::MachineLockPath());

}  // namespace orv

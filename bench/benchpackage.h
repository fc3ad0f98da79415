#pragma once

#include <filesystem>
#include <string>

namespace orv::bench {

// A working copy of the demo package in the temporary folder, named stem_I and the process id, whose topology
// also lists the router and bulk tablets the demo does not; the current directory moves into it. Empty when
// the package's topology cannot be extended.
std::filesystem::path PrepareDemoCopy(const std::filesystem::path& demo_I, const std::string& stem_I);

}  // namespace orv::bench

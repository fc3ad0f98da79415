// orvel-fwtool: inspects firmware files and update packages.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orv {

// Runs one command line (without the program name); returns the process exit code.
int RunFwTool(const std::vector<std::string>& args_I, std::ostream& out_O, std::ostream& err_O);

}  // namespace orv

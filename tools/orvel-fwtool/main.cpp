#include <exception>
#include <iostream>

#include "common/textconversion.h"
#include "tools/orvel-fwtool/cfwtool.h"

namespace {

int Run(const std::vector<std::string>& args_I)
{
  // No file may end the tool by an exception: say what happened instead.
  try {
    return orv::RunFwTool(args_I, std::cout, std::cerr);
  } catch (const std::exception& exception) {
    std::cerr << "error: unexpected failure: " << exception.what() << "\n";
  }
  return 1;
}

}  // namespace

#ifdef _WIN32
// The narrow arguments of Windows are in the ANSI code page, which cannot name every folder: the wide ones are
// taken and passed on as UTF-8.
int wmain(int argc, wchar_t** argv)
{
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(orv::WideToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
  return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif

#include <exception>
#include <iostream>

#include "tools/orvel-fwtool/cfwtool.h"

int main(int argc, char** argv)
{
  // No file may end the tool by an exception: say what happened instead.
  try {
    return orv::RunFwTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  } catch (const std::exception& exception) {
    std::cerr << "error: unexpected failure: " << exception.what() << "\n";
  }
  return 1;
}

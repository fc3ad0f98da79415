#include <iostream>

#include "tools/orvel-fwtool/cfwtool.h"

int main(int argc, char** argv)
{
  return orv::RunFwTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}

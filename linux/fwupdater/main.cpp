#include "linux/fwupdater/clinuxapplication.h"

int main(int argc, char** argv)
{
  return orv::RunLinuxApplication(std::vector<std::string>(argv + 1, argv + argc), stdin, stdout, stderr);
}

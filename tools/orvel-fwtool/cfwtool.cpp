#include "tools/orvel-fwtool/cfwtool.h"

namespace orv {

int RunFwTool(const std::vector<std::string>& args_I, std::ostream& out_O, std::ostream& err_O)
{
  (void)args_I;
  (void)out_O;
  err_O << "usage: orvel-fwtool info FILE | image FILE OUT | check DIR\n";
  return 1;
}

}  // namespace orv

#include <gtest/gtest.h>

#include <sstream>

#include "tools/orvel-fwtool/cfwtool.h"

TEST(FwTool, NoCommandPrintsUsageAndFails)
{
  std::ostringstream out, err;
  EXPECT_EQ(orv::RunFwTool({}, out, err), 1);
  EXPECT_NE(err.str().find("usage"), std::string::npos);
}

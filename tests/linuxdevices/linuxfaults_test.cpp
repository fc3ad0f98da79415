#include "tests/linuxdevices/linuxprogramtest.h"

using namespace orv;
using namespace orv::test;

namespace {

class LinuxProgramFaults : public CLinuxProgramTest, public ::testing::WithParamInterface<ENodeFault> {};

}  // namespace

// The demo display's pen board meets a fault at the kernel interface once it is well into its update: an
// input/output error, a node that vanishes, a feature report one byte short (never taken for an answer).
TEST_P(LinuxProgramFaults, AFaultAtTheNodeFailsTheUpdate)
{
  Emulate("default");
  mBus->HidNode(SimPath("PID_0210&MI_00"))->InjectFault(60, 1000000, GetParam());
  EXPECT_EQ(Run({"-testpid", "0210", "-auto", "pen"}), 1);
  EXPECT_NE(Err().find(ErrorMessage(EUISTRING_UPDATE_FAILED)), std::string::npos) << Err();
  EXPECT_EQ(Out().find(English(EUISTRING_UPDATE_SUCCEEDED)), std::string::npos);
  EXPECT_NE(Log().find("[STATE] 6"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(, LinuxProgramFaults, ::testing::Values(ENODEFAULT_EIO, ENODEFAULT_ENODEV, ENODEFAULT_SHORT));

TEST_F(LinuxProgramFaults, ABoardThisUserMayNotOpenIsNamedWithTheUdevRules)
{
  Emulate("default");
  const std::string node = mBus->NodeOf(SimPath("PID_0210&MI_00"));
  mBed.Chmod(node, 0);
  const CScopedNoFileOverride user;
  EXPECT_EQ(Run({"-testpid", "0210", "-auto", "pen"}), 1);
  const std::string err = Err();
  EXPECT_NE(err.find("error: no permission to open " + node + " (4F52:0210)"), std::string::npos) << err;
  EXPECT_NE(err.find(kUdevRulesName), std::string::npos) << err;
  EXPECT_EQ(err.find(ErrorMessage(EUISTRING_ERROR_NO_TABLET)), std::string::npos) << "not 'no device'";
  EXPECT_EQ(Run({"--list"}), 1) << "the list says so too";
  EXPECT_NE(Err().find("error: no permission to open " + node), std::string::npos) << Err();
}

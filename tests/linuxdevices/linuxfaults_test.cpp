#include "tests/linuxdevices/linuxprogramtest.h"

using namespace orv;
using namespace orv::test;

namespace {

// The demo display's pen board meets a fault at the kernel interface once it is well into its update.
class LinuxProgramFaults : public CLinuxProgramTest {
 protected:
  int RunPenWith(ENodeFault fault_I)
  {
    Emulate("default");
    mBus->HidNode(SimPath("PID_0210&MI_00"))->InjectFault(60, 1000000, fault_I);
    return Run({"-testpid", "0210", "-auto", "pen"});
  }

  void ExpectFailure()
  {
    EXPECT_NE(Err().find(ErrorMessage(EUISTRING_UPDATE_FAILED)), std::string::npos) << Err();
    EXPECT_EQ(Out().find(English(EUISTRING_UPDATE_SUCCEEDED)), std::string::npos);
    EXPECT_NE(Log().find("[STATE] 6"), std::string::npos);
  }
};

}  // namespace

TEST_F(LinuxProgramFaults, AnInputOutputErrorFailsTheUpdate)
{
  EXPECT_EQ(RunPenWith(ENODEFAULT_EIO), 1);
  ExpectFailure();
}

TEST_F(LinuxProgramFaults, ANodeThatVanishesMidTransferFailsTheUpdate)
{
  EXPECT_EQ(RunPenWith(ENODEFAULT_ENODEV), 1);
  ExpectFailure();
}

TEST_F(LinuxProgramFaults, AShortFeatureReportIsNeverTakenForAnAnswer)
{
  EXPECT_EQ(RunPenWith(ENODEFAULT_SHORT), 1);
  ExpectFailure();
}

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
  EXPECT_EQ(Err().find(ErrorMessage(EUISTRING_ERROR_NO_TABLET)), std::string::npos) << "not 'no device'";
  EXPECT_EQ(Run({"--list"}), 1) << "the list says so too";
  EXPECT_NE(Err().find("error: no permission to open " + node, err.size()), std::string::npos) << Err();
}

#include "common/fwupdater/ctransferrecorder.h"
#include "tests/linuxdevices/linuxprogramtest.h"

using namespace orv;
using namespace orv::test;

namespace {

class LinuxRecording : public CLinuxProgramTest {};

}  // namespace

// A composite tablet whose touch collection comes back a moment after the pen's interface: the touch board's
// update lists the devices again, and the replay meets that list as recorded.
TEST_F(LinuxRecording, ARecordedRunReplaysAsAScenarioTransferForTransfer)
{
  std::string scenario = ReadText("tablet_s.scenario");
  scenario.insert(scenario.find("\"name\": \"touch\""), "\"arrivalLagMs\": 300, ");
  Emulate(scenario);
  const std::string pen = mBus->NodeOf(SimPath("PID_0101&MI_00"));
  ASSERT_EQ(Run({"-record", "tablet.rec", "-testpid", "0101", "-auto", "pen,touch"}), 0) << Err();
  ExpectFlashed("pen", "tablet_s.pen");
  ExpectFlashed("touch", "tablet_s.touch");
  const std::string log = Log();
  EXPECT_LT(log.find("[STATE] 2"), log.find("IMPORTANT Attach Message (/dev/hidraw"));
  EXPECT_LT(log.find("Starting update touch"), log.find("The board's interface is not listed")) << log;
  std::string recording = ReadText("tablet.rec");
  for (const std::string& line : {std::string(kRecordingHeader), "enumerate hid " + pen, "hid " + pen + " set ok CC4F52",
                                  "hid " + pen + " caps ok 0001 FF0D", "removal hid " + pen, std::string(" arrival hid /dev/hidraw"),
                                  std::string(" get ok B2")}) {
    EXPECT_NE(recording.find(line), std::string::npos) << line;
  }

  // The same run against the recording alone: every request met as recorded, the same end.
  ASSERT_EQ(Run({"-simulate", "tablet.rec", "-testpid", "0101", "-auto", "pen,touch"}), 0) << Err();
  EXPECT_EQ(Err().find("left the recording"), std::string::npos) << Err();
  // A run that sends something else leaves the recording, and says where.
  recording.replace(recording.find(" set ok CC4F52"), 14, " set ok CC4F53");
  std::ofstream("changed.rec") << recording;
  EXPECT_EQ(Run({"-simulate", "changed.rec", "-testpid", "0101", "-auto", "pen,touch"}), 1);
  EXPECT_NE(Err().find("error: the run left the recording: " + pen + ": set CC4F52 where line "),
            std::string::npos) << Err();
}

TEST_F(LinuxRecording, AFailingBoardsRecordingReproducesTheFailure)
{
  Emulate("default");
  mBus->HidNode(SimPath("PID_0210&MI_00"))->InjectFault(60, 1000000, ENODEFAULT_EIO);
  ASSERT_EQ(Run({"-record", "failing.rec", "-testpid", "0210", "-auto", "pen"}), 1);
  EXPECT_NE(ReadText("failing.rec").find(" set failed "), std::string::npos);
  EXPECT_EQ(Run({"-simulate", "failing.rec", "-testpid", "0210", "-auto", "pen"}), 1);
  EXPECT_NE(Err().find(ErrorMessage(EUISTRING_UPDATE_FAILED)), std::string::npos) << Err();
  EXPECT_EQ(Err().find("left the recording"), std::string::npos) << Err();
}

TEST_F(LinuxRecording, TheScalerIsRecordedCallForCallAndReplayed)
{
  Emulate("default");
  ASSERT_EQ(Run({"-record", "scaler.rec", "-testpid", "0210", "-auto", "scalar"}, "Update\n"), 0) << Err();
  const std::string recording = ReadText("scaler.rec");
  EXPECT_NE(recording.find(" ftdi list-count 0 1"), std::string::npos);
  EXPECT_NE(recording.find(" ftdi bitmode 0 0 2"), std::string::npos);
  ASSERT_EQ(Run({"-simulate", "scaler.rec", "-testpid", "0210", "-auto", "scalar"}, "Update\n"), 0) << Err();
  EXPECT_EQ(Err().find("left the recording"), std::string::npos) << Err();
}

TEST_F(LinuxRecording, ARecordingThatCannotBeWrittenOrReadEndsWithItsReason)
{
  EXPECT_EQ(Run({"-record", "/nonexistent/dir/run.rec", "-testpid", "0210", "-auto", "pen"}), 1);
  EXPECT_NE(Err().find("error: cannot write the recording /nonexistent/dir/run.rec"), std::string::npos) << Err();
  std::ofstream("bad.rec") << kRecordingHeader << "\n12 hid /dev/hidraw0 set ok\n";
  EXPECT_EQ(Run({"-simulate", "bad.rec", "-auto", "pen"}), 1);
  EXPECT_NE(Err().find("line 2 of the recording is not understood"), std::string::npos) << Err();
  EXPECT_EQ(Run({"-simulate", "x.rec", "-record", "y.rec"}), 1) << "a recording is of real devices";
  EXPECT_EQ(Run({"-testpid", "0210", "-record"}), 1);
  EXPECT_NE(Err().find("error: option -record needs a file"), std::string::npos) << Err();
}

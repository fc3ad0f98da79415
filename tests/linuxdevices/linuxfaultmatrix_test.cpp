// A sample of the fault matrix one layer down: the whole Linux program against emulated kernel devices that fail
// as a kernel and udev fail. Each faulty run ends with 0 only when the flash holds the image, with 1 otherwise,
// and its result file and log trailer say which; then the fault is gone and an ordinary run must complete the
// update.
#include <cstdint>
#include <optional>

#include "tests/linuxdevices/emulatedudev.h"
#include "tests/linuxdevices/linuxprogramtest.h"

using namespace orv;
using namespace orv::test;

namespace {

enum EKernelFault {
  // The display's pen node fails its feature transfers from the given one on.
  EKERNELFAULT_NODE,
  // While the tablet waits for its pen board's loader, udev reports the loader's node removed (it is not).
  EKERNELFAULT_REMOVE_EVENT,
  // The loader's node arrives root's alone (EACCES) until udev's rules give it to the user a moment later.
  EKERNELFAULT_REFUSED,
  // The monitor's socket overflows (ENOBUFS) as the loader arrives and again as the board returns.
  EKERNELFAULT_OVERFLOW,
  // The tablet's pen board acknowledges every write, but its flash keeps one byte wrong.
  EKERNELFAULT_WRONG_BYTE,
};

constexpr uint64_t kForever = 1000000;

struct SKernelCase {
  const char* name;
  EKernelFault fault;
  ENodeFault nodeFault;
  // The first faulty transfer, the byte kept wrong, or for a refused node how long the rules take (ms).
  uint64_t at;
  uint64_t count;
  // The first run's exit code; -1 for any proper end.
  int expected;
};

// Three tables, each run in a process of its own: a tablet's loader wait leaves umockdev's preload library
// room for the failed opens of two runs of two cases a process.
const SKernelCase kNodeCases[] = {
    {"EnodevAtTheStart", EKERNELFAULT_NODE, ENODEFAULT_ENODEV, 3, kForever, 1},
    {"EnodevMidWrite", EKERNELFAULT_NODE, ENODEFAULT_ENODEV, 120, kForever, 1},
    {"EnodevNearTheEnd", EKERNELFAULT_NODE, ENODEFAULT_ENODEV, 150, kForever, 1},
    {"OneEioMidWrite", EKERNELFAULT_NODE, ENODEFAULT_EIO, 120, 1, 0},
};
const SKernelCase kLoaderWaitCases[] = {
    {"ARemoveEventDuringTheLoaderWait", EKERNELFAULT_REMOVE_EVENT, ENODEFAULT_NONE, 0, 0, -1},
    {"ALoaderNodeRefusedForAMoment", EKERNELFAULT_REFUSED, ENODEFAULT_NONE, 500, 0, 0},
};
const SKernelCase kMonitorAndFlashCases[] = {
    {"AMonitorOverflowDuringTheLoaderWait", EKERNELFAULT_OVERFLOW, ENODEFAULT_NONE, 0, 0, 0},
    {"AByteTheFlashKeptWrong", EKERNELFAULT_WRONG_BYTE, ENODEFAULT_NONE, 100, 0, 1},
};

class CKernelFaultTest : public CLinuxProgramTest, public ::testing::WithParamInterface<SKernelCase> {
 protected:
  // The display's pen board switches in place; the tablet's leaves the bus for its loader and comes back.
  void EmulateCase()
  {
    const SKernelCase& item = GetParam();
    if (item.fault == EKERNELFAULT_NODE) {
      Emulate("default");
      mImage = "display_pen.orv";
      mArguments = {"-testpid", "0210", "-auto", "pen", "-result", "result.json"};
      mBus->HidNode(SimPath("PID_0210&MI_00"))->InjectFault(item.at, item.count, item.nodeFault);
      return;
    }
    Emulate("tablet_s.scenario");
    mImage = "tablet_s.pen";
    mArguments = {"-testpid", "0101", "-auto", "pen", "-result", "result.json"};
    if (item.fault == EKERNELFAULT_WRONG_BYTE) {
      mPlatform->HidBoard("pen")->KeepWrongByte(item.at);
      return;
    }
    mClock.SetPump([this] {
      mBus->Pump();
      mUdev.Pump();
      OnLoaderArrival();
    });
  }

  // The fault strikes once, the first time the loader's node is there (and the overflow once more when the
  // board is back).
  void OnLoaderArrival()
  {
    if (!mArmed) return;
    const std::string loader = SimPath("PID_0100");
    const std::string node = mBus->NodeOf(loader);
    const EKernelFault fault = GetParam().fault;
    if (node.empty() && mLoaderSeen && fault == EKERNELFAULT_OVERFLOW && !SimPath("PID_0101").empty()) {
      mUdev.Overflow();
      mArmed = false;
    }
    if (node.empty() || mLoaderSeen) return;
    mLoaderSeen = true;
    mLoaderNode = node;
    mArmed = fault == EKERNELFAULT_OVERFLOW;
    if (fault == EKERNELFAULT_REMOVE_EVENT) mBed.Uevent(mBus->Syspath(loader), "remove");
    if (fault == EKERNELFAULT_OVERFLOW) mUdev.Overflow();
    if (fault == EKERNELFAULT_REFUSED) {
      mBed.Chmod(node, 0);
      mUdev.GrantAt(node, Clock().NowMs() + GetParam().at);
    }
  }

  // The run's code, its result file and its log's trailer agree, and success means the image is in the flash.
  void ExpectTruthfulEnd(int code_I)
  {
    const std::string meaning = code_I == 0 ? "success" : "error";
    EXPECT_NE(ReadText("result.json").find("\"exitCode\": " + std::to_string(code_I) + ","), std::string::npos);
    const std::string log = Log();
    EXPECT_TRUE(log.ends_with("Exit code: " + std::to_string(code_I) + " (" + meaning + ")\n")) << log;
    if (code_I == 0) ExpectFlashed("pen", mImage);
  }

  // The user plugs the board in again (a node that answered ENODEV is gone for good; the kernel makes a new
  // one), and udev's rules give the user its node.
  void TakeFaultAway()
  {
    mArmed = false;
    if (GetParam().fault == EKERNELFAULT_NODE) mPlatform->HidBoard("pen")->Replug();
    mPlatform->HidBoard("pen")->ClearFaults();
    if (!mLoaderNode.empty()) mBed.Chmod(mLoaderNode, 0666);
  }

  // The run with the fault, then, the fault gone, an ordinary run.
  void RunCase()
  {
    EmulateCase();
    std::optional<CScopedNoFileOverride> user;
    if (GetParam().fault == EKERNELFAULT_REFUSED) user.emplace();
    const int code = Run(mArguments);
    user.reset();
    if (GetParam().expected >= 0) {
      EXPECT_EQ(code, GetParam().expected) << Err() << Log();
    }
    ASSERT_TRUE(code == 0 || code == 1) << Err();
    const EKernelFault fault = GetParam().fault;
    EXPECT_TRUE(mLoaderSeen || fault == EKERNELFAULT_NODE || fault == EKERNELFAULT_WRONG_BYTE) << "the fault struck";
    ExpectTruthfulEnd(code);
    TakeFaultAway();
    Pause(5000);
    ASSERT_EQ(Run(mArguments), 0) << Err() << Log();
    ExpectTruthfulEnd(0);
  }

  CEmulatedUdev mUdev{mBed};
  std::vector<std::string> mArguments;
  std::string mImage;
  std::string mLoaderNode;
  bool mArmed = true;
  bool mLoaderSeen = false;
};

class LinuxNodeFaults : public CKernelFaultTest {};
class LinuxLoaderWaitFaults : public CKernelFaultTest {};
class LinuxMonitorAndFlashFaults : public CKernelFaultTest {};

std::string CaseName(const ::testing::TestParamInfo<SKernelCase>& info_I) { return info_I.param.name; }

}  // namespace

TEST_P(LinuxNodeFaults, EndTruthfullyAndAnOrdinaryRunRecoversTheBoard) { RunCase(); }
TEST_P(LinuxLoaderWaitFaults, EndTruthfullyAndAnOrdinaryRunRecoversTheBoard) { RunCase(); }
TEST_P(LinuxMonitorAndFlashFaults, EndTruthfullyAndAnOrdinaryRunRecoversTheBoard) { RunCase(); }

INSTANTIATE_TEST_SUITE_P(, LinuxNodeFaults, ::testing::ValuesIn(kNodeCases), CaseName);
INSTANTIATE_TEST_SUITE_P(, LinuxLoaderWaitFaults, ::testing::ValuesIn(kLoaderWaitCases), CaseName);
INSTANTIATE_TEST_SUITE_P(, LinuxMonitorAndFlashFaults, ::testing::ValuesIn(kMonitorAndFlashCases), CaseName);

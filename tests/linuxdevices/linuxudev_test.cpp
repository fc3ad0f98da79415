#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/fwupdater/cbulkfldeviceinterface.h"
#include "common/fwupdater/chidfldeviceinterface.h"
#include "common/fwupdater/ctransferrecorder.h"
#include "linux/common/clinuxdeviceevents.h"
#include "linux/common/clinuxudev.h"
#include "sim/csimreplay.h"
#include "tests/linuxdevices/emulatedbluetooth.h"
#include "tests/linuxdevices/emulatedcomposite.h"
#include "tests/linuxdevices/emulatedfirmware.h"
#include "tests/linuxdevices/emulatedudev.h"
#include "tests/linuxdevices/linuxdevicetest.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::test;

namespace {

// A tablet's pen board and a bulk board, each of which re-enumerates into its HID loader.
const char* const kLeavingBoards = R"({
  "nodes": [["USB\\VID_4F52&PID_0102\\TAB7", "USB\\ROOT_HUB30\\1"]],
  "devices": [
    {"kind": "hid", "pid": "0102", "loaderPid": "0100", "usageId": "1", "instance": 1, "reenumerateMs": 500,
     "parent": "USB\\VID_4F52&PID_0102\\TAB7"},
    {"kind": "bulk", "pid": "0300", "loaderPid": "0301", "parent": "USB\\ROOT_HUB30\\1", "reenumerateMs": 500}
  ]
})";

constexpr const char* kEpermCheck = "ORVEL_EPERM_CHECK";
constexpr int kEpermCheckRan = 16;

// Runs one check of a node refused with EPERM ("hid" or "usb") in a fresh copy of this program, which runs
// LinuxUdev.DISABLED_EpermCheck alone, and returns that check's outcome (-1 when it did not run). A fresh
// program, not a forked child: a child forked while umockdev's thread held its preload library's lock waited
// for that lock for ever.
int InAFreshProgramRefusedWithEperm(const std::string& which_I)
{
  std::vector<std::string> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) environment.emplace_back(*variable);
  environment.push_back(std::string(kEpermCheck) + "=" + which_I);
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::string program = "test_linuxdevices", filter = "--gtest_filter=LinuxUdev.DISABLED_EpermCheck",
              disabled = "--gtest_also_run_disabled_tests";
  char* argv[] = {program.data(), filter.data(), disabled.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  const int spawned = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  const int code = WEXITSTATUS(status);
  return (code & ~3) == kEpermCheckRan ? code & 3 : -1;
}

class LinuxUdev : public CLinuxPortsTest {
 protected:
  void EmulateLeavingBoards()
  {
    Emulate(kLeavingBoards);
    mClock.SetPump([this] {
      mBus->Pump();
      mUdev.Pump();
    });
    mHidNode = mBus->NodeOf(SimPath("PID_0102"));
    mBulkNode = mBus->NodeOf(mPlatform->Bus()->EnumerateInterfacePaths(EDEVICECLASS_BULK).front());
  }

  CEmulatedUdev mUdev{mBed};
  std::string mHidNode;
  std::string mBulkNode;
};

class LinuxBoards : public LinuxUdev {};
class LinuxEvents : public LinuxUdev, public ::testing::WithParamInterface<bool> {};

}  // namespace

TEST_F(LinuxUdev, ADeviceUdevIsStillSettingUpIsLeftForTheMonitorToBring)
{
  CEmulatedBluetoothBoard board(mBed, mUdev, 0x0123);
  CLinuxDeviceEvents events;
  ASSERT_TRUE(events.IsListening());
  CEventTrail trail(events);
  CLinuxDeviceEnumerator enumerator;
  EXPECT_EQ(enumerator.EnumerateInterfacePaths(EDEVICECLASS_HID), std::vector<std::string>{});
  EXPECT_EQ(trail.Delivered(), std::vector<std::string>{});

  mUdev.Finish(board.HidrawSyspath());
  EXPECT_EQ(trail.Delivered(), std::vector<std::string>{"+hid " + std::string(board.kNode)});
  EXPECT_EQ(enumerator.EnumerateInterfacePaths(EDEVICECLASS_HID), std::vector<std::string>{board.kNode});

  // A bluetooth board's version is the one its input device carries, not its dongle's; nor are its ids.
  const std::unique_ptr<CHidDevice> device = mHid->Open(board.kNode);
  ASSERT_TRUE(device);
  SHidAttributes attributes;
  ASSERT_TRUE(device->GetAttributes(attributes));
  EXPECT_EQ(attributes.productId, board.kProductId);
  EXPECT_EQ(attributes.version, 0x0123);
  EXPECT_EQ(NodeIdentity(board.kNode), "4F52:0211");
}

// Boards leaving for their loaders and coming back are reported, by a monitor whose socket overflowed (the
// kernel dropped what it held) as much as by one whose did not: no arrival and no removal is lost, none comes
// twice.
TEST_P(LinuxEvents, BoardsLeavingForTheirLoadersAndComingBackAreReported)
{
  const bool overflow = GetParam();
  EmulateLeavingBoards();
  CLinuxDeviceEvents events;
  ASSERT_TRUE(events.IsListening());
  CEventTrail trail(events);
  CHIDFLDeviceInterface pen(mHidNode, mHid);
  ASSERT_TRUE(pen.SwitchToBLMode());
  CBulkFLDeviceInterface bulk(mBulkNode, mUsb);
  ASSERT_TRUE(bulk.SwitchToBLMode());
  Pause(100);
  if (overflow) mUdev.Overflow();
  EXPECT_EQ(trail.Delivered(), (std::vector<std::string>{"-bulk " + mBulkNode, "-hid " + mHidNode}));

  Pause(500);
  const std::string penLoader = mBus->NodeOf(SimPath("PID_0100"));
  const std::string bulkLoader = mBus->NodeOf(SimPath("PID_0301"));
  ASSERT_FALSE(penLoader.empty());
  ASSERT_FALSE(bulkLoader.empty());
  if (overflow) mUdev.Overflow();
  std::vector<std::string> arrivals{"+hid " + penLoader, "+hid " + bulkLoader};
  std::sort(arrivals.begin(), arrivals.end());
  EXPECT_EQ(trail.Delivered(), arrivals);
  EXPECT_EQ(trail.Delivered(), std::vector<std::string>{}) << "nothing twice";
}

INSTANTIATE_TEST_SUITE_P(, LinuxEvents, ::testing::Bool());

// A full monitor socket loses what udev says from then on, and says so before it hands out what it held: what
// it held comes after the look that followed, when the node may already be another device's (the kernel gives
// a new node the lowest free number). Only the device at the node now is told of, and only once.
TEST_F(LinuxUdev, EventsAFullMonitorSocketHeldLeaveTheNodesNextDeviceAlone)
{
  // A HID device with its hidraw node at the minor; the node's syspath.
  const auto addHidraw = [this](const std::string& hid_I, unsigned minor_I, size_t collections_I) {
    const std::string hid = mBed.Add("hid", hid_I, "", {}, {"HID_ID", "0003:00004F52:00000100"});
    mBed.SetBinary(hid, "report_descriptor",
                   FirmwareDescriptor(std::vector<SFirmwareCollection>(collections_I, {{1, 0xFF0D}, {{0x02, 64, 2, 2}}})));
    const std::string name = "hidraw" + std::to_string(minor_I);
    return mBed.Add("hidraw", name, hid, {"dev", "241:" + std::to_string(minor_I)}, {"DEVNAME", "/dev/" + name});
  };
  const std::string board = addHidraw("0003:4F52:0101.0001", 0, 1);
  const std::string other = addHidraw("0003:4F52:0102.0002", 1, 1);
  CLinuxDeviceEvents events;
  ASSERT_TRUE(events.IsListening());
  CEventTrail trail(events);

  // The board leaves for its loader, which gets the board's node; the other device leaves too.
  mBed.Remove(board);
  mBed.Remove(other);
  mUdev.Fill();
  addHidraw("0003:4F52:0100.0003", 0, 2);
  EXPECT_EQ(trail.Delivered(), (std::vector<std::string>{"+hid /dev/hidraw0#col01", "+hid /dev/hidraw0#col02",
                                                         "-hid /dev/hidraw0", "-hid /dev/hidraw1"}));

  // A device arrives and leaves again, its node another's by the time the socket hands out its arrival.
  const std::string brief = addHidraw("0003:4F52:0101.0004", 1, 1);
  mUdev.Fill();
  mBed.Remove(brief);
  const std::string loader = addHidraw("0003:4F52:0100.0005", 1, 2);
  EXPECT_EQ(trail.Delivered(), (std::vector<std::string>{"+hid /dev/hidraw1#col01", "+hid /dev/hidraw1#col02"}));
  mBed.Remove(loader);
  EXPECT_EQ(trail.Delivered(), (std::vector<std::string>{"-hid /dev/hidraw1#col01", "-hid /dev/hidraw1#col02"}));
}

TEST_F(LinuxUdev, ANewNodeRefusedIsTriedAgainForTwoSecondsBeforeTheRefusalCounts)
{
  EmulateLeavingBoards();
  mBed.Chmod(mHidNode, 0);
  mBed.Chmod(mBulkNode, 0);
  const CScopedNoFileOverride user;
  // udev's rules give the user the nodes a moment later.
  mUdev.GrantAt(mHidNode, Clock().NowMs() + 300);
  uint64_t start = Clock().NowMs();
  EXPECT_TRUE(mHid->Open(mHidNode));
  EXPECT_GE(Clock().NowMs() - start, 300u);
  EXPECT_LT(Clock().NowMs() - start, 300u + kFreshNodeRetryMs);
  mUdev.GrantAt(mBulkNode, Clock().NowMs() + 700);
  start = Clock().NowMs();
  EXPECT_TRUE(mUsb->Open(mBulkNode));
  EXPECT_GE(Clock().NowMs() - start, 700u);
  EXPECT_LT(Clock().NowMs() - start, 700u + kFreshNodeRetryMs);
  EXPECT_EQ(mLog->RefusedNodes(), std::vector<std::string>{});

  // Nodes the rules never give the user are a permission problem after the two seconds.
  mBed.Chmod(mHidNode, 0);
  mBed.Chmod(mBulkNode, 0);
  start = Clock().NowMs();
  EXPECT_FALSE(mHid->Open(mHidNode));
  EXPECT_FALSE(mUsb->Open(mBulkNode));
  EXPECT_EQ(Clock().NowMs() - start, 2u * kFreshNodeGraceMs);
  EXPECT_EQ(mLog->RefusedNodes(), (std::vector<std::string>{mHidNode, mBulkNode}));
  start = Clock().NowMs();
  EXPECT_FALSE(mHid->Open(mHidNode));
  EXPECT_EQ(Clock().NowMs() - start, 0u) << "waited for once";
}

// A node refused with EPERM, as a device cgroup refuses one, is as much a permission problem as one refused
// with EACCES, whether the kernel tells it or libusb.
TEST_F(LinuxUdev, ANodeRefusedWithEpermIsAPermissionProblem)
{
  // 0 when the node was refused and taken for refused; 1 when it was opened, 2 when not taken for refused.
  // A program for each: umockdev's preload has room for 50 files a program and loses a place to each refused open.
  EXPECT_EQ(InAFreshProgramRefusedWithEperm("hid"), 0);
  EXPECT_EQ(InAFreshProgramRefusedWithEperm("usb"), 0);
}

// The check above, in the program started for it: the kernel refuses this thread's opens for reading and
// writing (a seccomp filter binds the thread that installs it and the threads it starts).
TEST_F(LinuxUdev, DISABLED_EpermCheck)
{
  const char* which = std::getenv(kEpermCheck);
  ASSERT_NE(which, nullptr);
  EmulateLeavingBoards();
  constexpr uint32_t kReadWrite = O_RDWR | O_CLOEXEC;
  sock_filter program[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kReadWrite, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  const sock_fprog filter{static_cast<unsigned short>(std::size(program)), program};
  ASSERT_EQ(prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0), 0);
  ASSERT_EQ(prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter), 0);
  const bool hid = std::string(which) == "hid";
  const std::string node = hid ? mHidNode : mBulkNode;
  const bool opened = hid ? mHid->Open(node) != nullptr : mUsb->Open(node) != nullptr;
  std::_Exit(kEpermCheckRan | int{opened} | int{!mLog->WasRefused(node)} << 1);
}

TEST_F(LinuxBoards, ACompositeBulkBoardIsDrivenThroughItsVendorInterfaceAlone)
{
  CEmulatedCompositeBoard board(mBed);
  EXPECT_EQ(CLinuxDeviceEnumerator().EnumerateInterfacePaths(EDEVICECLASS_BULK), std::vector<std::string>{board.Node()});
  CBulkFLDeviceInterface bulk(board.Node(), mUsb);
  ASSERT_TRUE(bulk.QueryAttributes());
  EXPECT_EQ(bulk.GetProductId(), board.kProductId);
  EXPECT_EQ(bulk.GetVersion(), board.kVersion);
  ASSERT_TRUE(bulk.Open());
  EXPECT_TRUE(bulk.Ping());
  EXPECT_TRUE(bulk.SendVendorCommand());
  // A description names wIndex before wValue: the ping's, and one whose wValue is not the ping's.
  Report ping{0xC1, 0x01, 0x01, 0x00, 2};
  EXPECT_TRUE(bulk.ReadReport(ping));
  Report other{0xC1, 0x01, 0x00, 0x01, 2};
  EXPECT_FALSE(bulk.ReadReport(other));
  bulk.Close();
  EXPECT_TRUE(bulk.SwitchToBLMode());
  EXPECT_EQ(board.Misaddressed(), 0u);
  EXPECT_FALSE(mUsb->Open("/dev/bus/usb/009/001")) << "no such device";
  // Three opens: the attributes, the session, the switch; the HID interface keeps its driver throughout.
  EXPECT_EQ(board.Actions(), (std::vector<std::string>{"claim 1", "release 1", "claim 1", "release 1", "claim 1", "release 1"}));
}

// A board asked for more than it has answers what it has: the caller, the recording and its replay get those
// bytes alone, not whatever the buffer held beyond them.
TEST_F(LinuxBoards, AShortAnswerIsRecordedAndReplayedAsTheBoardSentIt)
{
  CEmulatedCompositeBoard board(mBed);
  CScratchDir dir;
  const std::string file = (dir.Path() / "short.rec").string();
  auto recorder = std::make_shared<CTransferRecorder>();
  ASSERT_TRUE(recorder->Open(file));
  const SUsbSetupPacket ping{0xC1, 0x01, 0, 0, 8};
  const std::vector<uint8_t> sent{0x01, 0x00};
  std::vector<uint8_t> data(8, 0xEE);
  const std::unique_ptr<CUsbDevice> usb = RecordingUsbSystem(mUsb, recorder)->Open(board.Node());
  ASSERT_TRUE(usb && usb->ControlTransfer(ping, data));
  EXPECT_EQ(data, sent);
  // A refused read brought nothing.
  std::vector<uint8_t> refused(8, 0xEE);
  EXPECT_FALSE(usb->ControlTransfer({0xC1, 0x01, 1, 0, 8}, refused));
  const std::string recording = ReadText(file);
  EXPECT_NE(recording.find(" control ok C101000000000008 0100\n"), std::string::npos) << recording;
  EXPECT_NE(recording.find(" control failed C101000100000008 -\n"), std::string::npos) << recording;

  std::string error;
  const std::shared_ptr<sim::CSimReplay> replay = sim::CSimReplay::Parse(recording, error);
  ASSERT_TRUE(replay) << error;
  const std::unique_ptr<CUsbDevice> replayed = replay->Usb()->Open(board.Node());
  data.assign(8, 0xEE);
  ASSERT_TRUE(replayed && replayed->ControlTransfer(ping, data));
  EXPECT_EQ(data, sent);
}

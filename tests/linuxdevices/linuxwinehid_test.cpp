// OrvelFWUpdater.exe under Wine against the emulated boards: Wine's SetupAPI, hid.dll, HID class driver and bus
// driver on hidraw carry the program's calls to the testbed's nodes, with no table of calls in between. Every
// Wine process runs inside the testbed, started from the test. Needs Wine and the Windows build (the windows
// preset's folder); skipped without either.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "tests/linuxdevices/linuxprogramtest.h"

extern char** environ;

using namespace orv;
using namespace orv::test;

namespace {

const std::filesystem::path kWindowsBuild = ORVEL_WINDOWS_BUILD;
// The script's exit code without Wine (90 to 92: the prefix, the server or the boards' listing failed).
constexpr int kNoWine = 93;

// A prefix of the test's own, made once: the bus driver looks for hidraw devices through udev only with its
// SDL bus off, and the null display driver lets the program's hidden window exist without an X display. Then
// the session, inside the testbed: the server, and the wait until the pen board's collection is listed.
std::string SessionScript(const std::filesystem::path& wait_I)
{
  return "command -v wine >/dev/null && command -v wineserver >/dev/null || exit " + std::to_string(kNoWine) +
         "\nexport WINEDEBUG=${WINEDEBUG:--all}\n"
         "wineserver -k 2>/dev/null; wineserver -w\n"
         "[ -f \"$WINEPREFIX/orvel-hid\" ] || { wineboot --init && wine reg add "
         "'HKLM\\System\\CurrentControlSet\\Services\\winebus' /v 'Enable SDL' /t REG_DWORD /d 0 /f && "
         "wine reg add 'HKCU\\Software\\Wine\\Drivers' /v Graphics /d null /f && wineserver -w && "
         "touch \"$WINEPREFIX/orvel-hid\"; } >/dev/null 2>&1 || exit 90\n"
         "wineserver -p5 || exit 91\n"
         "wine '" + wait_I.string() + "' 'vid_4f52&pid_0210&mi_00' 1 20000 || exit 92\n";
}

class LinuxWineHid : public CLinuxProgramTest {
 protected:
  // Runs the shell script in a process group of its own with the test's Wine prefix; the group is ended after
  // timeout_I. Virtual time goes on meanwhile for the boards. The script's exit code, -1 when it was ended.
  int RunScript(const std::string& script_I, std::chrono::seconds timeout_I)
  {
    std::string prefix = std::string("WINEPREFIX=") + ORVEL_WINE_PREFIX;
    std::vector<char*> environment{prefix.data()};
    for (char** variable = environ; *variable != nullptr; ++variable) environment.push_back(*variable);
    environment.push_back(nullptr);
    const char* argv[] = {"sh", "-c", script_I.c_str(), nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, "/bin/sh", nullptr, &attributes, const_cast<char**>(argv), environment.data());
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) return -1;
    const auto end = std::chrono::steady_clock::now() + timeout_I;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
      }
      // The program's own time is real: waiting for it is too.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      mClock.Pause(10);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

}  // namespace

TEST_F(LinuxWineHid, APenBoardIsUpdatedThroughWinesHidStack)
{
  const std::filesystem::path updater = kWindowsBuild / "bin" / "OrvelFWUpdater.exe";
  const std::filesystem::path wait = kWindowsBuild / "windevices" / "winehidwait.exe";
  if (!std::filesystem::exists(updater) || !std::filesystem::exists(wait)) {
    GTEST_SKIP() << "build OrvelFWUpdater and winehidwait with the windows preset first";
  }
  Emulate("default");
  const std::string script = SessionScript(wait) + "wine '" + updater.string() +
                             "' -quiet -testpid 0210 -auto pen -result result.json\n"
                             "code=$?; wineserver -k; wineserver -w; exit $code";
  const int code = RunScript(script, std::chrono::seconds(120));
  if (code < 0) RunScript("wineserver -k; wineserver -w", std::chrono::seconds(10));
  if (code == kNoWine) GTEST_SKIP() << "Wine is not installed";
  ASSERT_EQ(code, 0) << ReadText("result.json");
  ExpectFlashed("pen", "display_pen.orv");
  const std::shared_ptr<CEmulatedHidNode> node = mBus->HidNode(SimPath("PID_0210&MI_00"));
  ASSERT_TRUE(node);
  EXPECT_GT(node->Transfers(), 0u);
  EXPECT_EQ(node->Stalls(), 0u);
}

#include <fcntl.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "common/cclock.h"
#include "linux/common/clinuxprocessservices.h"
#include "tests/linux/linuxtesthelpers.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

bool HasChildren() { return !(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD); }

}  // namespace

TEST(LinuxProcessServices, SecondInstanceIsRefusedUntilTheFirstEnds)
{
  test::CScratchDir dir;
  const std::string path = (dir.Path() / "updater.lock").string();
  CLinuxSingleInstance second(path);
  {
    CLinuxSingleInstance first(path);
    ASSERT_TRUE(first.Acquire());
    EXPECT_FALSE(second.Acquire());
  }
  EXPECT_TRUE(second.Acquire());
  EXPECT_FALSE(CLinuxSingleInstance((dir.Path() / "missing" / "x.lock").string()).Acquire());
}

TEST(LinuxProcessServices, LockAndTemporaryPathsFollowTheEnvironment)
{
  {
    test::CScopedEnvironment runtime("XDG_RUNTIME_DIR", "/run/user/7/");
    test::CScopedEnvironment temp("TMPDIR", "/var/tmp/x");
    EXPECT_EQ(CLinuxSingleInstance::DefaultLockPath(), "/run/user/7/orvel-fwupdater.lock");
    EXPECT_EQ(TemporaryDirectory(), "/var/tmp/x/");
  }
  test::CScopedEnvironment runtime("XDG_RUNTIME_DIR", "");
  test::CScopedEnvironment temp("TMPDIR", std::nullopt);
  EXPECT_EQ(CLinuxSingleInstance::DefaultLockPath(), "/tmp/orvel-fwupdater-" + std::to_string(getuid()) + ".lock");
  EXPECT_EQ(TemporaryDirectory(), "/tmp/");
}

TEST(LinuxProcessServices, NamedEventPostsAnExistingSemaphoreOnly)
{
  CVirtualClock clock;
  CScopedClock installed(clock);
  const std::string name = "OrvelTestEvent" + std::to_string(getpid());
  CLinuxNamedEvents events;
  EXPECT_FALSE(events.Signal("Global\\" + name) || events.Signal("Global\\a/b"));
  EXPECT_TRUE(clock.Pauses().empty());
  sem_t* semaphore = sem_open(("/" + name).c_str(), O_CREAT | O_EXCL, 0600, 0);
  ASSERT_NE(semaphore, SEM_FAILED);
  EXPECT_TRUE(events.Signal("Global\\" + name));
  EXPECT_TRUE(sem_trywait(semaphore) == 0 && sem_trywait(semaphore) != 0);  // posted exactly once
  EXPECT_EQ(clock.Pauses(), std::vector<uint32_t>{1000});
  sem_close(semaphore);
  sem_unlink(("/" + name).c_str());
}

TEST(LinuxProcessServices, KeepAwakeHoldsOneInhibitorWhileBusyAndLeavesNoChild)
{
  ASSERT_FALSE(HasChildren());
  test::CScratchDir dir;
  const std::string inhibitor = dir.Write("inhibit", "#!/bin/sh\nexec cat\n");
  chmod(inhibitor.c_str(), 0700);
  {
    CLinuxKeepAwake keepAwake(inhibitor);
    keepAwake.SetKeepAwake(true);
    keepAwake.SetKeepAwake(true);
    EXPECT_TRUE(keepAwake.IsHolding());
    keepAwake.SetKeepAwake(false);
    EXPECT_FALSE(keepAwake.IsHolding() || HasChildren());
    keepAwake.SetKeepAwake(true);
    EXPECT_TRUE(keepAwake.IsHolding());
  }
  EXPECT_FALSE(HasChildren());
  CLinuxKeepAwake missing((dir.Path() / "no-such-program").string());
  missing.SetKeepAwake(true);
  EXPECT_FALSE(missing.IsHolding() || HasChildren());
}

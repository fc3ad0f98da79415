#include <fcntl.h>
#include <sched.h>
#include <semaphore.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "common/cclock.h"
#include "linux/common/clinuxprocessservices.h"
#include "tests/linux/linuxtesthelpers.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

bool HasChildren() { return !(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD); }

constexpr uid_t kNobody = 65534;
constexpr uid_t kOtherUser = 65533;

// A copy of the updater under another user: takes the lock in a child process running as uid_I, tells whether
// it got it, and holds it until this object ends.
class COtherUserCopy {
 public:
  COtherUserCopy(uid_t uid_I, const std::string& path_I)
  {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return;
    mChild = fork();
    if (mChild == 0) {
      close(ends[0]);
      CLinuxSingleInstance lock(path_I);
      const char taken = setgid(uid_I) == 0 && setuid(uid_I) == 0 && lock.Acquire() ? 1 : 0;
      char none = 0;
      _exit(write(ends[1], &taken, 1) == 1 && read(ends[1], &none, 1) == 0 ? 0 : 1);
    }
    close(ends[1]);
    mEnd = ends[0];
    char taken = 0;
    mAcquired = read(mEnd, &taken, 1) == 1 && taken == 1;
  }
  ~COtherUserCopy()
  {
    close(mEnd);
    if (mChild > 0) waitpid(mChild, nullptr, 0);
  }
  COtherUserCopy(const COtherUserCopy&) = delete;
  COtherUserCopy& operator=(const COtherUserCopy&) = delete;

  bool Acquired() const { return mAcquired; }

 private:
  pid_t mChild = -1;
  int mEnd = -1;
  bool mAcquired = false;
};

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
  // A symbolic link where the lock belongs is refused: what it points at is neither locked nor changed.
  const std::string target = dir.Write("target", "keep");
  ASSERT_EQ(chmod(target.c_str(), 0600), 0);
  std::filesystem::create_symlink(target, dir.Path() / "link.lock");
  CLinuxSingleInstance linked((dir.Path() / "link.lock").string());
  EXPECT_FALSE(linked.Acquire());
  EXPECT_TRUE(CLinuxSingleInstance(target).Acquire());
  struct stat file {};
  ASSERT_EQ(stat(target.c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  EXPECT_EQ(test::ReadText(target), "keep");
}

// A user's copy and a sudo copy share one lock in a directory every user writes to, whoever made the file.
TEST(LinuxProcessServices, CopiesOfDifferentUsersExcludeEachOther)
{
  if (getuid() != 0) GTEST_SKIP() << "only root can run copies as other users";
  test::CScratchDir dir;
  ASSERT_EQ(chmod(dir.Path().c_str(), 01777), 0);
  const std::string path = (dir.Path() / "orvel-fwupdater.lock").string();
  const mode_t previousMask = umask(077);
  {
    COtherUserCopy user(kNobody, path);
    ASSERT_TRUE(user.Acquired());
    EXPECT_FALSE(CLinuxSingleInstance(path).Acquire());
    EXPECT_FALSE(COtherUserCopy(kOtherUser, path).Acquired());
  }
  EXPECT_TRUE(COtherUserCopy(kOtherUser, path).Acquired());
  {
    CLinuxSingleInstance root(path);
    ASSERT_TRUE(root.Acquire());
    EXPECT_FALSE(COtherUserCopy(kNobody, path).Acquired());
  }
  umask(previousMask);
  struct stat file {};
  ASSERT_EQ(stat(path.c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0644u);
  EXPECT_EQ(file.st_uid, kNobody);
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
  test::CInstalledVirtualClock clock;
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

// The fake inhibitor records what it was asked to inhibit and runs the command after its options, as
// systemd-inhibit does once logind granted the lock.
constexpr const char* kGrantingInhibitor =
    "#!/bin/sh\necho \"$1\" >\"$0.what\"\nwhile [ \"${1#--}\" != \"$1\" ]; do shift; done\nexec \"$@\"\n";

// One inhibitor while busy and no child left; refused (over SSH, by polkit), missing, or ended early: said at
// once and once, never silence.
TEST(LinuxProcessServices, KeepAwakeHoldsOneInhibitorWhileBusyAndWarnsWhenItCannot)
{
  ASSERT_FALSE(HasChildren());
  test::CScratchDir dir;
  std::vector<std::string> warnings;
  const auto warn = [&warnings](const std::string& text_I) { warnings.push_back(text_I); };
  const std::string inhibitor = dir.Write("inhibit", kGrantingInhibitor);
  const std::string refusing = dir.Write("refuse", "#!/bin/sh\necho 'Failed to inhibit: Access denied' >&2\nexit 1\n");
  const std::string ending = dir.Write("end", "#!/bin/sh\necho held\n");
  for (const std::string& script : {inhibitor, refusing, ending}) chmod(script.c_str(), 0700);
  {
    CLinuxKeepAwake keepAwake(warn, inhibitor);
    keepAwake.SetKeepAwake(true);
    keepAwake.SetKeepAwake(true);
    EXPECT_TRUE(keepAwake.IsHolding());
    EXPECT_EQ(test::ReadText(inhibitor + ".what"), "--what=sleep:shutdown:idle:handle-lid-switch\n");
    keepAwake.SetKeepAwake(false);
    EXPECT_FALSE(keepAwake.IsHolding() || HasChildren());
    keepAwake.SetKeepAwake(true);
    EXPECT_TRUE(keepAwake.IsHolding());
  }
  EXPECT_FALSE(HasChildren());
  EXPECT_TRUE(warnings.empty());

  CLinuxKeepAwake refused(warn, refusing);
  refused.SetKeepAwake(true);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("logind refused the inhibitor"), std::string::npos) << warnings[0];
  refused.SetKeepAwake(true);
  EXPECT_FALSE(refused.IsHolding() || HasChildren());

  CLinuxKeepAwake missing(warn, (dir.Path() / "no-such-program").string());
  missing.SetKeepAwake(true);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[1].find("could not be started"), std::string::npos) << warnings[1];
  EXPECT_FALSE(missing.IsHolding() || HasChildren());

  CLinuxKeepAwake ended(warn, ending);
  ended.SetKeepAwake(true);
  EXPECT_EQ(warnings.size(), 2u);
  // The inhibitor's process ends of itself a moment later; every tick looks.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ended.IsHolding() && std::chrono::steady_clock::now() < deadline) sched_yield();
  ended.SetKeepAwake(true);
  ASSERT_EQ(warnings.size(), 3u);
  EXPECT_NE(warnings[2].find("no longer kept awake"), std::string::npos) << warnings[2];
  EXPECT_FALSE(HasChildren());
}

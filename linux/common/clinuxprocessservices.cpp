#include "linux/common/clinuxprocessservices.h"

#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>

#include "app/localelanguage.h"
#include "common/assertion.h"
#include "common/cclock.h"

extern char** environ;

namespace orv {
namespace {

constexpr size_t kMaxSemaphoreName = 250;

std::string Environment(const char* name_I)
{
  const char* value = std::getenv(name_I);
  return value == nullptr ? std::string() : std::string(value);
}

std::string WithTrailingSlash(std::string directory_I)
{
  if (directory_I.back() != '/') directory_I += '/';
  return directory_I;
}

// The child's standard input is the pipe, its output goes nowhere, and it inherits no other descriptor.
bool AddFileActions(posix_spawn_file_actions_t& actions_IO, int input_I)
{
  return posix_spawn_file_actions_adddup2(&actions_IO, input_I, STDIN_FILENO) == 0 &&
         posix_spawn_file_actions_addopen(&actions_IO, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
         posix_spawn_file_actions_addopen(&actions_IO, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
         posix_spawn_file_actions_addclosefrom_np(&actions_IO, STDERR_FILENO + 1) == 0;
}

// Its own process group, default signal handling and no blocked signals, whatever this process set up.
bool SetAttributes(posix_spawnattr_t& attributes_IO)
{
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    sigaddset(&defaults, signal);
  }
  sigset_t none;
  sigemptyset(&none);
  return posix_spawnattr_setflags(&attributes_IO,
                                  POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0 &&
         posix_spawnattr_setpgroup(&attributes_IO, 0) == 0 &&
         posix_spawnattr_setsigdefault(&attributes_IO, &defaults) == 0 &&
         posix_spawnattr_setsigmask(&attributes_IO, &none) == 0;
}

}  // namespace

std::string CLinuxSingleInstance::DefaultLockPath()
{
  const std::string runtime = Environment("XDG_RUNTIME_DIR");
  if (!runtime.empty()) return WithTrailingSlash(runtime) + "orvel-fwupdater.lock";
  return "/tmp/orvel-fwupdater-" + std::to_string(getuid()) + ".lock";
}

CLinuxSingleInstance::CLinuxSingleInstance(std::string path_I) : mPath(std::move(path_I)) {}

CLinuxSingleInstance::~CLinuxSingleInstance()
{
  if (mFd >= 0) close(mFd);
}

// Two copies updating one board at a time would ruin it; a lock that cannot be taken at all therefore
// counts as held by another copy.
bool CLinuxSingleInstance::Acquire()
{
  if (mFd >= 0) return true;
  // No symbolic link: the fallback lies in a directory every user writes to.
  const int fd = open(mPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    DebugPrint("Cannot open the lock file %s (errno %d)\n", mPath.c_str(), errno);
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  mFd = fd;
  return true;
}

std::string CLinuxNamedEvents::SemaphoreName(const std::string& name_I)
{
  const size_t separator = name_I.rfind('\\');
  const std::string base = separator == std::string::npos ? name_I : name_I.substr(separator + 1);
  if (base.empty() || base.size() > kMaxSemaphoreName || base.find('/') != std::string::npos) return {};
  return "/" + base;
}

bool CLinuxNamedEvents::Signal(const std::string& name_I)
{
  const std::string name = SemaphoreName(name_I);
  if (name.empty()) return false;
  // Only the process that waits for the event creates it.
  sem_t* semaphore = sem_open(name.c_str(), 0);
  if (semaphore == SEM_FAILED) return false;
  const bool posted = sem_post(semaphore) == 0;
  sem_close(semaphore);
  if (!posted) return false;
  Pause(kSettleMs);
  return true;
}

std::string TemporaryDirectory()
{
  const std::string directory = Environment("TMPDIR");
  return directory.empty() ? "/tmp/" : WithTrailingSlash(directory);
}

std::tm LocalTime()
{
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  localtime_r(&now, &local);
  return local;
}

CLinuxUserLanguage::CLinuxUserLanguage()
    : mLangId(LocaleLangId(Environment("LC_ALL"), Environment("LC_MESSAGES"), Environment("LANG")))
{
}

CLinuxKeepAwake::CLinuxKeepAwake(std::string program_I) : mProgram(std::move(program_I)) {}

CLinuxKeepAwake::~CLinuxKeepAwake() { Release(); }

void CLinuxKeepAwake::SetKeepAwake(bool busy_I)
{
  if (!busy_I) {
    mBusy = false;
    Release();
    return;
  }
  // Called on every tick while busy: an inhibitor that could not be had is not asked for again until the
  // next busy period.
  if (mBusy) {
    ReapIfEnded();
    return;
  }
  mBusy = true;
  Start();
}

bool CLinuxKeepAwake::IsHolding()
{
  ReapIfEnded();
  return mChild > 0;
}

void CLinuxKeepAwake::Start()
{
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  const bool prepared = AddFileActions(actions, fds[0]) && SetAttributes(attributes);
  // "cat" holds the inhibitor until its standard input, the pipe, closes.
  std::array<std::string, 6> words = {mProgram, "--what=sleep:shutdown", "--who=orvel-fwupdater",
                                      "--why=Firmware update in progress", "--mode=block", "cat"};
  std::array<char*, words.size() + 1> arguments{};
  std::transform(words.begin(), words.end(), arguments.begin(), [](std::string& word_IO) { return word_IO.data(); });
  pid_t child = -1;
  const bool started =
      prepared && posix_spawnp(&child, mProgram.c_str(), &actions, &attributes, arguments.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(fds[0]);
  if (!started) {
    close(fds[1]);
    return;
  }
  mChild = child;
  mPipe = fds[1];
}

void CLinuxKeepAwake::Release()
{
  ReapIfEnded();
  if (mChild <= 0) return;
  close(mPipe);
  kill(mChild, SIGTERM);
  while (waitpid(mChild, nullptr, 0) < 0 && errno == EINTR) {
  }
  mChild = -1;
  mPipe = -1;
}

void CLinuxKeepAwake::ReapIfEnded()
{
  if (mChild <= 0) return;
  const pid_t ended = waitpid(mChild, nullptr, WNOHANG);
  // ECHILD: someone else reaped it (SIGCHLD ignored); the id may already name another process.
  if (ended != mChild && !(ended < 0 && errno == ECHILD)) return;
  close(mPipe);
  mChild = -1;
  mPipe = -1;
}

}  // namespace orv

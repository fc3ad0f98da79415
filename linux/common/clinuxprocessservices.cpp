#include "linux/common/clinuxprocessservices.h"

#include <fcntl.h>
#include <poll.h>
#include <semaphore.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/localelanguage.h"
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

constexpr const char* kNotAwake = "the machine is not kept awake during the update";
constexpr const char* kKeepItAwake = "; keep it from sleeping or shutting down until the update ends";

// The child's standard input is the pipe, its output the status pipe, its errors go nowhere, and it inherits
// no other descriptor.
bool AddFileActions(posix_spawn_file_actions_t& actions_IO, int input_I, int status_I)
{
  return posix_spawn_file_actions_adddup2(&actions_IO, input_I, STDIN_FILENO) == 0 &&
         posix_spawn_file_actions_adddup2(&actions_IO, status_I, STDOUT_FILENO) == 0 &&
         posix_spawn_file_actions_addopen(&actions_IO, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
         posix_spawn_file_actions_addclosefrom_np(&actions_IO, STDERR_FILENO + 1) == 0;
}

// Its own process group, default signal handling and no blocked signals, whatever this process set up.
bool SetAttributes(posix_spawnattr_t& attributes_IO)
{
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU}) {
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

// The lock lies in a directory every user writes to (sticky): no symbolic link is followed, and a file another
// user made is opened without O_CREAT, which the kernel refuses there even to root (protected_regular). Made
// here, it is readable by everyone whatever the umask, so that a copy of any other user can take the lock.
int OpenLockFile(const std::string& path_I)
{
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int existing = open(path_I.c_str(), kFlags);
    if (existing >= 0 || errno != ENOENT) return existing;
    const int created = open(path_I.c_str(), kFlags | O_CREAT | O_EXCL, 0644);
    if (created >= 0) {
      fchmod(created, 0644);
      return created;
    }
    // EEXIST: another copy made it meanwhile; open theirs.
    if (errno != EEXIST) return -1;
  }
  return -1;
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

std::string CLinuxSingleInstance::MachineLockPath() { return "/run/lock/orvel-fwupdater.lock"; }

// Two copies updating one board at a time would ruin it; a lock that cannot be taken at all therefore
// refuses the run as well, with its reason.
bool CLinuxSingleInstance::Acquire()
{
  if (mFd >= 0) return true;
  mError.clear();
  const int fd = OpenLockFile(mPath);
  if (fd < 0) {
    const int error = errno;
    struct stat existing {};
    const bool exists = lstat(mPath.c_str(), &existing) == 0;
    mError = "the lock " + mPath + (exists ? " cannot be opened (" : " cannot be created (") + std::strerror(error) +
             ")";
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // Only a lock held elsewhere is another copy; a file system without locks is a failure of its own.
    if (errno != EWOULDBLOCK) mError = "the lock " + mPath + " cannot be taken (" + std::strerror(errno) + ")";
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

CLinuxKeepAwake::CLinuxKeepAwake(Warn warn_I, std::string program_I)
    : mWarn(std::move(warn_I)), mProgram(std::move(program_I))
{
}

CLinuxKeepAwake::~CLinuxKeepAwake() { Release(); }

void CLinuxKeepAwake::SetKeepAwake(bool busy_I)
{
  if (!busy_I) {
    mBusy = false;
    Release();
    return;
  }
  // Called on every tick while busy: an inhibitor that could not be had, or ended, is not asked for again
  // until the next busy period.
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
  const std::string problem = Hold();
  if (!problem.empty()) mWarn(std::string(kNotAwake) + ": " + problem + kKeepItAwake);
}

std::string CLinuxKeepAwake::Hold()
{
  int input[2];
  int status[2];
  if (pipe2(input, O_CLOEXEC) != 0) return "no pipe for " + mProgram;
  if (pipe2(status, O_CLOEXEC) != 0) {
    close(input[0]);
    close(input[1]);
    return "no pipe for " + mProgram;
  }
  const bool started = Spawn(input[0], status[1]);
  close(input[0]);
  close(status[1]);
  mPipe = input[1];
  mStatus = status[0];
  if (!started || fcntl(mStatus, F_SETFL, O_NONBLOCK) != 0) {
    Release();
    return mProgram + " could not be started";
  }
  if (AwaitHeld()) return "";
  Release();
  return "logind refused the inhibitor or did not answer (as it may over SSH, or without polkit's permission)";
}

bool CLinuxKeepAwake::Spawn(int input_I, int status_I)
{
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  const bool prepared = AddFileActions(actions, input_I, status_I) && SetAttributes(attributes);
  // The shell says when the inhibitor is held; "cat" then holds it until its standard input, the pipe, closes.
  std::array<std::string, 8> words = {mProgram,      "--what=sleep:shutdown:idle:handle-lid-switch",
                                      "--who=orvel-fwupdater", "--why=Firmware update in progress",
                                      "--mode=block", "sh", "-c", "echo held && exec cat"};
  std::array<char*, words.size() + 1> arguments{};
  std::transform(words.begin(), words.end(), arguments.begin(), [](std::string& word_IO) { return word_IO.data(); });
  pid_t child = -1;
  const bool started =
      prepared && posix_spawnp(&child, mProgram.c_str(), &actions, &attributes, arguments.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (started) mChild = child;
  return started;
}

// The line comes once logind granted the inhibitor; the end of the pipe, when systemd-inhibit gave up.
bool CLinuxKeepAwake::AwaitHeld()
{
  pollfd ready{mStatus, POLLIN, 0};
  int polled = 0;
  while ((polled = poll(&ready, 1, kAnswerMs)) < 0 && errno == EINTR) {
  }
  std::array<char, 64> line{};
  return polled == 1 && read(mStatus, line.data(), line.size()) > 0;
}

void CLinuxKeepAwake::Release()
{
  if (mChild > 0 && !Ended()) {
    close(mPipe);
    mPipe = -1;
    kill(mChild, SIGTERM);
    while (waitpid(mChild, nullptr, 0) < 0 && errno == EINTR) {
    }
    mChild = -1;
  }
  Forget();
}

void CLinuxKeepAwake::ReapIfEnded()
{
  if (mChild <= 0 || !Ended()) return;
  mWarn("the machine is no longer kept awake: the logind inhibitor ended during the update" +
        std::string(kKeepItAwake));
}

// The inhibitor ends with the child or once its status pipe closes (logind gone, the child killed).
bool CLinuxKeepAwake::Ended()
{
  std::array<char, 64> drained{};
  const ssize_t count = read(mStatus, drained.data(), drained.size());
  const pid_t ended = waitpid(mChild, nullptr, WNOHANG);
  // ECHILD: someone else reaped it (SIGCHLD ignored); the id may already name another process.
  const bool gone = ended == mChild || (ended < 0 && errno == ECHILD);
  if (!gone && count != 0) return false;
  if (!gone) {
    kill(mChild, SIGTERM);
    waitpid(mChild, nullptr, 0);
  }
  mChild = -1;
  Forget();
  return true;
}

void CLinuxKeepAwake::Forget()
{
  for (int* fd : {&mPipe, &mStatus}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

}  // namespace orv

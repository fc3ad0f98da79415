// What the updater needs from the Linux process it runs in: one copy at a time, the named events of a
// cooperating process, the temporary directory, the user's language, the local time, and a machine that
// does not sleep or shut down while a board is in or near loader mode.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "app/cupdateview.h"
#include "app/languageprovider.h"
#include "common/fwupdater/cupdatecontroller.h"

namespace orv {

// An exclusive lock on a file, held until the object goes (the kernel drops it when the process ends).
class CLinuxSingleInstance {
 public:
  // "$XDG_RUNTIME_DIR/orvel-fwupdater.lock", else "/tmp/orvel-fwupdater-<uid>.lock".
  static std::string DefaultLockPath();

  explicit CLinuxSingleInstance(std::string path_I = DefaultLockPath());
  ~CLinuxSingleInstance();
  CLinuxSingleInstance(const CLinuxSingleInstance&) = delete;
  CLinuxSingleInstance& operator=(const CLinuxSingleInstance&) = delete;

  // False when another copy holds the lock, or when the lock file cannot be opened at all.
  bool Acquire();

 private:
  std::string mPath;
  int mFd = -1;
};

// The two events are POSIX named semaphores that the cooperating process creates: "Global\\Name" is
// "/Name".
class CLinuxNamedEvents : public CNamedEvents {
 public:
  static constexpr uint32_t kSettleMs = 1000;

  // Posts the semaphore when it exists and gives its owner a second to react; false at once otherwise.
  bool Signal(const std::string& name_I) override;
  // "/OrvelProStopEvent" for "Global\\OrvelProStopEvent"; empty for a name no semaphore can have.
  static std::string SemaphoreName(const std::string& name_I);
};

// $TMPDIR with a trailing '/', else "/tmp/".
std::string TemporaryDirectory();

std::tm LocalTime();

// The language of LC_ALL, LC_MESSAGES or LANG, read when constructed; both answers are the same.
class CLinuxUserLanguage : public CUserLanguage {
 public:
  CLinuxUserLanguage();
  uint16_t UILangId() const override { return mLangId; }
  uint32_t Lcid() const override { return mLangId; }

 private:
  uint16_t mLangId;
};

// Holds a logind inhibitor (sleep and shutdown) while busy, through a systemd-inhibit child process.
// Without systemd-inhibit or logind the machine is simply not held awake.
//
// The child keeps the inhibitor until its standard input, a pipe from this process, closes: it goes when
// released, and also when this process dies without releasing it. It runs in its own process group, so a
// Ctrl+C on the terminal (refused while busy) does not take the inhibitor away.
class CLinuxKeepAwake : public CKeepAwake {
 public:
  explicit CLinuxKeepAwake(std::string program_I = "systemd-inhibit");
  ~CLinuxKeepAwake() override;
  CLinuxKeepAwake(const CLinuxKeepAwake&) = delete;
  CLinuxKeepAwake& operator=(const CLinuxKeepAwake&) = delete;

  void SetKeepAwake(bool busy_I) override;
  // Whether the inhibitor process runs.
  bool IsHolding();

 private:
  void Start();
  void Release();
  void ReapIfEnded();

  std::string mProgram;
  bool mBusy = false;
  pid_t mChild = -1;
  int mPipe = -1;
};

}  // namespace orv

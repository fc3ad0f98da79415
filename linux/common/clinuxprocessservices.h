// What the updater needs from the Linux process it runs in: one copy at a time, the named events of a
// cooperating process, the temporary directory, the user's language, the local time, and a machine that
// does not sleep or shut down while a board is in or near loader mode.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "app/cupdateview.h"
#include "app/languageprovider.h"
#include "common/fwupdater/cupdatecontroller.h"

namespace orv {

// An exclusive lock on a file, held until the object goes (the kernel drops it when the process ends).
//
// The file is opened read-only and created readable by everyone, so copies run by different users (a user's
// and a sudo copy) can all open it and exclude each other.
class CLinuxSingleInstance {
 public:
  // "/run/lock/orvel-fwupdater.lock": every copy on the machine that touches attached devices shares it.
  static std::string MachineLockPath();
  // "$XDG_RUNTIME_DIR/orvel-fwupdater.lock", else "/tmp/orvel-fwupdater-<uid>.lock": for simulated runs,
  // which touch no device and may run side by side with each other and with a real run.
  static std::string DefaultLockPath();

  explicit CLinuxSingleInstance(std::string path_I = DefaultLockPath());
  ~CLinuxSingleInstance();
  CLinuxSingleInstance(const CLinuxSingleInstance&) = delete;
  CLinuxSingleInstance& operator=(const CLinuxSingleInstance&) = delete;

  // False when another copy holds the lock, or when the lock file cannot be opened at all.
  bool Acquire();
  // Empty when another copy holds the lock; else why it could not be taken.
  const std::string& GetError() const { return mError; }

 private:
  std::string mPath;
  int mFd = -1;
  std::string mError;
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

// Holds a logind inhibitor (sleep, shutdown, idle and the lid switch) while busy, through a systemd-inhibit
// child process. When there is none to be had (no systemd-inhibit, no logind, refused over SSH or by polkit)
// or it ends before the busy period does, the warning callback says so at once: the user must then keep the
// machine awake.
//
// The child runs a shell that writes one line once the inhibitor is held, then keeps it until its standard
// input, a pipe from this process, closes: it goes when released, and also when this process dies without
// releasing it. It runs in its own process group, so a Ctrl+C on the terminal (refused while busy) does not
// take the inhibitor away.
class CLinuxKeepAwake : public CKeepAwake {
 public:
  using Warn = std::function<void(const std::string& text_I)>;
  // How long logind may take to grant or refuse the inhibitor.
  static constexpr int kAnswerMs = 5000;

  explicit CLinuxKeepAwake(Warn warn_I, std::string program_I = "systemd-inhibit");
  ~CLinuxKeepAwake() override;
  CLinuxKeepAwake(const CLinuxKeepAwake&) = delete;
  CLinuxKeepAwake& operator=(const CLinuxKeepAwake&) = delete;

  void SetKeepAwake(bool busy_I) override;
  // Whether the inhibitor is held.
  bool IsHolding();

 private:
  void Start();
  // Empty when the inhibitor is held, else why not.
  std::string Hold();
  bool Spawn(int input_I, int status_I);
  bool AwaitHeld();
  void Release();
  void ReapIfEnded();
  // Whether the inhibitor ended; if so, its process is reaped and its pipes closed.
  bool Ended();
  void Forget();

  Warn mWarn;
  std::string mProgram;
  bool mBusy = false;
  pid_t mChild = -1;
  int mPipe = -1;
  int mStatus = -1;
};

}  // namespace orv

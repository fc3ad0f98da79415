// What the updater needs from the Windows process it runs in: one copy at a time, the named events of a
// cooperating process, the temporary directory, the local time, a machine that stays awake while a board is
// in or near loader mode, and the debugger output.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "app/cupdateview.h"
#include "common/fwupdater/cupdatecontroller.h"

namespace orv {

// The named mutex "OFWUMutex", created initially owned and held until the object goes.
class CWinSingleInstance {
 public:
  explicit CWinSingleInstance(std::string name_I = "OFWUMutex");
  ~CWinSingleInstance();
  CWinSingleInstance(const CWinSingleInstance&) = delete;
  CWinSingleInstance& operator=(const CWinSingleInstance&) = delete;

  // False when the mutex existed already (another copy runs), and when it cannot be created at all.
  bool Acquire();

 private:
  std::string mName;
  void* mMutex = nullptr;
};

// Events that a cooperating process creates ("Global\\OrvelProStopEvent", "Global\\OrvelProStartEvent"):
// opened with the right to set them only.
class CWinNamedEvents : public CNamedEvents {
 public:
  static constexpr uint32_t kSettleMs = 1000;

  // Sets the event when it exists and gives its owner a second to react; false at once otherwise.
  bool Signal(const std::string& name_I) override;
};

// GetTempPathW as UTF-8, ending in a backslash; empty (the working directory) when it fails.
std::string WinTemporaryDirectory();

std::tm WinLocalTime();

// kernel32's power request, as a table tests can bind; the call keeps its Windows name and flags.
class CWinPowerCalls {
 public:
  virtual ~CWinPowerCalls() = default;
  virtual uint32_t SetThreadExecutionState(uint32_t flags_I) = 0;
};

// The system's own table.
std::shared_ptr<CWinPowerCalls> WinPowerCalls();

// SetThreadExecutionState on the calling thread: system and display kept on while busy.
class CWinKeepAwake : public CKeepAwake {
 public:
  explicit CWinKeepAwake(std::shared_ptr<CWinPowerCalls> calls_I = WinPowerCalls()) : mCalls(std::move(calls_I)) {}
  ~CWinKeepAwake() override;
  CWinKeepAwake(const CWinKeepAwake&) = delete;
  CWinKeepAwake& operator=(const CWinKeepAwake&) = delete;
  void SetKeepAwake(bool busy_I) override;

 private:
  std::shared_ptr<CWinPowerCalls> mCalls;
};

// Sends the debugger lines (the assertion report) to OutputDebugStringA.
void InstallWinDebugOutput();

// Windows 7 (6.1) or later.
bool IsSupportedWindows();

}  // namespace orv

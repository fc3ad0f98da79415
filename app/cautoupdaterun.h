// The automatic update run: selects the device the start-up options name, then for each entry of the
// automatic update list loads the board's update file, updates the board on a worker thread, follows the
// update state on a 500 ms timer and ends with a message and an end code (0 success, 1 error, 2 cancelled).
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/cupdateview.h"
#include "app/languageprovider.h"
#include "app/startupoptions.h"
#include "common/fwupdater/cdeviceevents.h"
#include "common/fwupdater/clogupdatenotifier.h"
#include "common/fwupdater/cupdatecontroller.h"

namespace orv {

// A UI string by id in a language; the default reads the built-in tables.
using UiStringLoader = std::function<std::u16string(uint16_t id_I, uint16_t langId_I)>;

struct SRunEnvironment {
  std::unique_ptr<CDiscovery> discovery;
  std::shared_ptr<CDeviceEventSource> events;
  std::shared_ptr<CNamedEvents> namedEvents;
  std::shared_ptr<const CUserLanguage> userLanguage;
  CKeepAwake* keepAwake = nullptr;
  // Where the texts come from (the Windows program reads its string-table resources).
  UiStringLoader loadString;
};

class CAutoUpdateRun : public CDeviceEventSink {
 public:
  static constexpr uint32_t kTimerMs = 500;
  // How soon the own loop hands on an arrival or removal, as a window's messages are handled when they come.
  static constexpr uint32_t kEventCheckMs = 10;
  static constexpr uint32_t kSuccessPauseMs = 10000;
  static constexpr uint16_t kVersion = 0x0309;

  CAutoUpdateRun(const StartupOptions& options_I, CUpdateView& view_I, CLogUpdateNotifier& notifier_I,
                 SRunEnvironment environment_I);
  ~CAutoUpdateRun() override;
  CAutoUpdateRun(const CAutoUpdateRun&) = delete;
  CAutoUpdateRun& operator=(const CAutoUpdateRun&) = delete;

  // Everything checkable without touching a board: the device is attached and matches, every board of the
  // list is present on it, every file loads and fits its board. False when the run cannot go ahead, which
  // Start then says as the run's end; Start checks by itself when nobody checked before.
  bool Check();
  // Runs to the end on its own 500 ms loop and returns the end code.
  int Run();
  // The same run driven by a window's timer: Start once (false when the run ended already), Step on every
  // tick until it returns false, then Finish, which returns the end code.
  bool Start();
  bool Step();
  int Finish();
  // The user asks to cancel or close: refused (false) while a board is in or near loader mode, otherwise
  // the run ends (true) with 2 and its message. A board that finished before the request counts as updated;
  // a run whose boards are all updated ends with its success, and one that failed already with its failure.
  bool Cancel();
  // Windows asks whether the user's session may end: not while a board is busy. Otherwise yes, and no board
  // starts until Windows says whether it ends (EndSession) or goes on (SessionGoesOn): Windows asks every
  // program first, which may take a while.
  bool MaySessionEnd();
  void SessionGoesOn() { mSessionMayEnd = false; }
  // The user's session ends: as Cancel, without the notice. The run's end code once it has ended; empty while
  // a board is busy.
  std::optional<int> EndSession();
  // The last worker has not yet returned; the run's end waits for it without blocking its window.
  bool IsWorkerRunning() const { return mWorker.joinable() && !mWorkerDone; }
  // What the run did, for its result: the list, how many of its boards were updated, whether the board after
  // them was being updated when the run ended, the message shown last, and the versions the boards reported.
  const std::vector<std::u16string>& GetAutoUpdates() const { return mAutoUpdates; }
  size_t GetUpdatedCount() const { return mUpdatedCount; }
  bool IsCurrentStarted() const { return mCurrentStarted; }
  const std::u16string& GetMessage() const { return mMessage; }
  std::shared_ptr<CDevice> GetSelectedDevice() const { return mController.GetSelectedDevice(); }
  // Per board (pen, touch, bluetooth, scalar): what it reported before and after its update; empty when unknown.
  const std::array<std::string, 4>& GetVersionsBefore() const { return mVersionsBefore; }
  const std::array<std::string, 4>& GetVersionsAfter() const { return mVersionsAfter; }
  // A board is in or near loader mode: a started worker is about to switch it there, or has not yet seen it
  // back after its success. No cancelling, no closing, no ending the session.
  bool IsBusy();
  std::u16string Text(uint16_t id_I) const;
  static std::u16string VersionText();

  void OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I) override;
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I) override;

 private:
  // Why the run cannot go ahead: the message and its detail; no message when it can.
  struct SRefusal {
    uint16_t messageId = 0;
    std::string detail;
  };
  SRefusal CheckDeviceAndFiles();
  SRefusal HandlePassedParameters();
  bool SelectDeviceByTestPids();
  std::string NoDeviceReason(const DeviceList& devices_I) const;
  static std::string AttachedProductIds(const DeviceList& devices_I);
  SRefusal CheckUpdateFiles();
  static std::string MissingBoard(const CDevice& device_I, int32_t type_I, const std::string& name_I);
  std::string UpdateFileOf(const CDevice& device_I, int32_t type_I) const;
  std::string BoardVersion(int32_t board_I) const;
  void ReformatForAutoStart();
  void StartCurrentUpdate();
  void StartWorker();
  void JoinWorker();
  void Tick();
  void ShowUpdating();
  void ShowFirstStep();
  void ShowBoardProgress(int32_t percent_I);
  uint64_t PausesAheadMs(uint64_t nowMs_I) const;
  bool AccountFinishedBoard();
  void NextBoardAfterPause();
  void End(uint16_t messageId_I, EMessageIcon icon_I, int endCode_I, const std::string& detail_I = "");
  void EndWith(const std::u16string& message_I, EMessageIcon icon_I, int endCode_I);
  void HandleCancelRequest();
  // Gives the tablet's driver its device back (the start event), once.
  void ResumeDriver();

  CUpdateView& mView;
  CLogUpdateNotifier& mNotifier;
  CUpdateController mController;
  SRunEnvironment mEnvironment;
  CLanguageProvider mLanguage;
  std::u16string mTitle;
  StartupOptions mOptions;
  std::vector<std::u16string> mAutoUpdates;
  size_t mCurrentAutoUpdate = 0;
  std::thread mWorker;
  // The last worker has returned (set by the worker, read by the run's thread).
  std::atomic<bool> mWorkerDone{false};
  bool mStartRequested = false;
  bool mSessionMayEnd = false;
  bool mDriverResumed = false;
  bool mChecked = false;
  bool mListed = false;
  SRefusal mRefusal;
  bool mAutomaticMode = false;
  int mDots = 1;
  int mEndCode = -1;
  std::u16string mMessage;
  size_t mUpdatedCount = 0;
  bool mCurrentStarted = false;
  uint64_t mStartMs = 0;
  // When the pause after a finished board ends: the window keeps ticking (and answering) meanwhile.
  uint64_t mNextBoardAtMs = 0;
  // When the current board's worker started; how long the finished boards took, and how much of it the run
  // spent programming up to the last of them: what is left went to switching boards and waiting for them.
  uint64_t mBoardStartMs = 0;
  uint64_t mFinishedBoardsMs = 0;
  uint64_t mProgrammingMsAtFinish = 0;
  // Bytes each list entry's image holds, from the check before the first board is touched.
  std::vector<uint64_t> mImageBytes;
  std::array<std::string, 4> mVersionsBefore;
  std::array<std::string, 4> mVersionsAfter;
};

}  // namespace orv

// The run of "-quiet", and of a process that no user can see: no window appears and nothing waits for a
// click. The status, every whole percent of progress and the final message go to the run's log instead.
// A hidden top-level window, never shown, receives what Windows tells a program (the end of the session,
// device arrivals and removals) and carries the run's timer: the session may not end while a board is in
// or near loader mode, as with the dialog; one that ends all the same ends the run as the dialog does.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/cautoupdaterun.h"
#include "app/cupdateview.h"
#include "win/fwupdater/cwindevicemessages.h"

namespace orv {

class CWinQuietUpdater : public CUpdateView {
 public:
  static constexpr UINT_PTR kTimerId = 1;

  // endSession_I: as for CDialogFirmwareUpdater.
  explicit CWinQuietUpdater(uint32_t timerMs_I = CAutoUpdateRun::kTimerMs,
                            const std::function<bool()>* endSession_I = nullptr)
      : mTimerMs(timerMs_I), mEndSession(endSession_I)
  {
  }
  ~CWinQuietUpdater() override;
  CWinQuietUpdater(const CWinQuietUpdater&) = delete;
  CWinQuietUpdater& operator=(const CWinQuietUpdater&) = delete;

  // Drives the run until it ends; its end code, or -1 when the window cannot be made.
  int Run(CAutoUpdateRun& run_I);
  // The hidden window while the run lasts; null otherwise.
  HWND Window() const { return mWindow; }

  void SetTitle(const std::u16string& /*title_I*/) override {}
  void ShowProgressLayout(const std::array<std::u16string, 3>& /*warnings_I*/) override {}
  void SetStatus(const std::u16string& status_I) override;
  void SetProgress(int32_t percent_I) override;
  void EnableClose(bool /*enable_I*/) override {}
  void ShowMessage(const std::u16string& text_I, const std::u16string& caption_I, EMessageIcon icon_I) override;
  bool TakeCancelRequest() override { return false; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window_I, UINT message_I, WPARAM wParam_I, LPARAM lParam_I);
  LRESULT OnMessage(HWND window_I, UINT message_I, WPARAM wParam_I, LPARAM lParam_I);
  void OnTimer();
  void Conclude();

  uint32_t mTimerMs;
  const std::function<bool()>* mEndSession;
  CAutoUpdateRun* mRun = nullptr;
  HWND mWindow = nullptr;
  CWinDeviceNotifications mNotifications;
  // The run has ended and waits for its worker; then its end code.
  bool mEnding = false;
  int mEndCode = -1;
  // What the log was told last: the status without its dots, the progress.
  std::u16string mStatus;
  int32_t mPercent = -1;
};

}  // namespace orv

// The main window: a modal dialog (template 101) that shows an automatic update run. It finds a copy of
// itself already on screen, listens for device interfaces of the HID class and of the bulk boards' class,
// rearranges itself into the compact progress window, and drives the run from a 500 ms timer that never
// blocks; the run's end code ends the dialog. Cancel and close are refused while a board is in or near
// loader mode, and so is the end of the user's session. A session that ends all the same ends the run where
// it stands, its result recorded before the window answers: Windows ends the process right after.
#pragma once

#include <functional>
#include <string>

#include "app/cautoupdaterun.h"
#include "app/cupdateview.h"
#include "win/common/dialogbase.h"
#include "win/fwupdater/cwindevicemessages.h"

namespace orv {

class CDialogFirmwareUpdater : public CDialogBase<CDialogFirmwareUpdater>, public CUpdateView {
 public:
  static constexpr UINT_PTR kTimerId = 1;
  // The automatic layout in pixels at 96 DPI: the window and where its controls go.
  static constexpr int kWidth = 413;
  static constexpr int kHeight = 290;

  // timerMs_I: the timer period (shorter when simulated time runs faster); endSession_I: what ends the run
  // and records it when the user's session ends, true when it did (SApplicationPorts::endSession).
  explicit CDialogFirmwareUpdater(uint32_t timerMs_I = CAutoUpdateRun::kTimerMs,
                                  const std::function<bool()>* endSession_I = nullptr)
      : mTimerMs(timerMs_I), mEndSession(endSession_I)
  {
  }

  // Shows the run in the dialog until it ends; its end code, or -1 when the window cannot be made.
  int Run(CAutoUpdateRun& run_I);

  void SetTitle(const std::u16string& title_I) override;
  void ShowProgressLayout(const std::array<std::u16string, 3>& warnings_I) override;
  void SetStatus(const std::u16string& status_I) override;
  void SetProgress(int32_t percent_I) override;
  void EnableClose(bool enable_I) override;
  void ShowMessage(const std::u16string& text_I, const std::u16string& caption_I, EMessageIcon icon_I) override;
  // Cancel and close act at once (OnCancel), not on the next tick.
  bool TakeCancelRequest() override { return false; }

  INT_PTR OnMessage(UINT message_I, WPARAM wParam_I, LPARAM lParam_I);

 private:
  void OnInitDialog();
  bool BringExistingCopyForward();
  void OnTimer();
  void OnCancel();
  void OnEndSession();
  void Conclude();
  int Scaled(int pixels_I) const;
  void Place(int id_I, int x_I, int y_I, int width_I = -1, int height_I = -1);

  uint32_t mTimerMs;
  const std::function<bool()>* mEndSession;
  CAutoUpdateRun* mRun = nullptr;
  CWinDeviceNotifications mNotifications;
  // The run is in a tick or a cancel; message boxes it shows must not start another.
  bool mInRun = false;
  // The run has ended and the dialog waits for its worker; the dialog has ended.
  bool mEnding = false;
  bool mEnded = false;
  bool mCloseEnabled = true;
  // The session ends: no box may wait for a click.
  bool mSessionEnding = false;
};

}  // namespace orv

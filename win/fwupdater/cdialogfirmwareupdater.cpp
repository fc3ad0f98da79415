#include "win/fwupdater/cdialogfirmwareupdater.h"

#include <commctrl.h>

#include "app/uistrings.h"
#include "win/fwupdater/resource.h"

namespace orv {
namespace {

LPCWSTR Wide(const std::u16string& text_I) { return reinterpret_cast<LPCWSTR>(text_I.c_str()); }

}  // namespace

int CDialogFirmwareUpdater::Run(CAutoUpdateRun& run_I)
{
  mRun = &run_I;
  // The dialog ends with the finished run's end code (Conclude).
  const INT_PTR code = DoModal(IDD_FIRMWAREUPDATER);
  mRun = nullptr;
  return static_cast<int>(code);
}

INT_PTR CDialogFirmwareUpdater::OnMessage(UINT message_I, WPARAM wParam_I, LPARAM lParam_I)
{
  switch (message_I) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case WM_TIMER:
      if (wParam_I == kTimerId) OnTimer();
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam_I) == IDCANCEL) OnCancel();
      return TRUE;
    case WM_CLOSE:
      OnCancel();
      return TRUE;
    case WM_QUERYENDSESSION:
      return Answer(mRun->MaySessionEnd() ? TRUE : FALSE);
    case WM_ENDSESSION:
      if (wParam_I) {
        OnEndSession();
      } else {
        mRun->SessionGoesOn();
      }
      return TRUE;
    case WM_DEVICECHANGE:
      DeliverDeviceChange(wParam_I, lParam_I, *mRun);
      return Answer(TRUE);
    case WM_DESTROY:
      KillTimer(mWindow, kTimerId);
      mNotifications.Unregister();
      return FALSE;
    default:
      return FALSE;
  }
}

void CDialogFirmwareUpdater::OnInitDialog()
{
  mEnded = mEnding = false;
  if (BringExistingCopyForward()) {
    mEnded = true;
    EndDialog(mWindow, 1);
    return;
  }
  mNotifications.Register(mWindow);
  for (const int id : {IDC_WARNING_POWER, IDC_WARNING_CABLES, IDC_UNNAMED}) ShowWindow(GetDlgItem(mWindow, id), SW_HIDE);
  SendDlgItemMessageW(mWindow, IDC_PROGRESS, PBM_SETRANGE32, 0, 100);
  if (!mRun->Start()) {
    Conclude();
    return;
  }
  SetTimer(mWindow, kTimerId, mTimerMs, nullptr);
}

// A window of another copy (the full title, with the version) is brought forward, and this one ends.
bool CDialogFirmwareUpdater::BringExistingCopyForward()
{
  const std::u16string title = mRun->Text(EUISTRING_TITLE) + u" " + CAutoUpdateRun::VersionText();
  const HWND existing = FindWindowW(nullptr, Wide(title));
  if (existing == nullptr || existing == mWindow) return false;
  if (IsIconic(existing)) ShowWindow(existing, SW_RESTORE);
  SetForegroundWindow(existing);
  return true;
}

// Every wait of the run (the pause between boards, a worker letting go of its board) is a deadline looked
// at on the next tick: the window repaints and answers throughout.
void CDialogFirmwareUpdater::OnTimer()
{
  if (mInRun || mEnded) return;
  if (mEnding) {
    Conclude();
    return;
  }
  mInRun = true;
  const bool going = mRun->Step();
  mInRun = false;
  if (!going) Conclude();
}

// A message box the run shows runs its own message loop: a second Cancel or Close meanwhile must not start
// another.
void CDialogFirmwareUpdater::OnCancel()
{
  if (mInRun || mEnded || mEnding) return;
  mInRun = true;
  const bool ended = mRun->Cancel();
  mInRun = false;
  if (ended) Conclude();
}

// Refused or not, the session ends now; unless a board is busy the run ends and is recorded first.
void CDialogFirmwareUpdater::OnEndSession()
{
  if (mEnded || mEndSession == nullptr || !*mEndSession) return;
  mSessionEnding = true;
  if ((*mEndSession)()) Conclude();
}

// The run has shown its message; the dialog ends once its worker has returned, polled by the timer.
void CDialogFirmwareUpdater::Conclude()
{
  mEnding = true;
  if (mRun->IsWorkerRunning()) {
    SetTimer(mWindow, kTimerId, mTimerMs, nullptr);
    return;
  }
  mEnded = true;
  KillTimer(mWindow, kTimerId);
  EndDialog(mWindow, mRun->Finish());
}

void CDialogFirmwareUpdater::SetTitle(const std::u16string& title_I) { SetWindowTextW(mWindow, Wide(title_I)); }

// The layout's pixels are those of a 96 DPI screen; a larger setting scales them as it scales the font.
int CDialogFirmwareUpdater::Scaled(int pixels_I) const
{
  const HDC screen = GetDC(mWindow);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(mWindow, screen);
  return MulDiv(pixels_I, dpi > 0 ? dpi : 96, 96);
}

void CDialogFirmwareUpdater::Place(int id_I, int x_I, int y_I, int width_I, int height_I)
{
  const UINT keepSize = width_I < 0 ? SWP_NOSIZE : 0;
  SetWindowPos(GetDlgItem(mWindow, id_I), nullptr, Scaled(x_I), Scaled(y_I), width_I < 0 ? 0 : Scaled(width_I),
               height_I < 0 ? 0 : Scaled(height_I), SWP_NOZORDER | SWP_NOACTIVATE | keepSize);
}

void CDialogFirmwareUpdater::ShowProgressLayout(const std::array<std::u16string, 3>& warnings_I)
{
  SetDlgItemTextW(mWindow, IDC_WARNING_POWER, Wide(warnings_I[0]));
  SetDlgItemTextW(mWindow, IDC_WARNING_CABLES, Wide(warnings_I[1]));
  SetWindowTextW(GetDlgItem(mWindow, IDC_UNNAMED), Wide(warnings_I[2]));
  for (int id = IDC_FIRMWARE_GROUP; GetDlgItem(mWindow, id) != nullptr; ++id) ShowWindow(GetDlgItem(mWindow, id), SW_HIDE);
  for (const int id : {IDC_STATUS, IDC_PROGRESS, IDC_CORNER, IDC_WARNING_POWER, IDC_WARNING_CABLES, IDC_UNNAMED,
                       IDC_ICON_POWER, IDC_ICON_CABLES, IDC_ICON_BUTTONS}) {
    ShowWindow(GetDlgItem(mWindow, id), SW_SHOW);
  }
  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  const int width = Scaled(kWidth);
  const int height = Scaled(kHeight);
  SetWindowPos(mWindow, nullptr, (desktop.right - desktop.left) / 2 - width / 2,
               (desktop.bottom - desktop.top) / 2 - height / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  Place(IDC_STATUS, 7, 7);
  Place(IDC_PROGRESS, 7, 35);
  Place(IDC_CORNER, 0, 0);
  Place(IDC_WARNING_POWER, 105, 100, 270, 33);
  Place(IDC_WARNING_CABLES, 105, 147, 270, 33);
  Place(IDC_UNNAMED, 105, 194, 270, 33);
  Place(IDC_ICON_POWER, 61, 84);
  Place(IDC_ICON_CABLES, 61, 132);
  Place(IDC_ICON_BUTTONS, 61, 181);
}

void CDialogFirmwareUpdater::SetStatus(const std::u16string& status_I) { SetDlgItemTextW(mWindow, IDC_STATUS, Wide(status_I)); }

void CDialogFirmwareUpdater::SetProgress(int32_t percent_I)
{
  SendDlgItemMessageW(mWindow, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent_I), 0);
}

void CDialogFirmwareUpdater::EnableClose(bool enable_I)
{
  if (enable_I == mCloseEnabled) return;
  mCloseEnabled = enable_I;
  EnableMenuItem(GetSystemMenu(mWindow, FALSE), SC_CLOSE, MF_BYCOMMAND | (enable_I ? MF_ENABLED : MF_GRAYED));
  for (const int id : {IDC_UPDATE, IDC_BROWSE, IDC_UPDATE_TYPE}) EnableWindow(GetDlgItem(mWindow, id), enable_I);
  // The caption's close button shows the change only when the frame is drawn again.
  SetWindowPos(mWindow, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// Every message ends the run: the timer stops first, so the message box's own message loop runs no tick.
void CDialogFirmwareUpdater::ShowMessage(const std::u16string& text_I, const std::u16string& caption_I,
                                         EMessageIcon icon_I)
{
  KillTimer(mWindow, kTimerId);
  if (mSessionEnding) return;
  MessageBoxW(mWindow, Wide(text_I), Wide(caption_I),
              MB_OK | (icon_I == EMESSAGEICON_INFORMATION ? MB_ICONINFORMATION : MB_ICONERROR));
}

}  // namespace orv

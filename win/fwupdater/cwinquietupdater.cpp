#include "win/fwupdater/cwinquietupdater.h"

#include "common/assertion.h"
#include "common/textconversion.h"
#include "win/fwupdater/cwindevicemessages.h"

namespace orv {
namespace {

constexpr const wchar_t* kWindowClass = L"OrvelFWUpdaterQuiet";

// The status line's dots only show that the run is alive; the log names each status once.
std::u16string WithoutDots(std::u16string status_I)
{
  while (!status_I.empty() && status_I.back() == u'.') status_I.pop_back();
  return status_I;
}

}  // namespace

CWinQuietUpdater::~CWinQuietUpdater()
{
  if (mWindow != nullptr) DestroyWindow(mWindow);
}

int CWinQuietUpdater::Run(CAutoUpdateRun& run_I)
{
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassW(&windowClass);
  // Top-level, so that it is asked whether the session may end (a message-only window is not); never shown.
  mWindow = CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
  if (mWindow == nullptr) return -1;
  mRun = &run_I;
  mEnding = false;
  mEndCode = -1;
  mNotifications.Register(mWindow);
  if (mRun->Start()) {
    SetTimer(mWindow, kTimerId, mTimerMs, nullptr);
  } else {
    Conclude();
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  mRun = nullptr;
  return mEndCode;
}

LRESULT CALLBACK CWinQuietUpdater::WindowProc(HWND window_I, UINT message_I, WPARAM wParam_I, LPARAM lParam_I)
{
  if (message_I == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam_I);
    SetWindowLongPtrW(window_I, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<CWinQuietUpdater*>(GetWindowLongPtrW(window_I, GWLP_USERDATA));
  if (self == nullptr || self->mRun == nullptr) return DefWindowProcW(window_I, message_I, wParam_I, lParam_I);
  return self->OnMessage(window_I, message_I, wParam_I, lParam_I);
}

LRESULT CWinQuietUpdater::OnMessage(HWND window_I, UINT message_I, WPARAM wParam_I, LPARAM lParam_I)
{
  switch (message_I) {
    case WM_TIMER:
      if (wParam_I == kTimerId) OnTimer();
      return 0;
    case WM_QUERYENDSESSION:
      if (mRun->MaySessionEnd()) return TRUE;
      DebugPrint("The end of the session was refused: a board is in or near loader mode\n");
      return FALSE;
    case WM_ENDSESSION:
      if (!wParam_I) mRun->SessionGoesOn();
      if (wParam_I && mEndSession != nullptr && *mEndSession && (*mEndSession)()) Conclude();
      return 0;
    case WM_DEVICECHANGE:
      DeliverDeviceChange(wParam_I, lParam_I, *mRun);
      return TRUE;
    case WM_CLOSE:
      // Asked to stop (by a deployment tool, say): a cancel, refused while a board is busy.
      if (!mEnding && mRun->Cancel()) Conclude();
      return 0;
    case WM_DESTROY:
      KillTimer(window_I, kTimerId);
      mNotifications.Unregister();
      mWindow = nullptr;
      // The loop may be waiting in GetMessageW, as when the window is destroyed from a message sent by another
      // program: only a posted message wakes it.
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_I, message_I, wParam_I, lParam_I);
  }
}

void CWinQuietUpdater::OnTimer()
{
  if (mEnding) {
    Conclude();
    return;
  }
  if (!mRun->Step()) Conclude();
}

// The run has logged its message; the loop ends once its worker has returned, polled by the timer.
void CWinQuietUpdater::Conclude()
{
  mEnding = true;
  if (mRun->IsWorkerRunning()) {
    SetTimer(mWindow, kTimerId, mTimerMs, nullptr);
    return;
  }
  mEndCode = mRun->Finish();
  DestroyWindow(mWindow);
}

void CWinQuietUpdater::SetStatus(const std::u16string& status_I)
{
  const std::u16string status = WithoutDots(status_I);
  if (status == mStatus) return;
  mStatus = status;
  DebugPrint("Status: %s\n", WideToUtf8(status).c_str());
}

void CWinQuietUpdater::SetProgress(int32_t percent_I)
{
  if (percent_I == mPercent) return;
  mPercent = percent_I;
  DebugPrint("Progress: %d%%\n", static_cast<int>(percent_I));
}

void CWinQuietUpdater::ShowMessage(const std::u16string& text_I, const std::u16string& /*caption_I*/, EMessageIcon icon_I)
{
  DebugPrint("%s: %s\n", icon_I == EMESSAGEICON_INFORMATION ? "Message" : "Error message", WideToUtf8(text_I).c_str());
}

}  // namespace orv

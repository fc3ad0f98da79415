#include "win/fwupdater/cwinrecording.h"

#include <dbt.h>

#include "win/fwupdater/cwindevicemessages.h"
#include "win/fwupdater/deviceclasses.h"

namespace orv {
namespace {

constexpr const wchar_t* kWindowClass = L"OrvelFWUpdaterRecording";

}  // namespace

CWinRecording::~CWinRecording()
{
  if (mHidNotification != nullptr) UnregisterDeviceNotification(mHidNotification);
  if (mBulkNotification != nullptr) UnregisterDeviceNotification(mBulkNotification);
  if (mWindow != nullptr) DestroyWindow(mWindow);
}

bool CWinRecording::Open(const std::string& file_I, CD2XX& d2xx_I, std::string& error_O)
{
  mRecorder = OpenRecording(file_I, error_O);
  if (!mRecorder) return false;
  mD2XX = RecordingD2XX(d2xx_I, mRecorder);
  // Without the window the recording still holds every transfer, and a replay finds the boards by listing.
  Listen();
  return true;
}

void CWinRecording::Listen()
{
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
  mWindow = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  if (mWindow == nullptr) return;
  SetWindowLongPtrW(mWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  mHidNotification = RegisterDeviceChanges(mWindow, kHidInterfaceClass);
  mBulkNotification = RegisterDeviceChanges(mWindow, kBulkInterfaceClass);
}

LRESULT CALLBACK CWinRecording::WindowProc(HWND window_I, UINT message_I, WPARAM wParam_I, LPARAM lParam_I)
{
  auto* recording = reinterpret_cast<CWinRecording*>(GetWindowLongPtrW(window_I, GWLP_USERDATA));
  if (message_I != WM_DEVICECHANGE || recording == nullptr) return DefWindowProcW(window_I, message_I, wParam_I, lParam_I);
  recording->OnDeviceChange(wParam_I, lParam_I);
  return TRUE;
}

void CWinRecording::OnDeviceChange(WPARAM event_I, LPARAM data_I)
{
  if (event_I != DBT_DEVICEARRIVAL && event_I != DBT_DEVICEREMOVECOMPLETE) return;
  std::string path;
  EDeviceClass deviceClass = EDEVICECLASS_HID;
  if (ReadDeviceChange(data_I, path, deviceClass)) mRecorder->WriteEvent(event_I == DBT_DEVICEARRIVAL, deviceClass, path);
}

}  // namespace orv

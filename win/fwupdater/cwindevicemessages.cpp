#include "win/fwupdater/cwindevicemessages.h"

#include <dbt.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "common/assertion.h"
#include "common/textconversion.h"
#include "win/fwupdater/deviceclasses.h"

namespace orv {

HDEVNOTIFY RegisterDeviceChanges(HWND window_I, const GUID& class_I)
{
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof(filter);
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = class_I;
  return RegisterDeviceNotificationW(window_I, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

bool ReadDeviceChange(LPARAM data_I, std::string& path_O, EDeviceClass& class_O)
{
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data_I);
  if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return false;
  constexpr size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
  if (header->dbch_size < kNameOffset) return false;
  const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
  const size_t capacity = (header->dbch_size - kNameOffset) / sizeof(wchar_t);
  std::u16string name(reinterpret_cast<const char16_t*>(device->dbcc_name), capacity);
  name.resize(std::min(name.size(), name.find(u'\0')));
  path_O = WideToUtf8(name);
  class_O = IsEqualGUID(device->dbcc_classguid, kBulkInterfaceClass) ? EDEVICECLASS_BULK : EDEVICECLASS_HID;
  return true;
}

void DeliverDeviceChange(WPARAM event_I, LPARAM data_I, CDeviceEventSink& sink_I)
{
  if (event_I != DBT_DEVICEARRIVAL && event_I != DBT_DEVICEREMOVECOMPLETE) return;
  std::string path;
  EDeviceClass deviceClass = EDEVICECLASS_HID;
  if (!ReadDeviceChange(data_I, path, deviceClass)) return;
  if (event_I == DBT_DEVICEARRIVAL) {
    sink_I.OnInterfaceArrival(path, deviceClass);
  } else {
    sink_I.OnInterfaceRemoval(path, deviceClass);
  }
}

void CWinDeviceNotifications::Register(HWND window_I)
{
  mHid = RegisterDeviceChanges(window_I, kHidInterfaceClass);
  if (mHid == nullptr) ORV_ASSERT_MESSAGE("CANNOT REGISTER FOR HID DEVICE NOTIFICATION");
  mBulk = RegisterDeviceChanges(window_I, kBulkInterfaceClass);
  if (mBulk == nullptr) ORV_ASSERT_MESSAGE("CANNOT REGISTER FOR ORVEL DEVICE NOTIFICATION");
}

void CWinDeviceNotifications::Unregister()
{
  if (mHid != nullptr) UnregisterDeviceNotification(mHid);
  if (mBulk != nullptr) UnregisterDeviceNotification(mBulk);
  mHid = mBulk = nullptr;
}

CWinDeviceMessages::CWinDeviceMessages(std::shared_ptr<CDeviceEventSource> simulated_I, std::function<HWND()> window_I)
    : mSimulated(std::move(simulated_I)), mWindow(std::move(window_I))
{
}

void CWinDeviceMessages::Subscribe(CDeviceEventSink* /*sink_I*/) { mSimulated->Subscribe(this); }

void CWinDeviceMessages::Unsubscribe(CDeviceEventSink* /*sink_I*/) { mSimulated->Unsubscribe(this); }

void CWinDeviceMessages::OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I)
{
  Send(DBT_DEVICEARRIVAL, path_I, class_I);
}

void CWinDeviceMessages::OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I)
{
  Send(DBT_DEVICEREMOVECOMPLETE, path_I, class_I);
}

// The message carries the interface's class and its name, zero-terminated, at the end of the structure.
void CWinDeviceMessages::Send(WPARAM event_I, const std::string& path_I, EDeviceClass class_I)
{
  const HWND window = mWindow();
  if (window == nullptr) return;
  const std::u16string name = Utf8ToWide(path_I);
  constexpr size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
  const size_t size = std::max(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W), kNameOffset + (name.size() + 1) * sizeof(wchar_t));
  std::vector<unsigned char> buffer(size, 0);
  auto* message = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(buffer.data());
  message->dbcc_size = static_cast<DWORD>(size);
  message->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  message->dbcc_classguid = class_I == EDEVICECLASS_BULK ? kBulkInterfaceClass : kHidInterfaceClass;
  std::memcpy(buffer.data() + kNameOffset, name.c_str(), name.size() * sizeof(char16_t));
  SendMessageW(window, WM_DEVICECHANGE, event_I, reinterpret_cast<LPARAM>(message));
}

}  // namespace orv

#include "win/fwupdater/cwinhidsystem.h"

#include <algorithm>

namespace orv {
namespace {

// As long as Linux's HID driver gives a feature request; a board that is only slow answers well within it.
constexpr DWORD kFeatureTimeoutMs = 5000;

}  // namespace

CWinHidDevice::CWinHidDevice(std::shared_ptr<CWinHidCalls> calls_I, HANDLE handle_I, HANDLE event_I)
    : mCalls(std::move(calls_I)), mHandle(handle_I), mEvent(event_I)
{
}

CWinHidDevice::~CWinHidDevice()
{
  mCalls->CloseHandle(mEvent);
  mCalls->CloseHandle(mHandle);
}

bool CWinHidDevice::GetAttributes(SHidAttributes& attributes_O)
{
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof(attributes);
  if (!mCalls->HidD_GetAttributes(mHandle, &attributes)) return false;
  attributes_O = SHidAttributes{attributes.VendorID, attributes.ProductID, attributes.VersionNumber};
  return true;
}

bool CWinHidDevice::GetCaps(SHidCaps& caps_O)
{
  const std::optional<HIDP_CAPS>& caps = Caps();
  if (!caps) return false;
  caps_O = SHidCaps{caps->Usage, caps->UsagePage};
  return true;
}

bool CWinHidDevice::SetFeature(const std::vector<uint8_t>& report_I)
{
  if (report_I.empty()) return false;
  std::vector<uint8_t> buffer = Padded(report_I);
  return Request(IOCTL_HID_SET_FEATURE, buffer);
}

bool CWinHidDevice::GetFeature(std::vector<uint8_t>& report_IO)
{
  if (report_IO.empty()) return false;
  std::vector<uint8_t> buffer = Padded(report_IO);
  if (!Request(IOCTL_HID_GET_FEATURE, buffer)) return false;
  // The class driver hands back whatever report the device answered with; another report's bytes answer
  // nothing that was asked.
  if (buffer[0] != report_IO[0]) return false;
  std::copy_n(buffer.begin(), report_IO.size(), report_IO.begin());
  return true;
}

// The buffer goes as both the request's buffers, as the class driver takes the report from either.
bool CWinHidDevice::Request(DWORD code_I, std::vector<uint8_t>& buffer_IO)
{
  OVERLAPPED overlapped{};
  overlapped.hEvent = mEvent;
  const auto size = static_cast<DWORD>(buffer_IO.size());
  DWORD transferred = 0;
  if (mCalls->DeviceIoControl(mHandle, code_I, buffer_IO.data(), size, buffer_IO.data(), size, &transferred,
                              &overlapped)) {
    return true;
  }
  if (GetLastError() != ERROR_IO_PENDING) return false;
  // A request the device never answers stays pending for good; it is called off, and waited for, so that the
  // driver is done with the buffer and the OVERLAPPED before they go.
  if (mCalls->WaitForSingleObject(mEvent, kFeatureTimeoutMs) != WAIT_OBJECT_0) mCalls->CancelIoEx(mHandle, &overlapped);
  return mCalls->GetOverlappedResult(mHandle, &overlapped, &transferred, TRUE);
}

const std::optional<HIDP_CAPS>& CWinHidDevice::Caps()
{
  if (mCapsRead) return mCaps;
  mCapsRead = true;
  PHIDP_PREPARSED_DATA data = nullptr;
  if (!mCalls->HidD_GetPreparsedData(mHandle, &data)) return mCaps;
  HIDP_CAPS caps{};
  if (mCalls->HidP_GetCaps(data, &caps) == HIDP_STATUS_SUCCESS) mCaps = caps;
  mCalls->HidD_FreePreparsedData(data);
  return mCaps;
}

std::vector<uint8_t> CWinHidDevice::Padded(const std::vector<uint8_t>& report_I)
{
  std::vector<uint8_t> buffer = report_I;
  if (Caps() && buffer.size() < Caps()->FeatureReportByteLength) buffer.resize(Caps()->FeatureReportByteLength, 0);
  return buffer;
}

std::unique_ptr<CHidDevice> CWinHidSystem::Open(const std::string& path_I)
{
  const HANDLE handle = mCalls->CreateFileA(path_I.c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const HANDLE event = mCalls->CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) {
    mCalls->CloseHandle(handle);
    return nullptr;
  }
  return std::make_unique<CWinHidDevice>(mCalls, handle, event);
}

}  // namespace orv

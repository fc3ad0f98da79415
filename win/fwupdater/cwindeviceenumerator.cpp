#include "win/fwupdater/cwindeviceenumerator.h"

#include <cstddef>
#include <cstring>

namespace orv {
namespace {

// Far beyond any device path; a larger size asked for is not a path.
constexpr DWORD kMaxDetailSize = 32768;
constexpr size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);

}  // namespace

std::vector<std::string> CWinDeviceEnumerator::EnumerateInterfacePaths(EDeviceClass class_I)
{
  return Enumerate(class_I == EDEVICECLASS_HID ? mHidClass : kWinBulkInterfaceClass);
}

std::vector<std::string> CWinDeviceEnumerator::Enumerate(const GUID& class_I)
{
  std::vector<std::string> paths;
  const HDEVINFO set = mCalls->SetupDiGetClassDevsW(&class_I, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return paths;
  // The list ends where a member cannot be had: normally at ERROR_NO_MORE_ITEMS, and a member that fails
  // otherwise would fail again at every later index.
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA member{};
    member.cbSize = sizeof(member);
    if (!mCalls->SetupDiEnumDeviceInterfaces(set, nullptr, &class_I, index, &member)) break;
    if (std::optional<std::string> path = DevicePath(set, member)) paths.push_back(std::move(*path));
  }
  mCalls->SetupDiDestroyDeviceInfoList(set);
  return paths;
}

std::optional<std::string> CWinDeviceEnumerator::DevicePath(HDEVINFO set_I, SP_DEVICE_INTERFACE_DATA& member_I)
{
  DWORD required = 0;
  mCalls->SetupDiGetDeviceInterfaceDetailA(set_I, &member_I, nullptr, 0, &required, nullptr);
  if (required <= kPathOffset || required > kMaxDetailSize) return std::nullopt;
  std::vector<uint8_t> buffer(required, 0);
  auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer.data());
  // The size of the record's fixed part as this build lays it out: 8 in 64-bit builds, 5 in 32-bit ones.
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (!mCalls->SetupDiGetDeviceInterfaceDetailA(set_I, &member_I, detail, required, nullptr, nullptr)) {
    return std::nullopt;
  }
  const char* path = detail->DevicePath;
  return std::string(path, strnlen(path, required - kPathOffset));
}

}  // namespace orv

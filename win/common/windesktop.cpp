#include "win/common/windesktop.h"

#include <cwchar>

#include "common/textconversion.h"

namespace orv {
namespace {

constexpr DWORD kNameLength = 256;

// The window station's name; empty when the system does not give it.
std::u16string StationName(CWinDesktopCalls& calls_I, HWINSTA station_I)
{
  wchar_t name[kNameLength] = L"";
  DWORD needed = 0;
  if (!calls_I.GetUserObjectInformationW(station_I, UOI_NAME, name, sizeof(name), &needed)) return u"";
  name[kNameLength - 1] = L'\0';
  return std::u16string(reinterpret_cast<const char16_t*>(name), wcsnlen(name, kNameLength));
}

}  // namespace

std::shared_ptr<CWinDesktopCalls> WinDesktopCalls()
{
  class CSystemDesktopCalls : public CWinDesktopCalls {
   public:
    HWINSTA GetProcessWindowStation() override { return ::GetProcessWindowStation(); }
    BOOL GetUserObjectInformationW(HANDLE object_I, int index_I, PVOID info_O, DWORD length_I, LPDWORD needed_O) override
    {
      return ::GetUserObjectInformationW(object_I, index_I, info_O, length_I, needed_O);
    }
    BOOL ProcessIdToSessionId(DWORD processId_I, DWORD* sessionId_O) override
    {
      return ::ProcessIdToSessionId(processId_I, sessionId_O);
    }
  };
  return std::make_shared<CSystemDesktopCalls>();
}

std::string NoInteractiveDesktopReason(CWinDesktopCalls& calls_I)
{
  DWORD session = 0;
  if (calls_I.ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0) {
    return "the program runs in session 0, the services' session";
  }
  const HWINSTA station = calls_I.GetProcessWindowStation();
  if (station == nullptr) return "";
  const std::u16string name = StationName(calls_I, station);
  if (!name.empty() && name != u"WinSta0") return "its window station is \"" + WideToUtf8(name) + "\", not WinSta0";
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (calls_I.GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed) &&
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    return "its window station cannot show windows";
  }
  return "";
}

}  // namespace orv

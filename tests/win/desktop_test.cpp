// Whether the program may show windows: a window station and session as Windows reports them to a program
// a deployment tool started, and as a user's own logon does.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "win/common/windesktop.h"

using namespace orv;

namespace {

// A process's window station and session; a name too long for the caller's buffer is refused as Windows
// refuses it.
class CFakeDesktopCalls : public CWinDesktopCalls {
 public:
  CFakeDesktopCalls(std::wstring station_I, DWORD flags_I, DWORD session_I)
      : mStation(std::move(station_I)), mFlags(flags_I), mSession(session_I)
  {
  }

  HWINSTA GetProcessWindowStation() override { return reinterpret_cast<HWINSTA>(0x44); }
  BOOL GetUserObjectInformationW(HANDLE object_I, int index_I, PVOID info_O, DWORD length_I, LPDWORD needed_O) override
  {
    if (object_I != reinterpret_cast<HANDLE>(0x44)) return FALSE;
    if (index_I == UOI_FLAGS) {
      *needed_O = sizeof(USEROBJECTFLAGS);
      if (length_I < sizeof(USEROBJECTFLAGS)) return FALSE;
      USEROBJECTFLAGS flags{FALSE, FALSE, mFlags};
      std::memcpy(info_O, &flags, sizeof(flags));
      return TRUE;
    }
    *needed_O = static_cast<DWORD>((mStation.size() + 1) * sizeof(wchar_t));
    if (index_I != UOI_NAME || length_I < *needed_O) return FALSE;
    std::memcpy(info_O, mStation.c_str(), *needed_O);
    return TRUE;
  }
  BOOL ProcessIdToSessionId(DWORD processId_I, DWORD* sessionId_O) override
  {
    if (processId_I != GetCurrentProcessId()) return FALSE;
    *sessionId_O = mSession;
    return TRUE;
  }

 private:
  std::wstring mStation;
  DWORD mFlags;
  DWORD mSession;
};

}  // namespace

TEST(WinDesktop, OnlyAVisibleWinSta0OutsideSessionZeroCountsAsInteractive)
{
  const struct {
    std::wstring station;
    DWORD flags;
    DWORD session;
    const char* reason;
  } cases[] = {
      {L"WinSta0", WSF_VISIBLE, 1, ""},
      // The system account's services, as a deployment tool's agent runs them.
      {L"Service-0x0-3e7$", 0, 0, "the program runs in session 0, the services' session"},
      {L"Service-0x0-3e7$", 0, 2, "its window station is \"Service-0x0-3e7$\", not WinSta0"},
      {L"WinSta0", WSF_VISIBLE, 0, "the program runs in session 0, the services' session"},
      {L"WinSta0", 0, 1, "its window station cannot show windows"},
      // A name longer than any buffer: nothing is known, so the windows a user may wait for stay.
      {std::wstring(300, L'x'), WSF_VISIBLE, 1, ""},
  };
  for (const auto& entry : cases) {
    CFakeDesktopCalls calls(entry.station, entry.flags, entry.session);
    EXPECT_EQ(NoInteractiveDesktopReason(calls), entry.reason) << entry.session;
  }
}

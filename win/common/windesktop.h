// Whether anybody can see the program's windows. A deployment tool starts the updater under the system
// account, in the services' window station of session 0: a window there waits for a click that never comes.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace orv {

// user32's and kernel32's questions about the process's window station and session, as a table tests can
// bind; each call keeps its Windows name and signature.
class CWinDesktopCalls {
 public:
  virtual ~CWinDesktopCalls() = default;
  virtual HWINSTA GetProcessWindowStation() = 0;
  virtual BOOL GetUserObjectInformationW(HANDLE object_I, int index_I, PVOID info_O, DWORD length_I, LPDWORD needed_O) = 0;
  virtual BOOL ProcessIdToSessionId(DWORD processId_I, DWORD* sessionId_O) = 0;
};

// The system's own table.
std::shared_ptr<CWinDesktopCalls> WinDesktopCalls();

// Why nobody can answer a window of this process: a window station other than "WinSta0", one that cannot
// show windows, or session 0 (the services' session). Empty when the desktop is interactive, and when the
// system does not say, which keeps the windows a user may be waiting for.
std::string NoInteractiveDesktopReason(CWinDesktopCalls& calls_I);

}  // namespace orv

#include "win/common/winprocessservices.h"

#include <windows.h>

#include <vector>

#include "common/assertion.h"
#include "common/cclock.h"
#include "common/textconversion.h"

namespace orv {

CWinSingleInstance::CWinSingleInstance(std::string name_I) : mName(std::move(name_I)) {}

CWinSingleInstance::~CWinSingleInstance()
{
  if (mMutex != nullptr) CloseHandle(mMutex);
}

// Two copies updating one board at a time would ruin it; a mutex that cannot be created at all (the name
// taken by another kind of object) therefore counts as held by another copy.
bool CWinSingleInstance::Acquire()
{
  if (mMutex != nullptr) return true;
  SetLastError(0);
  const HANDLE mutex = CreateMutexA(nullptr, TRUE, mName.c_str());
  if (mutex == nullptr) return false;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return false;
  }
  mMutex = mutex;
  return true;
}

bool CWinNamedEvents::Signal(const std::string& name_I)
{
  const HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name_I.c_str());
  if (event == nullptr) return false;
  const bool set = SetEvent(event) != FALSE;
  CloseHandle(event);
  if (!set) return false;
  Pause(kSettleMs);
  return true;
}

std::string WinTemporaryDirectory()
{
  const DWORD needed = GetTempPathW(0, nullptr);
  if (needed == 0) return {};
  std::vector<wchar_t> buffer(needed + 1, L'\0');
  const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return {};
  return WideToUtf8(std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length));
}

std::tm WinLocalTime()
{
  const __time64_t now = _time64(nullptr);
  std::tm local{};
  _localtime64_s(&local, &now);
  return local;
}

std::shared_ptr<CWinPowerCalls> WinPowerCalls()
{
  class CSystemPowerCalls : public CWinPowerCalls {
   public:
    uint32_t SetThreadExecutionState(uint32_t flags_I) override { return ::SetThreadExecutionState(flags_I); }
  };
  return std::make_shared<CSystemPowerCalls>();
}

CWinKeepAwake::~CWinKeepAwake() { mCalls->SetThreadExecutionState(ES_CONTINUOUS); }

void CWinKeepAwake::SetKeepAwake(bool busy_I)
{
  mCalls->SetThreadExecutionState(busy_I ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED : ES_CONTINUOUS);
}

void InstallWinDebugOutput()
{
  SetDebugOutput([](const std::string& text_I) { OutputDebugStringA(text_I.c_str()); });
}

bool IsSupportedWindows()
{
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  version.dwMajorVersion = 6;
  version.dwMinorVersion = 1;
  version.wServicePackMajor = 0;
  DWORDLONG condition = 0;
  condition = VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
  condition = VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
  condition = VerSetConditionMask(condition, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, condition) != FALSE;
}

}  // namespace orv

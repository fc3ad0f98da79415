#include <windows.h>

#include "win/fwupdater/cwinapplication.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR commandLine, int /*show*/)
{
  SetLastError(0);
  return orv::RunWinApplication(std::u16string(reinterpret_cast<const char16_t*>(commandLine)));
}

#include "win/common/languageprovider.h"

#include <windows.h>

namespace orv {

uint16_t CWinUserLanguage::UILangId() const
{
  using UILanguageFn = LANGID(WINAPI*)();
  const HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  const auto uiLanguage =
      kernel != nullptr ? reinterpret_cast<UILanguageFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetUserDefaultUILanguage")))
                        : nullptr;
  if (uiLanguage != nullptr) return uiLanguage();
  return static_cast<uint16_t>(Lcid() & 0xFFFF);
}

uint32_t CWinUserLanguage::Lcid() const { return GetUserDefaultLCID(); }

}  // namespace orv

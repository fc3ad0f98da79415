#include "win/common/resourceutils.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "app/languageprovider.h"
#include "app/uistrings.h"
#include "common/assertion.h"

namespace orv {
namespace {

constexpr uint16_t kStringsPerBlock = 16;

// One entry of a string-table block: a length word and that many UTF-16 units, the last of them the
// terminating zero. A block that ends before the entry does is read as far as it goes.
std::u16string BlockEntry(HMODULE module_I, HRSRC resource_I, uint16_t index_I)
{
  const HGLOBAL loaded = LoadResource(module_I, resource_I);
  const auto* units = static_cast<const char16_t*>(LockResource(loaded));
  const size_t count = SizeofResource(module_I, resource_I) / sizeof(char16_t);
  if (units == nullptr) return {};
  size_t pos = 0;
  for (uint16_t i = 0; i < index_I && pos < count; ++i) pos += 1 + units[pos];
  if (pos >= count) return {};
  const size_t length = std::min<size_t>(units[pos], count - pos - 1);
  std::u16string text(units + pos + 1, length);
  // Stored texts carry their terminating zero; one without it is taken whole.
  ORV_ASSERT(text.empty() || text.back() == u'\0');
  if (!text.empty() && text.back() == u'\0') text.pop_back();
  return text.substr(0, text.find(u'\0'));
}

// The languages a string-table block exists in. FindResourceEx may answer for a language the block does
// not have with another one of its own choosing (Wine does); the fallback chain decides instead.
std::vector<uint16_t> LanguagesOf(HMODULE module_I, LPCSTR block_I)
{
  std::vector<uint16_t> languages;
  EnumResourceLanguagesA(
      module_I, MAKEINTRESOURCEA(6), block_I,
      [](HMODULE, LPCSTR, LPCSTR, WORD language_I, LONG_PTR list_I) -> BOOL {
        reinterpret_cast<std::vector<uint16_t>*>(list_I)->push_back(language_I);
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

}  // namespace

std::u16string LoadWinResString(uint16_t id_I, uint16_t langId_I, void* module_I)
{
  const HMODULE module = module_I != nullptr ? static_cast<HMODULE>(module_I) : GetModuleHandleW(nullptr);
  const LPCSTR block = MAKEINTRESOURCEA((id_I / kStringsPerBlock) + 1);
  const std::vector<uint16_t> languages = LanguagesOf(module, block);
  uint16_t langId = langId_I;
  do {
    if (std::find(languages.begin(), languages.end(), langId) == languages.end()) continue;
    const HRSRC resource = FindResourceExA(module, MAKEINTRESOURCEA(6), block, langId);
    if (resource == nullptr) continue;
    const std::u16string text = BlockEntry(module, resource, id_I % kStringsPerBlock);
    if (!text.empty()) return DecodeResString(text);
  } while (FallbackLangId(langId));
  return {};
}

}  // namespace orv

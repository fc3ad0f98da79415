// The UI strings as the Windows program holds them: string-table resources, one table per language.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

// The string in the language or, where the language has no table or its table no text for the id, in the
// nearest more general one (FallbackLangId); decoded, and empty when no language along the way has it.
// module_I is the module holding the tables; null means the program itself.
std::u16string LoadWinResString(uint16_t id_I, uint16_t langId_I, void* module_I = nullptr);

}  // namespace orv

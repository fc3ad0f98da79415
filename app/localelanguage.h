// The user's language on systems that name it by a POSIX locale ("de_DE.UTF-8", "pt_BR", "C"), as the
// Windows language identifier (LANGID) the language provider and the string tables work with.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

// The values of LC_ALL, LC_MESSAGES and LANG, the first non-empty one deciding as in the C library.
// A known language with an unknown territory gives the primary language ("de_XX" → 7); "zh" alone or
// with an unknown territory gives simplified Chinese (2052); "C", "POSIX", nothing at all and unknown
// languages give English (1033).
uint16_t LocaleLangId(const std::string& lcAll_I, const std::string& lcMessages_I, const std::string& lang_I);

}  // namespace orv

// Conversions between UTF-8 byte strings and UTF-16 wide strings.
//
// Both behave like the Windows code page 65001 conversions without flags, the same on every platform:
// the input is taken up to its first zero, an invalid UTF-8 sequence becomes one U+FFFD per maximal
// invalid subpart, and an unpaired surrogate becomes U+FFFD in the UTF-8 output.
#pragma once

#include <string>

namespace orv {

std::u16string Utf8ToWide(const std::string& text_I);
std::string WideToUtf8(const std::u16string& text_I);

}  // namespace orv

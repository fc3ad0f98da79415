#include <gtest/gtest.h>

#include "common/textconversion.h"

using namespace orv;

TEST(TextConversion, RoundTripsAcrossAllPlanes)
{
  for (const std::u16string text : {u"", u"Gerätemodus \u00E9\u00DF \u30D5\u30A1\uD55C\u97CC", u"\uFFFD\uFEFF\u0298",
                                    u"pen \U0001F58A \U00010000 \U0010FFFF end"}) {
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
  }
  EXPECT_EQ(WideToUtf8(u"\U0001F58A\u00E4\u20AC"), "\xF0\x9F\x96\x8A\xC3\xA4\xE2\x82\xAC");
}

TEST(TextConversion, InvalidUtf8BecomesReplacementCharacters)
{
  const std::pair<std::string, std::u16string> cases[] = {
      {"a\x80" "b", u"a\uFFFDb"},                         // lone continuation byte
      {"\xC3", u"\uFFFD"},                                // truncated at the end
      {"\xE2\x82" "x", u"\uFFFDx"},                       // truncated inside
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},            // overlong three-byte form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xFF\xF0\x9F\x96", u"\uFFFD\uFFFD"},              // never valid, then non-BMP cut short
  };
  for (const auto& [utf8, wide] : cases) EXPECT_EQ(Utf8ToWide(utf8), wide);
}

TEST(TextConversion, UnpairedSurrogatesAndZeros)
{
  EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(WideToUtf8(std::u16string{char16_t(0xDC00), char16_t(0xD800)}), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToWide(std::string("ab\0cd", 5)), u"ab");
  EXPECT_EQ(WideToUtf8(std::u16string(u"ab\0cd", 5)), "ab");
}

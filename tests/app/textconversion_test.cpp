#include <gtest/gtest.h>

#include "common/textconversion.h"

using namespace orv;

TEST(TextConversion, RoundTripsAcrossAllPlanes)
{
  const std::u16string texts[] = {
      u"",
      u"Orvel",
      u"Gerätemodus \u00E9\u00DF",
      u"\u30D5\u30A1\u30FC\u30E0\u30A6\u30A7\u30A2 \uD55C\uAD6D\uC5B4 \u97CC\u9AD4",
      u"pen \U0001F58A \U00010000 \U0010FFFF end",
      u"\uFFFD\uFEFF\u0298",
  };
  for (const std::u16string& text : texts) {
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
  }
  EXPECT_EQ(WideToUtf8(u"\U0001F58A"), "\xF0\x9F\x96\x8A");
  EXPECT_EQ(WideToUtf8(u"\u00E4\u20AC"), "\xC3\xA4\xE2\x82\xAC");
}

TEST(TextConversion, InvalidUtf8BecomesReplacementCharacters)
{
  struct {
    std::string mUtf8;
    std::u16string mWide;
  } const cases[] = {
      {"a\x80" "b", u"a\uFFFDb"},                 // lone continuation byte
      {"\xC3", u"\uFFFD"},                        // truncated at the end
      {"\xE2\x82" "x", u"\uFFFDx"},              // truncated inside
      {"\xC0\xAF", u"\uFFFD\uFFFD"},              // overlong
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},    // overlong three-byte form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},    // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xFF\xFE", u"\uFFFD\uFFFD"},
      {"\xF0\x9F\x96", u"\uFFFD"},                // non-BMP cut short
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToWide(c.mUtf8), c.mWide);
  }
}

TEST(TextConversion, UnpairedSurrogatesAndZeros)
{
  EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
  EXPECT_EQ(WideToUtf8(std::u16string{char16_t(0xDC00), char16_t(0xD800)}), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToWide(std::string("ab\0cd", 5)), u"ab");
  EXPECT_EQ(WideToUtf8(std::u16string(u"ab\0cd", 5)), "ab");
  EXPECT_EQ(Utf8ToWide(std::string(1, '\0')), u"");
}

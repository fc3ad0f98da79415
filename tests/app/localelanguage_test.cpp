#include <gtest/gtest.h>

#include "app/localelanguage.h"

using namespace orv;

TEST(LocaleLanguage, LocaleNamesMapToLanguageIds)
{
  const std::pair<const char*, uint16_t> cases[] = {
      {"de_DE.UTF-8", 1031}, {"de", 7},           {"de_XX", 7},         {"zh", 2052},    {"zh_XX", 2052},
      {"zh_HK", 3076},       {"sv_SE", 1053},     {"pt_PT@euro", 2070}, {"fr-ca", 3084}, {"xx_YY", 1033},
      {"POSIX", 1033},       {"C.UTF-8", 1033},   {"", 1033},           {"_", 1033},
  };
  for (const auto& [locale, langId] : cases) EXPECT_EQ(LocaleLangId("", "", locale), langId) << locale;
  // The first variable that is set decides, even when it names no language.
  EXPECT_EQ(LocaleLangId("ja_JP.UTF-8", "fr_FR", "de_DE"), 1041);
  EXPECT_EQ(LocaleLangId("", "fr_FR", "de_DE"), 1036);
  EXPECT_EQ(LocaleLangId("C", "fr_FR", "de_DE"), 1033);
}

#include <gtest/gtest.h>

#include "app/localelanguage.h"

using namespace orv;

TEST(LocaleLanguage, LocaleNamesMapToLanguageIds)
{
  struct {
    const char* mLocale;
    uint16_t mLangId;
  } const cases[] = {
      {"de_DE.UTF-8", 1031}, {"de", 7},            {"de_XX", 7},      {"zh_TW.UTF-8", 1028}, {"zh_CN.GB18030", 2052},
      {"zh_HK", 3076},       {"zh", 2052},         {"zh_XX", 2052},   {"sv_SE", 1053},       {"en_US", 1033},
      {"pt_BR", 1046},       {"pt_PT@euro", 2070}, {"fr-ca", 3084},   {"nb_NO.UTF-8", 1044}, {"xx_YY", 1033},
      {"C", 1033},           {"POSIX", 1033},      {"C.UTF-8", 1033}, {"", 1033},            {"_", 1033},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LocaleLangId("", "", c.mLocale), c.mLangId) << c.mLocale;
  }
}

TEST(LocaleLanguage, FirstNonEmptyVariableDecides)
{
  EXPECT_EQ(LocaleLangId("ja_JP.UTF-8", "fr_FR", "de_DE"), 1041);
  EXPECT_EQ(LocaleLangId("", "fr_FR", "de_DE"), 1036);
  EXPECT_EQ(LocaleLangId("", "", "de_DE"), 1031);
  EXPECT_EQ(LocaleLangId("C", "fr_FR", "de_DE"), 1033);
}

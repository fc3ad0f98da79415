#include <gtest/gtest.h>

#include "app/languageprovider.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

class CTestUserLanguage : public CUserLanguage {
 public:
  CTestUserLanguage(uint16_t uiLangId_I, uint32_t lcid_I) : mUILangId(uiLangId_I), mLcid(lcid_I) {}
  uint16_t UILangId() const override { return mUILangId; }
  uint32_t Lcid() const override { return mLcid; }

 private:
  uint16_t mUILangId;
  uint32_t mLcid;
};

CLanguageProvider ProviderFor(uint16_t uiLangId_I, uint32_t lcid_I = 0x409)
{
  return CLanguageProvider(std::make_shared<CTestUserLanguage>(uiLangId_I, lcid_I));
}

}  // namespace

TEST(LanguageProvider, UserUILanguageSelectsNearestTableEntry)
{
  struct {
    uint16_t mUILangId;
    const char* mCode;
    ELanguage mIndex;
    uint16_t mLangId;
  } const cases[] = {
      {3076, "zh_TW", ELANGUAGE_ZH_TW, 1028},    // Hong Kong
      {5124, "zh_TW", ELANGUAGE_ZH_TW, 1028},    // Macao
      {4100, "zh_CN", ELANGUAGE_ZH_CN, 2052},    // Singapore
      {0x1804, "zh_CN", ELANGUAGE_ZH_CN, 2052},  // sublanguage 6
      {4, "neutral", LAST_ELANGUAGE, 0},         // general Chinese
      {1053, "sv", ELANGUAGE_SV, 29},
      {1033, "en", ELANGUAGE_EN, 9},
      {3079, "de", ELANGUAGE_DE, 7},
      {2070, "pt", ELANGUAGE_PT, 22},            // the first of the two "pt" entries
      {0x0436, "en", ELANGUAGE_EN, 9},           // Afrikaans has no entry
      {0, "neutral", LAST_ELANGUAGE, 0},
  };
  for (const auto& c : cases) {
    const CLanguageProvider provider = ProviderFor(c.mUILangId);
    EXPECT_EQ(provider.GetLanguage().mCode, c.mCode) << c.mUILangId;
    EXPECT_EQ(provider.GetLanguage().mIndex, c.mIndex) << c.mUILangId;
    EXPECT_EQ(provider.GetLangId(), c.mLangId) << c.mUILangId;
  }
}

TEST(LanguageProvider, SelectorsAndLanguageCodes)
{
  test::CDebugCapture capture;
  // The UI language is Korean, the locale Traditional Chinese with a sort order in its upper bits.
  CLanguageProvider provider = ProviderFor(1042, 0x00040404);
  EXPECT_EQ(provider.GetLanguage().mCode, "ko");
  provider.SelectLanguage("user");
  EXPECT_EQ(provider.GetLanguage().mCode, "zh_TW");

  struct {
    const char* mSelector;
    const char* mCode;
    ELanguage mIndex;
  } const cases[] = {
      {"FR", "fr", ELANGUAGE_FR},
      {"fr", "fr", ELANGUAGE_FR},
      {"xx", "en", ELANGUAGE_EN},
      {"", "en", ELANGUAGE_EN},
      {"PT", "pt", ELANGUAGE_PT},
      {"zh_tw", "zh_TW", ELANGUAGE_ZH_TW},
      {"neutral", "neutral", LAST_ELANGUAGE},
      {"userUI", "ko", ELANGUAGE_KO},
      {"userui", "en", ELANGUAGE_EN},  // only the exact selector asks the system
  };
  for (const auto& c : cases) {
    provider.SelectLanguage("de");
    provider.SelectLanguage(c.mSelector);
    EXPECT_EQ(provider.GetLanguage().mCode, c.mCode) << c.mSelector;
    EXPECT_EQ(provider.GetLanguage().mIndex, c.mIndex) << c.mSelector;
  }
  EXPECT_TRUE(capture.Lines().empty());
}

TEST(LanguageProvider, FallbackChainsEndAtNeutral)
{
  const std::vector<std::vector<uint16_t>> chains = {
      {1033, 9, 0}, {3079, 7, 9, 0}, {3076, 1028, 4, 0}, {4100, 2052, 4, 0}, {0x1804, 2052, 4, 0}, {1024, 0},
  };
  for (const std::vector<uint16_t>& chain : chains) {
    uint16_t langId = chain.front();
    for (size_t i = 1; i < chain.size(); ++i) {
      ASSERT_TRUE(FallbackLangId(langId));
      EXPECT_EQ(langId, chain[i]) << chain.front() << " step " << i;
    }
    EXPECT_FALSE(FallbackLangId(langId));
    EXPECT_EQ(langId, 0);
  }
}

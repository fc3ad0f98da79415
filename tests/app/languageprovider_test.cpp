#include <gtest/gtest.h>

#include <tuple>

#include "app/languageprovider.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

// A Korean UI on a Traditional Chinese locale whose LCID carries a sort order in its upper bits.
class CKoreanUiTaiwanLocale : public CFixedUserLanguage {
 public:
  CKoreanUiTaiwanLocale() : CFixedUserLanguage(1042) {}
  uint32_t Lcid() const override { return 0x00040404; }
};

std::tuple<std::string, ELanguage, uint16_t> Selected(const CLanguageProvider& provider_I)
{
  return {provider_I.GetLanguage().mCode, provider_I.GetLanguage().mIndex, provider_I.GetLangId()};
}

}  // namespace

TEST(LanguageProvider, UserUILanguageSelectsNearestTableEntry)
{
  const std::pair<uint16_t, std::tuple<std::string, ELanguage, uint16_t>> cases[] = {
      {3076, {"zh_TW", ELANGUAGE_ZH_TW, 1028}},  {4100, {"zh_CN", ELANGUAGE_ZH_CN, 2052}},  // Hong Kong, Singapore
      {0x1804, {"zh_CN", ELANGUAGE_ZH_CN, 2052}},  // sublanguage 6
      {4, {"neutral", LAST_ELANGUAGE, 0}},         // general Chinese
      {1053, {"sv", ELANGUAGE_SV, 29}},          {0, {"neutral", LAST_ELANGUAGE, 0}},
      {2070, {"pt", ELANGUAGE_PT, 22}},          // the first of the two "pt" entries
      {0x0436, {"en", ELANGUAGE_EN, 9}},         // Afrikaans has no entry
  };
  for (const auto& [uiLangId, expected] : cases) {
    EXPECT_EQ(Selected(CLanguageProvider(std::make_shared<CFixedUserLanguage>(uiLangId))), expected) << uiLangId;
  }
}

TEST(LanguageProvider, SelectorsAndLanguageCodes)
{
  test::CDebugCapture capture;
  CLanguageProvider provider(std::make_shared<CKoreanUiTaiwanLocale>());
  EXPECT_EQ(provider.GetLanguage().mCode, "ko");
  provider.SelectLanguage("user");
  EXPECT_EQ(provider.GetLanguage().mCode, "zh_TW");

  const std::pair<const char*, ELanguage> cases[] = {
      {"FR", ELANGUAGE_FR},      {"xx", ELANGUAGE_EN},          {"", ELANGUAGE_EN},
      {"PT", ELANGUAGE_PT},      {"zh_tw", ELANGUAGE_ZH_TW},    {"neutral", LAST_ELANGUAGE},
      {"userUI", ELANGUAGE_KO},  {"userui", ELANGUAGE_EN},  // only the exact selector asks the system
  };
  for (const auto& [selector, index] : cases) {
    provider.SelectLanguage("de");
    provider.SelectLanguage(selector);
    EXPECT_EQ(provider.GetLanguage().mIndex, index) << selector;
  }
  EXPECT_TRUE(capture.Lines().empty());
}

TEST(LanguageProvider, FallbackChainsEndAtNeutral)
{
  const std::vector<std::vector<uint16_t>> chains = {
      {1033, 9, 0}, {3079, 7, 9, 0}, {3076, 1028, 4, 0}, {0x1804, 2052, 4, 0}, {1024, 0},
  };
  for (const std::vector<uint16_t>& chain : chains) {
    std::vector<uint16_t> walked{chain.front()};
    // Bounded, so that a chain that never ends fails instead of hanging.
    for (uint16_t id = walked[0]; walked.size() <= chain.size() && FallbackLangId(id);) walked.push_back(id);
    EXPECT_EQ(walked, chain);
  }
}

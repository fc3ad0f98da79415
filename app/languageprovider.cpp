#include "app/languageprovider.h"

#include <algorithm>

#include "common/assertion.h"
#include "common/stringutilities.h"

namespace orv {
namespace {

constexpr uint16_t kPrimaryMask = 0x3FF;
constexpr uint16_t kChinese = 4;
constexpr uint16_t kEnglish = 9;
constexpr uint16_t kChineseTraditional = 1028;
constexpr uint16_t kChineseSimplified = 2052;

uint16_t ChineseFallback(uint16_t langId_I)
{
  const int sublanguage = langId_I >> 10;
  if (sublanguage >= 6) return kChineseSimplified;
  switch (langId_I) {
    case kChinese: return 0;
    case kChineseTraditional:
    case kChineseSimplified: return kChinese;
    case 3076:  // Hong Kong
    case 5124:  // Macao
      return kChineseTraditional;
    default: return kChineseSimplified;
  }
}

std::vector<CLanguage> BuildLangTable()
{
  return {
      {"en", ELANGUAGE_EN, 9},      {"zh_CN", ELANGUAGE_ZH_CN, 2052}, {"zh_TW", ELANGUAGE_ZH_TW, 1028},
      {"en", ELANGUAGE_EN_ALT, 9},  {"fr", ELANGUAGE_FR, 12},         {"de", ELANGUAGE_DE, 7},
      {"ja", ELANGUAGE_JA, 17},     {"ko", ELANGUAGE_KO, 18},         {"it", ELANGUAGE_IT, 16},
      {"es", ELANGUAGE_ES, 10},     {"pt", ELANGUAGE_PT, 22},         {"pt", ELANGUAGE_PT_ALT, 22},
      {"nl", ELANGUAGE_NL, 19},     {"ru", ELANGUAGE_RU, 25},         {"sv", ELANGUAGE_SV, 29},
      {"pl", ELANGUAGE_PL, 21},     {"da", ELANGUAGE_DA, 6},          {"fi", ELANGUAGE_FI, 11},
      {"no", ELANGUAGE_NO, 20},     {"tr", ELANGUAGE_TR, 31},         {"cs", ELANGUAGE_CS, 5},
      {"el", ELANGUAGE_EL, 8},      {"hu", ELANGUAGE_HU, 14},         {"sk", ELANGUAGE_SK, 27},
  };
}

}  // namespace

bool FallbackLangId(uint16_t& langId_IO)
{
  if (langId_IO == 0) {
    return false;
  }
  if ((langId_IO & kPrimaryMask) == kChinese) {
    langId_IO = ChineseFallback(langId_IO);
  } else if (langId_IO >= 1024) {
    langId_IO = langId_IO & kPrimaryMask;
  } else {
    langId_IO = langId_IO == kEnglish ? 0 : kEnglish;
  }
  return true;
}

std::vector<std::string> KnownLanguageCodes()
{
  std::vector<std::string> codes;
  for (const CLanguage& language : BuildLangTable()) {
    if (std::find(codes.begin(), codes.end(), language.mCode) == codes.end()) codes.push_back(language.mCode);
  }
  return codes;
}

bool IsKnownLanguage(const std::string& selector_I)
{
  if (selector_I == "userUI" || selector_I == "user" || selector_I == "neutral") return true;
  const std::vector<std::string> codes = KnownLanguageCodes();
  return std::any_of(codes.begin(), codes.end(),
                     [&selector_I](const std::string& code_I) { return EqualsIgnoreCase(code_I, selector_I); });
}

CLanguageProvider::CLanguageProvider(std::shared_ptr<const CUserLanguage> user_I, const std::string& selector_I)
    : mUser(std::move(user_I)), mLangTable(BuildLangTable()), mNeutral{"neutral", LAST_ELANGUAGE, 0}, mCurrent(mNeutral)
{
  ORV_ASSERT(mLangTable.size() == LAST_ELANGUAGE);
  SelectLanguage(selector_I);
}

void CLanguageProvider::SelectLanguage(const std::string& selector_I)
{
  if (selector_I == "userUI" || selector_I == "user") {
    ORV_ASSERT(mUser);
    if (!mUser) {
      SelectByLangId(kEnglish);
      return;
    }
    // An LCID carries its sort order above the LANGID.
    SelectByLangId(selector_I == "userUI" ? mUser->UILangId() : static_cast<uint16_t>(mUser->Lcid() & 0xFFFF));
    return;
  }
  if (selector_I == "neutral") {
    mCurrent = mNeutral;
    return;
  }
  mCurrent = mLangTable.front();
  for (const CLanguage& language : mLangTable) {
    if (EqualsIgnoreCase(language.mCode, selector_I)) {
      mCurrent = language;
      return;
    }
  }
}

void CLanguageProvider::SelectByLangId(uint16_t langId_I)
{
  mCurrent = mLangTable.front();
  uint16_t langId = langId_I;
  do {
    if (langId == mNeutral.mLangId) {
      mCurrent = mNeutral;
      return;
    }
    for (const CLanguage& language : mLangTable) {
      if (language.mLangId == langId) {
        mCurrent = language;
        return;
      }
    }
  } while (FallbackLangId(langId));
}

}  // namespace orv

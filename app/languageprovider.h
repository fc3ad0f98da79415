// The UI language: which of the program's languages the dialogs show their texts in.
//
// Languages are identified by Windows language identifiers (LANGID: primary language in the low 10 bits,
// sublanguage above) on every platform, so one table and one fallback chain serve all of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orv {

enum ELanguage : int32_t {
  ELANGUAGE_EN = 0,
  ELANGUAGE_ZH_CN,
  ELANGUAGE_ZH_TW,
  ELANGUAGE_EN_ALT,  // repeats "en"; searches take the first match, so it is never selected
  ELANGUAGE_FR,
  ELANGUAGE_DE,
  ELANGUAGE_JA,
  ELANGUAGE_KO,
  ELANGUAGE_IT,
  ELANGUAGE_ES,
  ELANGUAGE_PT,
  ELANGUAGE_PT_ALT,  // repeats "pt", likewise
  ELANGUAGE_NL,
  ELANGUAGE_RU,
  ELANGUAGE_SV,
  ELANGUAGE_PL,
  ELANGUAGE_DA,
  ELANGUAGE_FI,
  ELANGUAGE_NO,
  ELANGUAGE_TR,
  ELANGUAGE_CS,
  ELANGUAGE_EL,
  ELANGUAGE_HU,
  ELANGUAGE_SK,
  LAST_ELANGUAGE  // also the index of the neutral entry
};

struct CLanguage {
  std::string mCode;
  ELanguage mIndex;
  uint16_t mLangId;
};

// The user's language as the operating system reports it (the Windows build asks
// GetUserDefaultUILanguage and GetUserDefaultLCID; Linux maps the locale name).
class CUserLanguage {
 public:
  virtual ~CUserLanguage() = default;
  virtual uint16_t UILangId() const = 0;
  virtual uint32_t Lcid() const = 0;
};

// A user language known in advance: both answers carry the same identifier.
class CFixedUserLanguage : public CUserLanguage {
 public:
  explicit CFixedUserLanguage(uint16_t langId_I) : mLangId(langId_I) {}
  uint16_t UILangId() const override { return mLangId; }
  uint32_t Lcid() const override { return mLangId; }

 private:
  uint16_t mLangId;
};

// One step along the chain from a language to a more general one, ending at the neutral language 0:
// Chinese variants go to traditional (Taiwan) or simplified (PRC), then to 4 and 0; a sublanguage goes to
// its primary language, any other primary language to English (9), English to 0. Returns false, leaving
// the value alone, when there is nowhere left to go.
bool FallbackLangId(uint16_t& langId_IO);

// The language codes SelectLanguage knows besides "userUI", "user" and "neutral", each once, in table order.
std::vector<std::string> KnownLanguageCodes();
// Whether SelectLanguage knows the selector (letter case ignored) rather than falling back to English.
bool IsKnownLanguage(const std::string& selector_I);

class CLanguageProvider {
 public:
  // selector_I as for SelectLanguage; every dialog starts from "userUI".
  explicit CLanguageProvider(std::shared_ptr<const CUserLanguage> user_I, const std::string& selector_I = "userUI");

  // "userUI" (the user's UI language), "user" (the user's locale), "neutral", or a language code matched
  // without regard to case; an unknown code selects English.
  void SelectLanguage(const std::string& selector_I);
  // The table's first entry for the language or, failing that, for the nearest more general one.
  void SelectByLangId(uint16_t langId_I);

  uint16_t GetLangId() const { return mCurrent.mLangId; }
  const CLanguage& GetLanguage() const { return mCurrent; }

 private:
  std::shared_ptr<const CUserLanguage> mUser;
  std::vector<CLanguage> mLangTable;
  CLanguage mNeutral;
  CLanguage mCurrent;
};

}  // namespace orv

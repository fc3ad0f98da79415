#include "app/localelanguage.h"

#include <array>
#include <string_view>

#include "common/stringutilities.h"

namespace orv {
namespace {

constexpr uint16_t kEnglishUnitedStates = 1033;
constexpr uint16_t kChineseSimplified = 2052;

struct CLocaleLangId {
  std::string_view mName;
  uint16_t mLangId;
};

// Primary languages: the low 10 bits of a LANGID.
constexpr std::array<CLocaleLangId, 46> kLanguages = {{
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07},
    {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C}, {"he", 0x0D}, {"hu", 0x0E},
    {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"no", 0x14}, {"nb", 0x14},
    {"nn", 0x14}, {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sr", 0x1A},
    {"sk", 0x1B}, {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"id", 0x21}, {"uk", 0x22},
    {"be", 0x23}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27}, {"fa", 0x29}, {"vi", 0x2A},
    {"eu", 0x2D}, {"mk", 0x2F}, {"hi", 0x39}, {"gl", 0x56},
}};

// Full identifiers of the territories the program's languages are commonly used in.
constexpr std::array<CLocaleLangId, 62> kTerritories = {{
    {"zh_TW", 0x0404}, {"zh_CN", 0x0804}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"zh_MO", 0x1404},
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"en_SG", 0x4809}, {"de_DE", 0x0407},
    {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"de_LI", 0x1407}, {"fr_FR", 0x040C},
    {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C}, {"fr_MC", 0x180C},
    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"es_CL", 0x340A}, {"es_CO", 0x240A},
    {"es_PE", 0x280A}, {"es_VE", 0x200A}, {"es_US", 0x540A}, {"it_IT", 0x0410}, {"it_CH", 0x0810},
    {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"sv_SE", 0x041D},
    {"sv_FI", 0x081D}, {"ja_JP", 0x0411}, {"ko_KR", 0x0412}, {"ru_RU", 0x0419}, {"pl_PL", 0x0415},
    {"da_DK", 0x0406}, {"fi_FI", 0x040B}, {"nb_NO", 0x0414}, {"no_NO", 0x0414}, {"nn_NO", 0x0814},
    {"tr_TR", 0x041F}, {"cs_CZ", 0x0405}, {"el_GR", 0x0408}, {"hu_HU", 0x040E}, {"sk_SK", 0x041B},
    {"uk_UA", 0x0422}, {"ro_RO", 0x0418}, {"bg_BG", 0x0402}, {"hr_HR", 0x041A}, {"sl_SI", 0x0424},
    {"ca_ES", 0x0403}, {"he_IL", 0x040D},
}};

template <size_t Count>
uint16_t Find(const std::array<CLocaleLangId, Count>& table_I, const std::string& name_I)
{
  for (const CLocaleLangId& entry : table_I) {
    if (entry.mName == name_I) {
      return entry.mLangId;
    }
  }
  return 0;
}

std::string Upper(const std::string& text_I)
{
  std::string result(text_I);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

}  // namespace

uint16_t LocaleLangId(const std::string& lcAll_I, const std::string& lcMessages_I, const std::string& lang_I)
{
  const std::string& locale = !lcAll_I.empty() ? lcAll_I : !lcMessages_I.empty() ? lcMessages_I : lang_I;
  // language[_territory][.codeset][@modifier]; "de-DE" is accepted too.
  const std::string name = locale.substr(0, locale.find_first_of(".@"));
  const size_t separator = name.find_first_of("_-");
  const std::string language = ToLower(name.substr(0, separator));
  const uint16_t primary = Find(kLanguages, language);
  if (primary == 0) {
    return kEnglishUnitedStates;
  }
  // Chinese has no general entry in the string tables; an unnamed territory means the PRC's.
  const uint16_t general = language == "zh" ? kChineseSimplified : primary;
  if (separator == std::string::npos) {
    return general;
  }
  const uint16_t full = Find(kTerritories, language + "_" + Upper(name.substr(separator + 1)));
  return full != 0 ? full : general;
}

}  // namespace orv

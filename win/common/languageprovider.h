// The user's language as Windows reports it, for the language provider.
#pragma once

#include "app/languageprovider.h"

namespace orv {

// GetUserDefaultUILanguage where kernel32 exports it (looked up by name), else the language of
// GetUserDefaultLCID; read when asked.
class CWinUserLanguage : public CUserLanguage {
 public:
  uint16_t UILangId() const override;
  uint32_t Lcid() const override;
};

}  // namespace orv

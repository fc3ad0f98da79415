// The settings text (fw_loader.ini, autoconfig.ini, scenarios): any bytes parse to a tree or to nothing, every
// writer takes whatever tree was read, and the text written reads back to a tree that writes the same text.
#include <cstdlib>

#include "common/settings/csettingsobject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const orv::SettingsPtr root = orv::CSettingsObject::Parse(std::string(reinterpret_cast<const char*>(data), size));
  if (!root) return 0;
  std::vector<uint8_t> ber;
  root->EncodeBer(ber);
  root->ToTypedText();
  // The first text may differ from the input (doubles are written with six decimals, a lone bytes map is read
  // as its bytes), but from then on writing and reading must not change anything.
  const std::string written = root->ToJson(0);
  const orv::SettingsPtr reread = orv::CSettingsObject::Parse(written);
  if (!reread || reread->ToJson(0) != written) std::abort();
  return 0;
}

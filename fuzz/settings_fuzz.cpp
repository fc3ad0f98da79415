// The settings text (fw_loader.ini, autoconfig.ini, scenarios): any bytes parse to a tree or to nothing, and
// every writer takes whatever tree was read. (The text writer copies strings raw, without escapes, so its
// output is read again but not compared.)

#include "common/settings/csettingsobject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const orv::SettingsPtr root = orv::CSettingsObject::Parse(std::string(reinterpret_cast<const char*>(data), size));
  if (!root) return 0;
  std::vector<uint8_t> ber;
  root->EncodeBer(ber);
  root->ToTypedText();
  orv::CSettingsObject::Parse(root->ToJson(0));
  return 0;
}

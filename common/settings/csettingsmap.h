// A settings map: child nodes under byte-string keys, kept in ascending byte-wise key order.
#pragma once

#include <map>

#include "common/settings/csettingsobject.h"

namespace orv {

class CSettingsMap final : public CSettingsObject {
 public:
  static SettingsMapPtr Create();

  // The child under the key; empty when the key is absent or holds null.
  SettingsPtr Get(const std::string& key_I) const;
  // The child's type word, or "" when Get gives nothing.
  std::string GetTypeNameOf(const std::string& key_I) const;
  // A key holding null counts as absent.
  bool HasKey(const std::string& key_I) const;
  // Every key, null ones included, in map order.
  std::vector<std::string> GetKeys() const;
  size_t Size() const { return mMap.size(); }
  // Replaces any earlier child; an empty node stores a null node.
  void Set(const std::string& key_I, SettingsPtr node_I);

  // The child when it is exactly of the named class; no conversion between types.
  std::shared_ptr<CSettingsBool> GetBoolNode(const std::string& key_I) const;
  std::shared_ptr<CSettingsInteger> GetIntegerNode(const std::string& key_I) const;
  std::shared_ptr<CSettingsString> GetStringNode(const std::string& key_I) const;
  bool GetBool(const std::string& key_I, bool default_I) const;
  int64_t GetInteger(const std::string& key_I, int64_t default_I) const;
  std::string GetString(const std::string& key_I, const std::string& default_I) const;

  SettingsPtr Clone() const override;
  std::string GetTypeName() const override;
  std::string GetValueString() const override;
  std::string ToTypedText() const override;
  void EncodeBer(std::vector<uint8_t>& output_IO) const override;
  bool Equals(const SettingsPtr& other_I) const override;
  std::string ToJson(int level_I) const override;

  // Reads a map starting at the "{" under pos_IO; depth_I counts the maps and arrays around it.
  static SettingsMapPtr ParseMap(const std::string& buffer_I, size_t& pos_IO, size_t depth_I = 0,
                                 SSettingsDiagnostics* diagnostics_O = nullptr);

 private:
  CSettingsMap() = default;

  std::map<std::string, SettingsPtr> mMap;
};

}  // namespace orv

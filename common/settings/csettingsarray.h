// A settings array: child nodes in insertion order.
#pragma once

#include "common/settings/csettingsobject.h"

namespace orv {

class CSettingsArray final : public CSettingsObject {
 public:
  static SettingsArrayPtr Create();

  size_t Size() const { return mObjectVector.size(); }
  // The element; empty when the index is out of range or the element is null.
  SettingsPtr Get(size_t index_I) const;
  // An empty node appends a null node.
  void Append(SettingsPtr node_I);
  // The element when it is a string, else empty.
  std::shared_ptr<CSettingsString> GetStringNode(size_t index_I) const;

  SettingsPtr Clone() const override;
  std::string GetTypeName() const override;
  std::string GetValueString() const override;
  std::string ToTypedText() const override;
  void EncodeBer(std::vector<uint8_t>& output_IO) const override;
  bool Equals(const SettingsPtr& other_I) const override;
  std::string ToJson(int level_I) const override;

  // Reads an array starting at the "[" under pos_IO; depth_I counts the maps and arrays around it.
  static SettingsArrayPtr ParseArray(const std::string& buffer_I, size_t& pos_IO, size_t depth_I = 0,
                                     SSettingsDiagnostics* diagnostics_O = nullptr);

 private:
  CSettingsArray() = default;

  std::vector<SettingsPtr> mObjectVector;
};

}  // namespace orv

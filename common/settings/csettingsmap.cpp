#include "common/settings/csettingsmap.h"

#include "common/asn1coding.h"
#include "common/assertion.h"
#include "common/stringutilities.h"

namespace orv {
namespace {

// The settings tree's own application tag for a map.
constexpr uint32_t kBerTagMap = 0;

// The key, colon and value read so far since the last comma.
struct CPendingPair {
  std::shared_ptr<CSettingsString> mKey;
  bool mColonSeen = false;
  SettingsPtr mValue;

  // Keys are never empty: an empty key fails as it is read.
  bool IsComplete() const { return mColonSeen && mValue != nullptr; }
};

bool ReadKey(const std::string& buffer_I, size_t& pos_IO, CPendingPair& pair_IO, SSettingsDiagnostics* diagnostics_O)
{
  const SettingsPtr& obj = pair_IO.mValue;
  ORV_ASSERT(!obj);
  const size_t start = pos_IO;
  pair_IO.mKey = CSettingsObject::ParseString(buffer_I, pos_IO, diagnostics_O);
  if (pair_IO.mKey && pair_IO.mKey->Value().empty() && diagnostics_O != nullptr) {
    diagnostics_O->Fail(buffer_I, start, "empty key");
  }
  return pair_IO.mKey && !pair_IO.mKey->Value().empty();
}

std::string Quoted(const CPendingPair& pair_I) { return "\"" + pair_I.mKey->Value() + "\""; }

// One token of a pair that is not "}" or ",": the key, the colon or the value.
bool ReadPairPart(const std::string& buffer_I, size_t& pos_IO, size_t depth_I, CPendingPair& pair_IO,
                  SSettingsDiagnostics* diagnostics_O)
{
  const auto fail = [&](const std::string& reason_I) {
    if (diagnostics_O != nullptr) diagnostics_O->Fail(buffer_I, pos_IO, reason_I);
    return false;
  };
  if (!pair_IO.mKey) {
    if (buffer_I[pos_IO] != '"') return fail("expected a quoted key");
    return ReadKey(buffer_I, pos_IO, pair_IO, diagnostics_O);
  }
  if (!pair_IO.mColonSeen) {
    if (buffer_I[pos_IO] != ':') {
      return fail("expected ':' after the key " + Quoted(pair_IO));
    }
    pair_IO.mColonSeen = true;
    ++pos_IO;
    return true;
  }
  if (pair_IO.mValue) {
    return fail("expected ',' or '}' after the value of " + Quoted(pair_IO));
  }
  const size_t start = pos_IO;
  pair_IO.mValue = CSettingsObject::ParseValue(buffer_I, pos_IO, depth_I, diagnostics_O);
  if (!pair_IO.mValue) {
    pos_IO = start;
    return fail("the value of " + Quoted(pair_IO) + " is missing");
  }
  return true;
}

// Settings text writes bytes as the only pair of a map, under "SbyteS", in base64. Only the pair before
// "}" of a map that is still empty is taken as bytes; an incomplete pair is dropped.
void StoreLastPair(CSettingsMap& map_IO, const CPendingPair& pair_I)
{
  if (!pair_I.IsComplete()) {
    return;
  }
  const std::string& key = pair_I.mKey->Value();
  if (map_IO.Size() == 0 && key == kSettingsBytesKey) {
    map_IO.Set(key, CSettingsBytes::Create(Base64Decode(pair_I.mValue->GetValueString())));
    return;
  }
  map_IO.Set(key, pair_I.mValue);
}

}  // namespace

SettingsMapPtr CSettingsMap::Create() { return SettingsMapPtr(new CSettingsMap()); }

SettingsPtr CSettingsMap::Get(const std::string& key_I) const
{
  const auto found = mMap.find(key_I);
  if (found == mMap.end()) {
    return {};
  }
  const SettingsPtr& object = found->second;
  ORV_ASSERT(object);
  if (dynamic_cast<const CSettingsNULL*>(object.get()) != nullptr) {
    return {};
  }
  return object;
}

std::string CSettingsMap::GetTypeNameOf(const std::string& key_I) const
{
  const SettingsPtr node = Get(key_I);
  return node ? node->GetTypeName() : std::string();
}

bool CSettingsMap::HasKey(const std::string& key_I) const { return Get(key_I) != nullptr; }

std::vector<std::string> CSettingsMap::GetKeys() const
{
  std::vector<std::string> keys;
  keys.reserve(mMap.size());
  for (const auto& entry : mMap) {
    keys.push_back(entry.first);
  }
  return keys;
}

void CSettingsMap::Set(const std::string& key_I, SettingsPtr node_I)
{
  mMap[key_I] = node_I ? std::move(node_I) : CSettingsNULL::Create();
}

std::shared_ptr<CSettingsBool> CSettingsMap::GetBoolNode(const std::string& key_I) const
{
  return std::dynamic_pointer_cast<CSettingsBool>(Get(key_I));
}

std::shared_ptr<CSettingsInteger> CSettingsMap::GetIntegerNode(const std::string& key_I) const
{
  return std::dynamic_pointer_cast<CSettingsInteger>(Get(key_I));
}

std::shared_ptr<CSettingsString> CSettingsMap::GetStringNode(const std::string& key_I) const
{
  return std::dynamic_pointer_cast<CSettingsString>(Get(key_I));
}

bool CSettingsMap::GetBool(const std::string& key_I, bool default_I) const
{
  const auto node = GetBoolNode(key_I);
  return node ? node->Value() : default_I;
}

int64_t CSettingsMap::GetInteger(const std::string& key_I, int64_t default_I) const
{
  const auto node = GetIntegerNode(key_I);
  return node ? node->Value() : default_I;
}

std::string CSettingsMap::GetString(const std::string& key_I, const std::string& default_I) const
{
  const auto node = GetStringNode(key_I);
  return node ? node->Value() : default_I;
}

SettingsPtr CSettingsMap::Clone() const
{
  SettingsMapPtr copy = Create();
  for (const auto& [key, child] : mMap) {
    copy->Set(key, child->Clone());
  }
  return copy;
}

std::string CSettingsMap::GetTypeName() const { return "map"; }
std::string CSettingsMap::GetValueString() const { return ""; }

std::string CSettingsMap::ToTypedText() const
{
  std::vector<std::string> items;
  for (const auto& [key, child] : mMap) {
    items.push_back(key + ":" + child->ToTypedText());
  }
  return WriteTypedBlock(GetTypeName(), items);
}

void CSettingsMap::EncodeBer(std::vector<uint8_t>& output_IO) const
{
  AppendBerIdentifier(output_IO, EBERCLASS_APPLICATION, kBerTagMap);
  AppendBerLength(output_IO, kBerIndefiniteLength);
  for (const auto& [key, child] : mMap) {
    CSettingsString::Create(key)->EncodeBer(output_IO);
    child->EncodeBer(output_IO);
  }
  AppendBerEndOfContents(output_IO);
}

// Children are compared as stored, so two null children under the same key are equal.
bool CSettingsMap::Equals(const SettingsPtr& other_I) const
{
  const auto* other = dynamic_cast<const CSettingsMap*>(other_I.get());
  if (other == nullptr || other->mMap.size() != mMap.size()) {
    return false;
  }
  auto theirs = other->mMap.begin();
  for (const auto& [key, mine] : mMap) {
    if (key != theirs->first || !mine->Equals(theirs->second)) {
      return false;
    }
    ++theirs;
  }
  return true;
}

std::string CSettingsMap::ToJson(int level_I) const
{
  std::vector<std::string> items;
  for (const auto& [key, child] : mMap) {
    items.push_back(WriteQuoted(key) + ": " + child->ToJson(ChildLevel(level_I)));
  }
  return WriteJsonBlock('{', items, level_I, '}');
}

SettingsMapPtr CSettingsMap::ParseMap(const std::string& buffer_I, size_t& pos_IO, size_t depth_I,
                                      SSettingsDiagnostics* diagnostics_O)
{
  if (pos_IO >= buffer_I.size() || buffer_I[pos_IO] != '{') {
    return {};
  }
  const auto fail = [&](size_t pos_I, const std::string& reason_I) {
    if (diagnostics_O != nullptr) diagnostics_O->Fail(buffer_I, pos_I, reason_I);
    return SettingsMapPtr();
  };
  if (depth_I >= kSettingsMaxDepth) {
    return fail(pos_IO, "nested deeper than " + std::to_string(kSettingsMaxDepth) + " levels");
  }
  SettingsMapPtr map = Create();
  CPendingPair pair;
  size_t pos = pos_IO + 1;
  while (true) {
    SkipSpaceAndComments(buffer_I, pos);
    if (pos >= buffer_I.size()) {
      return fail(pos_IO, "the map opened here has no closing '}'");
    }
    if (buffer_I[pos] == '}') {
      try {
        StoreLastPair(*map, pair);
      } catch (const std::exception&) {
        return fail(pos, "the byte string before this '}' is not base64");
      }
      pos_IO = pos + 1;
      return map;
    }
    if (buffer_I[pos] == ',') {
      // Every comma ends one whole pair: "{,", ",," and a comma where a value belongs are all errors.
      if (!pair.IsComplete()) {
        return fail(pos, !pair.mKey ? "a comma with no pair before it"
                                    : "a comma where the value of " + Quoted(pair) + " belongs");
      }
      map->Set(pair.mKey->Value(), pair.mValue);
      pair = CPendingPair();
      ++pos;
      continue;
    }
    if (!ReadPairPart(buffer_I, pos, depth_I + 1, pair, diagnostics_O)) {
      return {};
    }
  }
}

}  // namespace orv

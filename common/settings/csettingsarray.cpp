#include "common/settings/csettingsarray.h"

#include "common/asn1coding.h"
#include "common/assertion.h"

namespace orv {
namespace {

// The settings tree's own application tag for an array.
constexpr uint32_t kBerTagArray = 2;

}  // namespace

SettingsArrayPtr CSettingsArray::Create() { return SettingsArrayPtr(new CSettingsArray()); }

SettingsPtr CSettingsArray::Get(size_t index_I) const
{
  if (index_I >= mObjectVector.size()) {
    return {};
  }
  const SettingsPtr& object = mObjectVector[index_I];
  ORV_ASSERT(object);
  if (dynamic_cast<const CSettingsNULL*>(object.get()) != nullptr) {
    return {};
  }
  return object;
}

void CSettingsArray::Append(SettingsPtr node_I)
{
  mObjectVector.push_back(node_I ? std::move(node_I) : CSettingsNULL::Create());
}

std::shared_ptr<CSettingsString> CSettingsArray::GetStringNode(size_t index_I) const
{
  return std::dynamic_pointer_cast<CSettingsString>(Get(index_I));
}

SettingsPtr CSettingsArray::Clone() const
{
  SettingsArrayPtr copy = Create();
  for (const SettingsPtr& element : mObjectVector) {
    copy->Append(element->Clone());
  }
  return copy;
}

std::string CSettingsArray::GetTypeName() const { return "array"; }
std::string CSettingsArray::GetValueString() const { return ""; }

// Each element is preceded by its position.
std::string CSettingsArray::ToTypedText() const
{
  std::vector<std::string> items;
  for (size_t i = 0; i < mObjectVector.size(); ++i) {
    items.push_back(std::to_string(i) + ":" + mObjectVector[i]->ToTypedText());
  }
  return WriteTypedBlock(GetTypeName(), items);
}

void CSettingsArray::EncodeBer(std::vector<uint8_t>& output_IO) const
{
  AppendBerIdentifier(output_IO, EBERCLASS_APPLICATION, kBerTagArray);
  AppendBerLength(output_IO, kBerIndefiniteLength);
  for (const SettingsPtr& element : mObjectVector) {
    element->EncodeBer(output_IO);
  }
  AppendBerEndOfContents(output_IO);
}

bool CSettingsArray::Equals(const SettingsPtr& other_I) const
{
  const auto* other = dynamic_cast<const CSettingsArray*>(other_I.get());
  if (other == nullptr || other->mObjectVector.size() != mObjectVector.size()) {
    return false;
  }
  for (size_t i = 0; i < mObjectVector.size(); ++i) {
    if (!mObjectVector[i]->Equals(other->mObjectVector[i])) {
      return false;
    }
  }
  return true;
}

std::string CSettingsArray::ToJson(int level_I) const
{
  std::vector<std::string> items;
  for (const SettingsPtr& element : mObjectVector) {
    items.push_back(element->ToJson(ChildLevel(level_I)));
  }
  return WriteJsonBlock('[', items, level_I, ']');
}

SettingsArrayPtr CSettingsArray::ParseArray(const std::string& buffer_I, size_t& pos_IO, size_t depth_I,
                                            SSettingsDiagnostics* diagnostics_O)
{
  if (pos_IO >= buffer_I.size() || buffer_I[pos_IO] != '[') {
    return {};
  }
  const auto fail = [&](size_t pos_I, const std::string& reason_I) {
    if (diagnostics_O != nullptr) diagnostics_O->Fail(buffer_I, pos_I, reason_I);
    return SettingsArrayPtr();
  };
  if (depth_I >= kSettingsMaxDepth) {
    return fail(pos_IO, "nested deeper than " + std::to_string(kSettingsMaxDepth) + " levels");
  }
  SettingsArrayPtr array = Create();
  SettingsPtr pending;
  size_t pos = pos_IO + 1;
  while (true) {
    SkipSpaceAndComments(buffer_I, pos);
    if (pos >= buffer_I.size()) {
      return fail(pos_IO, "the array opened here has no closing ']'");
    }
    if (buffer_I[pos] == ']') {
      if (pending) {
        array->Append(pending);
      }
      pos_IO = pos + 1;
      return array;
    }
    if (buffer_I[pos] == ',') {
      if (!pending) {
        return fail(pos, "a comma with no element before it");
      }
      array->Append(std::move(pending));
      pending.reset();
      ++pos;
      continue;
    }
    if (pending) {
      return fail(pos, "expected ',' or ']' after an element");
    }
    pending = ParseValue(buffer_I, pos, depth_I + 1, diagnostics_O);
    if (!pending) {
      return fail(pos, "an element is missing");
    }
  }
}

}  // namespace orv

#include "common/osd/connector.h"

#include <algorithm>
#include <cctype>

#include "common/assertion.h"

namespace orv {
namespace {

constexpr size_t kDescriptorTextSize = 13;

}  // namespace

Connector::~Connector() = default;

bool Connector::Close()
{
  mEdid.clear();
  mNotOpened = false;
  return true;
}

std::string Connector::GetModelName()
{
  if (mEdid.empty()) mEdid = ReadEDID(kAnyDisplay);
  return DescriptorText(mEdid, 0xFC);
}

std::string Connector::GetSerialNumber(uint32_t deviceId_I)
{
  if (mEdid.empty()) mEdid = ReadEDID(deviceId_I);
  return ToUpper(DescriptorText(mEdid, 0xFF));
}

std::string Connector::DescriptorText(const std::vector<uint8_t>& edid_I, uint8_t tag_I)
{
  const uint8_t header[] = {0x00, 0x00, tag_I, 0x00};
  const auto found = std::search(edid_I.begin(), edid_I.end(), std::begin(header), std::end(header));
  if (found == edid_I.end()) return {};
  // The text field is 13 bytes: what follows it (the next descriptor, the extension count, the checksum) is not
  // part of the name, even when no zero byte ends the field.
  const size_t start = static_cast<size_t>(found - edid_I.begin()) + sizeof(header);
  return FieldText(edid_I.data() + start, std::min(kDescriptorTextSize, edid_I.size() - start));
}

std::string Connector::FieldText(const uint8_t* field_I, size_t size_I)
{
  std::string text(field_I, std::find(field_I, field_I + size_I, 0x00));
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

std::string Connector::CapabilitiesString(const std::string& capsStr_I)
{
  if (!capsStr_I.empty()) ORV_ASSERT(capsStr_I[0] == '(');
  std::string capabilitiesStr;
  int depth = 0;
  for (char c : capsStr_I) {
    capabilitiesStr += c;
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0) break;
  }
  ORV_ASSERT(!capabilitiesStr.empty());
  return capabilitiesStr;
}

}  // namespace orv

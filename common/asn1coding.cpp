#include "common/asn1coding.h"

#include <algorithm>

#include "common/assertion.h"

namespace orv {
namespace {

constexpr uint8_t kConstructedBit = 0x20;

bool IsPrimitive(EBerClass class_I, uint32_t tagNumber_I)
{
  if (class_I == EBERCLASS_APPLICATION) {
    return tagNumber_I == 1;  // the settings tree's double
  }
  if (class_I != EBERCLASS_UNIVERSAL) {
    return false;
  }
  constexpr uint32_t kPrimitiveUniversalTags[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 12, 24};
  return std::find(std::begin(kPrimitiveUniversalTags), std::end(kPrimitiveUniversalTags), tagNumber_I) !=
         std::end(kPrimitiveUniversalTags);
}

}  // namespace

uint8_t BerIdentifier(EBerClass class_I, uint32_t tagNumber_I)
{
  if (tagNumber_I > EBERTAG_MAX_VALUE) {
    AssertReport("eType <= eTypeMAX_VALUE", __FILE__, __LINE__);
    return 0;
  }
  const uint8_t constructed = IsPrimitive(class_I, tagNumber_I) ? 0 : kConstructedBit;
  return static_cast<uint8_t>(class_I | tagNumber_I | constructed);
}

void AppendBerIdentifier(std::vector<uint8_t>& output_IO, EBerClass class_I, uint32_t tagNumber_I)
{
  output_IO.push_back(BerIdentifier(class_I, tagNumber_I));
}

void AppendBerLength(std::vector<uint8_t>& output_IO, uint64_t length_I)
{
  if (length_I == kBerIndefiniteLength) {
    output_IO.push_back(0x80);
    return;
  }
  if (length_I < 0x80) {
    output_IO.push_back(static_cast<uint8_t>(length_I));
    return;
  }
  size_t octets = 0;
  for (uint64_t rest = length_I; rest != 0; rest >>= 8) {
    ++octets;
  }
  output_IO.push_back(static_cast<uint8_t>(0x80 + octets));
  for (size_t i = octets; i > 0; --i) {
    output_IO.push_back(static_cast<uint8_t>(length_I >> (8 * (i - 1))));
  }
}

void AppendBerEndOfContents(std::vector<uint8_t>& output_IO)
{
  output_IO.push_back(0x00);
  output_IO.push_back(0x00);
}

}  // namespace orv

// BER identifier and length octets, as used by the binary form of the settings tree.
#pragma once

#include <cstdint>
#include <vector>

namespace orv {

// The class bits of an identifier octet.
enum EBerClass : uint8_t {
  EBERCLASS_UNIVERSAL = 0x00,
  EBERCLASS_APPLICATION = 0x40,
  EBERCLASS_CONTEXT = 0x80,
  EBERCLASS_PRIVATE = 0xC0,
};

// Universal tag numbers; tag numbers above EBERTAG_MAX_VALUE need the long form, which is not written.
enum EBerTag : uint32_t {
  EBERTAG_END_OF_CONTENTS = 0,
  EBERTAG_BOOLEAN = 1,
  EBERTAG_INTEGER = 2,
  EBERTAG_OCTET_STRING = 4,
  EBERTAG_NULL = 5,
  EBERTAG_UTF8_STRING = 12,
  EBERTAG_MAX_VALUE = 30,
};

// Written as the single octet 0x80: the contents end with two zero octets.
inline constexpr uint64_t kBerIndefiniteLength = 0xFFFFFFFF;

// Class bits | tag number, with the constructed bit 0x20 unless the tag is one of the primitive ones.
// A tag number above 30 is reported and gives identifier 0.
uint8_t BerIdentifier(EBerClass class_I, uint32_t tagNumber_I);
void AppendBerIdentifier(std::vector<uint8_t>& output_IO, EBerClass class_I, uint32_t tagNumber_I);
// Definite length (short form below 128, else the shortest long form), or kBerIndefiniteLength.
void AppendBerLength(std::vector<uint8_t>& output_IO, uint64_t length_I);
void AppendBerEndOfContents(std::vector<uint8_t>& output_IO);

}  // namespace orv

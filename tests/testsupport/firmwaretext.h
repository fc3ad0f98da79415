// Firmware files written by the tests themselves: S3 records and Intel HEX with CR LF line ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv::test {

struct STestSegment {
  uint32_t start = 0;
  std::vector<uint8_t> data;
};

// Deterministic bytes that differ from address to address and are rarely 0xFF.
std::vector<uint8_t> PatternBytes(uint32_t seed_I, size_t length_I);
std::string SRecordText(const std::vector<STestSegment>& segments_I);
std::string IntelHexText(uint32_t start_I, const std::vector<uint8_t>& data_I);
// One record with its line end: S-record type '0' to '9' with the address width of its type (LF), Intel HEX
// (CR LF). checksumDelta_I spoils the checksum by adding to it, checksumFlip_I by flipping its bits.
std::string SRecordLine(char type_I, uint32_t address_I, const std::vector<uint8_t>& data_I, int checksumDelta_I = 0);
std::string IntelHexRecord(uint8_t type_I, uint16_t address_I, const std::vector<uint8_t>& fields_I,
                           uint8_t checksumFlip_I = 0);

}  // namespace orv::test

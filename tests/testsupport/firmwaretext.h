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

}  // namespace orv::test

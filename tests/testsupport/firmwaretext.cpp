#include "tests/testsupport/firmwaretext.h"

#include <numeric>

namespace orv::test {
namespace {

std::string HexBytes(const std::vector<uint8_t>& bytes_I)
{
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : bytes_I) text += {kDigits[byte >> 4], kDigits[byte & 0xF]};
  return text;
}

}  // namespace

std::vector<uint8_t> PatternBytes(uint32_t seed_I, size_t length_I)
{
  std::vector<uint8_t> bytes(length_I);
  uint32_t state = seed_I;
  for (uint8_t& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

std::string SRecordLine(char type_I, uint32_t address_I, const std::vector<uint8_t>& data_I, int checksumDelta_I)
{
  // S0, S1, S5 and S9 carry 16-bit addresses, S2, S6 and S8 24-bit ones, S3 and S7 32-bit ones.
  static const size_t kAddressBytes[] = {2, 2, 3, 4, 2, 2, 3, 4, 3, 2};
  const size_t addressBytes = kAddressBytes[type_I - '0'];
  std::vector<uint8_t> body{static_cast<uint8_t>(addressBytes + data_I.size() + 1)};
  for (size_t i = addressBytes; i-- > 0;) body.push_back(static_cast<uint8_t>(address_I >> (8 * i)));
  body.insert(body.end(), data_I.begin(), data_I.end());
  const unsigned sum = std::accumulate(body.begin(), body.end(), 0u);
  body.push_back(static_cast<uint8_t>(~sum + checksumDelta_I));
  return std::string("S") + type_I + HexBytes(body) + "\n";
}

std::string IntelHexRecord(uint8_t type_I, uint16_t address_I, const std::vector<uint8_t>& fields_I, uint8_t checksumFlip_I)
{
  std::vector<uint8_t> body{static_cast<uint8_t>(fields_I.size()), static_cast<uint8_t>(address_I >> 8),
                            static_cast<uint8_t>(address_I), type_I};
  body.insert(body.end(), fields_I.begin(), fields_I.end());
  const unsigned sum = std::accumulate(body.begin(), body.end(), 0u);
  body.push_back(static_cast<uint8_t>((0x100 - (sum & 0xFF)) ^ checksumFlip_I));
  return ":" + HexBytes(body) + "\r\n";
}

std::string SRecordText(const std::vector<STestSegment>& segments_I)
{
  std::string text = "S00600004844521B\n";
  for (const STestSegment& segment : segments_I) {
    for (size_t offset = 0; offset < segment.data.size(); offset += 32) {
      const size_t length = std::min<size_t>(32, segment.data.size() - offset);
      const auto begin = segment.data.begin() + static_cast<long>(offset);
      text += SRecordLine('3', static_cast<uint32_t>(segment.start + offset), {begin, begin + static_cast<long>(length)});
    }
  }
  return text + "S70500000000FA\n";
}

std::string IntelHexText(uint32_t start_I, const std::vector<uint8_t>& data_I)
{
  std::string text;
  uint32_t upper = 0xFFFFFFFF;
  for (size_t offset = 0; offset < data_I.size(); offset += 16) {
    const uint32_t address = static_cast<uint32_t>(start_I + offset);
    if (address >> 16 != upper) {
      upper = address >> 16;
      text += IntelHexRecord(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
    }
    const size_t length = std::min<size_t>(16, data_I.size() - offset);
    text += IntelHexRecord(0, static_cast<uint16_t>(address),
                    std::vector<uint8_t>(data_I.begin() + static_cast<long>(offset),
                                         data_I.begin() + static_cast<long>(offset + length)));
  }
  return text + IntelHexRecord(1, 0, {});
}

}  // namespace orv::test

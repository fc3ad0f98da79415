#include "common/textconversion.h"

#include <algorithm>
#include <cstdint>

namespace orv {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The bytes that may follow a lead byte, and how many continuation bytes it needs (0: not a lead byte).
struct CLeadByte {
  int mContinuations;
  uint8_t mFirstLow;
  uint8_t mFirstHigh;
};

// Overlong forms, encoded surrogates and values above U+10FFFF are excluded by the range allowed for
// the first continuation byte.
CLeadByte ClassifyLead(uint8_t lead_I)
{
  if (lead_I >= 0xC2 && lead_I <= 0xDF) return {1, 0x80, 0xBF};
  if (lead_I == 0xE0) return {2, 0xA0, 0xBF};
  if (lead_I == 0xED) return {2, 0x80, 0x9F};
  if (lead_I >= 0xE1 && lead_I <= 0xEF) return {2, 0x80, 0xBF};
  if (lead_I == 0xF0) return {3, 0x90, 0xBF};
  if (lead_I >= 0xF1 && lead_I <= 0xF3) return {3, 0x80, 0xBF};
  if (lead_I == 0xF4) return {3, 0x80, 0x8F};
  return {0, 0, 0};
}

void AppendUtf16(char32_t codePoint_I, std::u16string& text_IO)
{
  if (codePoint_I < 0x10000) {
    text_IO.push_back(static_cast<char16_t>(codePoint_I));
    return;
  }
  const char32_t offset = codePoint_I - 0x10000;
  text_IO.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
  text_IO.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

// Decodes one sequence starting at pos_IO and moves past it; a broken sequence is consumed up to, but
// not including, the first byte that does not fit, and decodes to U+FFFD.
char32_t DecodeSequence(const std::string& text_I, size_t end_I, size_t& pos_IO)
{
  const uint8_t lead = static_cast<uint8_t>(text_I[pos_IO++]);
  if (lead < 0x80) {
    return lead;
  }
  const CLeadByte kind = ClassifyLead(lead);
  if (kind.mContinuations == 0) {
    return kReplacement;
  }
  char32_t codePoint = lead & (0x3F >> kind.mContinuations);
  for (int i = 0; i < kind.mContinuations; ++i) {
    const uint8_t low = i == 0 ? kind.mFirstLow : 0x80;
    const uint8_t high = i == 0 ? kind.mFirstHigh : 0xBF;
    if (pos_IO >= end_I) {
      return kReplacement;
    }
    const uint8_t next = static_cast<uint8_t>(text_I[pos_IO]);
    if (next < low || next > high) {
      return kReplacement;
    }
    codePoint = (codePoint << 6) | (next & 0x3F);
    ++pos_IO;
  }
  return codePoint;
}

void AppendUtf8(char32_t codePoint_I, std::string& text_IO)
{
  if (codePoint_I < 0x80) {
    text_IO.push_back(static_cast<char>(codePoint_I));
    return;
  }
  if (codePoint_I < 0x800) {
    text_IO.push_back(static_cast<char>(0xC0 | (codePoint_I >> 6)));
  } else if (codePoint_I < 0x10000) {
    text_IO.push_back(static_cast<char>(0xE0 | (codePoint_I >> 12)));
    text_IO.push_back(static_cast<char>(0x80 | ((codePoint_I >> 6) & 0x3F)));
  } else {
    text_IO.push_back(static_cast<char>(0xF0 | (codePoint_I >> 18)));
    text_IO.push_back(static_cast<char>(0x80 | ((codePoint_I >> 12) & 0x3F)));
    text_IO.push_back(static_cast<char>(0x80 | ((codePoint_I >> 6) & 0x3F)));
  }
  text_IO.push_back(static_cast<char>(0x80 | (codePoint_I & 0x3F)));
}

bool IsHighSurrogate(char16_t unit_I) { return unit_I >= 0xD800 && unit_I <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit_I) { return unit_I >= 0xDC00 && unit_I <= 0xDFFF; }

}  // namespace

std::u16string Utf8ToWide(const std::string& text_I)
{
  const size_t end = std::min(text_I.find('\0'), text_I.size());
  std::u16string result;
  result.reserve(end);
  size_t pos = 0;
  while (pos < end) {
    AppendUtf16(DecodeSequence(text_I, end, pos), result);
  }
  return result;
}

std::string WideToUtf8(const std::u16string& text_I)
{
  const size_t end = std::min(text_I.find(u'\0'), text_I.size());
  std::string result;
  result.reserve(end);
  for (size_t pos = 0; pos < end; ++pos) {
    const char16_t unit = text_I[pos];
    if (IsHighSurrogate(unit) && pos + 1 < end && IsLowSurrogate(text_I[pos + 1])) {
      AppendUtf8(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text_I[pos + 1]) - 0xDC00), result);
      ++pos;
      continue;
    }
    const bool unpaired = IsHighSurrogate(unit) || IsLowSurrogate(unit);
    AppendUtf8(unpaired ? kReplacement : char32_t(unit), result);
  }
  return result;
}

}  // namespace orv

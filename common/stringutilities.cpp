#include "common/stringutilities.h"

#include <algorithm>
#include <cctype>
#include <cwctype>

#include "common/assertion.h"
#include "common/corvexception.h"

namespace orv {
namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool IsSpace(char c_I) { return std::isspace(static_cast<unsigned char>(c_I)) != 0; }
bool IsSpace(char16_t c_I) { return std::iswspace(static_cast<wint_t>(c_I)) != 0; }

char16_t LowerUnit(char16_t c_I) { return (c_I >= u'A' && c_I <= u'Z') ? static_cast<char16_t>(c_I + 32) : c_I; }

template <typename String>
void TrimString(String& text_IO)
{
  auto first = std::find_if(text_IO.begin(), text_IO.end(), [](auto c) { return !IsSpace(c); });
  text_IO.erase(text_IO.begin(), first);
  auto last = std::find_if(text_IO.rbegin(), text_IO.rend(), [](auto c) { return !IsSpace(c); });
  text_IO.erase(last.base(), text_IO.end());
}

uint8_t Base64Index(char c_I)
{
  if (c_I >= 'A' && c_I <= 'Z') return static_cast<uint8_t>(c_I - 'A');
  if (c_I >= 'a' && c_I <= 'z') return static_cast<uint8_t>(c_I - 'a' + 26);
  if (c_I >= '0' && c_I <= '9') return static_cast<uint8_t>(c_I - '0' + 52);
  if (c_I == '+') return 62;
  if (c_I == '/') return 63;
  throw COrvException(nullptr, 0, "bad char", 0xFFFF);
}

}  // namespace

std::string ToLower(const std::string& text_I)
{
  std::string result(text_I);
  for (char& c : result) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return result;
}

std::string ToUpper(const std::string& text_I)
{
  std::string result(text_I);
  for (char& c : result) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return result;
}

void Trim(std::string& text_IO) { TrimString(text_IO); }

std::string Trimmed(const std::string& text_I)
{
  std::string result(text_I);
  Trim(result);
  return result;
}

bool EqualsIgnoreCase(const std::string& a_I, const std::string& b_I)
{
  return a_I == b_I || ToLower(a_I) == ToLower(b_I);
}

std::vector<std::string> Split(const std::string& text_I, const std::string& delimiters_I)
{
  std::vector<std::string> pieces;
  size_t pos = text_I.find_first_not_of(delimiters_I);
  while (pos != std::string::npos) {
    const size_t end = text_I.find_first_of(delimiters_I, pos);
    pieces.push_back(text_I.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    pos = text_I.find_first_not_of(delimiters_I, end);
  }
  return pieces;
}

std::u16string ToLower(const std::u16string& text_I)
{
  std::u16string result(text_I);
  std::transform(result.begin(), result.end(), result.begin(), LowerUnit);
  return result;
}

void Trim(std::u16string& text_IO) { TrimString(text_IO); }

size_t FindIgnoreCase(const std::u16string& haystack_I, const std::u16string& needle_I)
{
  const size_t exact = haystack_I.find(needle_I);
  if (exact != std::u16string::npos) {
    return exact;
  }
  return ToLower(haystack_I).find(ToLower(needle_I));
}

std::vector<std::u16string> Split(const std::u16string& text_I, const std::u16string& delimiters_I,
                                  bool dropEmpty_I)
{
  std::vector<std::u16string> pieces;
  size_t pos = 0;
  while (pos < text_I.size()) {
    size_t end = text_I.find_first_of(delimiters_I, pos);
    if (end == std::u16string::npos) {
      end = text_I.size();
    }
    if (end > pos || !dropEmpty_I) {
      pieces.push_back(text_I.substr(pos, end - pos));
    }
    pos = end + 1;
  }
  return pieces;
}

std::string Base64Encode(const std::vector<uint8_t>& bytes_I)
{
  std::string text;
  text.reserve((bytes_I.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes_I.size(); i += 3) {
    const size_t count = std::min<size_t>(3, bytes_I.size() - i);
    uint32_t group = static_cast<uint32_t>(bytes_I[i]) << 16;
    if (count > 1) group |= static_cast<uint32_t>(bytes_I[i + 1]) << 8;
    if (count > 2) group |= bytes_I[i + 2];
    for (size_t c = 0; c <= count; ++c) {
      text.push_back(kBase64Alphabet[(group >> (18 - 6 * c)) & 0x3F]);
    }
  }
  return text;
}

std::vector<uint8_t> Base64Decode(const std::string& text_I)
{
  std::vector<uint8_t> bytes;
  bytes.reserve(text_I.size() / 4 * 3 + 2);
  for (size_t i = 0; i < text_I.size(); i += 4) {
    const size_t count = std::min<size_t>(4, text_I.size() - i);
    uint32_t group = 0;
    for (size_t c = 0; c < count; ++c) {
      group |= static_cast<uint32_t>(Base64Index(text_I[i + c])) << (18 - 6 * c);
    }
    // Four characters carry three bytes, three carry two, two carry one; a lone one carries none.
    for (size_t b = 0; b + 1 < count; ++b) {
      bytes.push_back(static_cast<uint8_t>(group >> (16 - 8 * b)));
    }
  }
  return bytes;
}

PackedVersion VersionFromNumber(uint32_t value_I, int style_I)
{
  const auto byte = [value_I](int shift) { return static_cast<uint8_t>(value_I >> shift); };
  switch (style_I) {
    case 2:
      return {byte(16), byte(8), byte(0), 5, 0};
    case 3:
      return {byte(16), static_cast<uint8_t>((value_I % 65536) / 10), static_cast<uint8_t>((value_I % 65536) % 10), 0, 0};
    case 4:
      return {byte(8), byte(0), 0, 0, 0};
    case 5:
      return {byte(16), byte(8), byte(0), 0, 0};
    default:
      ORV_ASSERT_MESSAGE("This style not supported from number");
      return {0, 0, 0, 0, 0};
  }
}

std::string PackedVersionText(const PackedVersion& version_I)
{
  if (version_I == PackedVersion{}) return "";
  return std::to_string(version_I[0]) + "." + std::to_string(version_I[1]) + "." + std::to_string(version_I[2]);
}

}  // namespace orv

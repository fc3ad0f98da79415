#include "common/settings/csettingsobject.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>

#include "common/asn1coding.h"
#include "common/assertion.h"
#include "common/settings/csettingsarray.h"
#include "common/settings/csettingsmap.h"
#include "common/stringutilities.h"

namespace orv {
namespace {

// The settings tree's own application tag for a binary64 value.
constexpr uint32_t kBerTagDouble = 1;

bool IsSpace(char c_I) { return std::isspace(static_cast<unsigned char>(c_I)) != 0; }
bool IsDigit(char c_I) { return c_I >= '0' && c_I <= '9'; }
bool IsIntegerChar(char c_I) { return IsDigit(c_I) || c_I == '-'; }
bool IsNumberChar(char c_I) { return IsIntegerChar(c_I) || c_I == '+' || c_I == '.' || c_I == 'e' || c_I == 'E'; }

bool StartsWithAt(const std::string& buffer_I, size_t pos_I, const std::string& literal_I)
{
  return buffer_I.size() - pos_I >= literal_I.size() && buffer_I.compare(pos_I, literal_I.size(), literal_I) == 0;
}

size_t EndOfRun(const std::string& buffer_I, size_t pos_I, bool (*isMember_I)(char))
{
  while (pos_I < buffer_I.size() && isMember_I(buffer_I[pos_I])) {
    ++pos_I;
  }
  return pos_I;
}

template <typename T>
const T* As(const SettingsPtr& node_I)
{
  return dynamic_cast<const T*>(node_I.get());
}

std::string ScalarTypedText(const CSettingsObject& node_I)
{
  return node_I.GetTypeName() + "[" + node_I.GetValueString() + "]";
}

void AppendBigEndian(std::vector<uint8_t>& output_IO, uint64_t value_I, size_t octets_I)
{
  for (size_t i = octets_I; i > 0; --i) {
    output_IO.push_back(static_cast<uint8_t>(value_I >> (8 * (i - 1))));
  }
}

template <typename Bytes>
void AppendPrimitive(std::vector<uint8_t>& output_IO, uint32_t tag_I, const Bytes& bytes_I)
{
  AppendBerIdentifier(output_IO, EBERCLASS_UNIVERSAL, tag_I);
  AppendBerLength(output_IO, bytes_I.size());
  output_IO.insert(output_IO.end(), bytes_I.begin(), bytes_I.end());
}

// Each \u escape is encoded on its own (no surrogate pairing); four hex digits reach at most 0xFFFF.
void AppendUtf8(uint32_t codePoint_I, std::string& text_IO)
{
  if (codePoint_I <= 0x7F) {
    text_IO.push_back(static_cast<char>(codePoint_I));
    return;
  }
  if (codePoint_I <= 0x7FF) {
    text_IO.push_back(static_cast<char>(0xC0 | (codePoint_I >> 6)));
    text_IO.push_back(static_cast<char>(0x80 | (codePoint_I & 0x3F)));
    return;
  }
  text_IO.push_back(static_cast<char>(0xE0 | (codePoint_I >> 12)));
  text_IO.push_back(static_cast<char>(0x80 | ((codePoint_I >> 6) & 0x3F)));
  text_IO.push_back(static_cast<char>(0x80 | (codePoint_I & 0x3F)));
}

// The four characters after "u" are consumed; the number stops at the first one that is not a hex digit.
bool AppendUnicodeEscape(const std::string& buffer_I, size_t& pos_IO, std::string& text_IO)
{
  constexpr size_t kDigits = 4;
  if (buffer_I.size() - pos_IO < kDigits) {
    return false;
  }
  uint32_t codePoint = 0;
  std::from_chars(buffer_I.data() + pos_IO, buffer_I.data() + pos_IO + kDigits, codePoint, 16);
  pos_IO += kDigits;
  AppendUtf8(codePoint, text_IO);
  return true;
}

// pos_IO stands behind the backslash.
bool AppendEscape(const std::string& buffer_I, size_t& pos_IO, std::string& text_IO)
{
  if (pos_IO >= buffer_I.size()) {
    return false;
  }
  const char letter = buffer_I[pos_IO++];
  switch (letter) {
    case '"':
    case '\\':
    case '/':
      text_IO.push_back(letter);
      return true;
    case 'b':
      text_IO.push_back('\b');
      return true;
    case 'f':
      text_IO.push_back('\f');
      return true;
    case 'n':
      text_IO.push_back('\n');
      return true;
    case 'r':
      text_IO.push_back('\r');
      return true;
    case 't':
      text_IO.push_back('\t');
      return true;
    case 'u':
      return AppendUnicodeEscape(buffer_I, pos_IO, text_IO);
    default:
      return false;
  }
}

SettingsPtr ParseLiteral(const std::string& buffer_I, size_t& pos_IO)
{
  if (StartsWithAt(buffer_I, pos_IO, "true")) {
    pos_IO += 4;
    return CSettingsBool::Create(true);
  }
  if (StartsWithAt(buffer_I, pos_IO, "false")) {
    pos_IO += 5;
    return CSettingsBool::Create(false);
  }
  if (StartsWithAt(buffer_I, pos_IO, "null")) {
    pos_IO += 4;
    return CSettingsNULL::Create();
  }
  return {};
}

SettingsPtr ParseNumber(const std::string& buffer_I, size_t& pos_IO)
{
  const auto first = buffer_I.begin() + static_cast<std::ptrdiff_t>(pos_IO);
  const auto last = buffer_I.begin() + static_cast<std::ptrdiff_t>(EndOfRun(buffer_I, pos_IO, IsNumberChar));
  if (std::none_of(first, last, [](char c_I) { return c_I == '.' || c_I == 'e' || c_I == 'E'; })) {
    return CSettingsObject::ParseInteger(buffer_I, pos_IO);
  }
  return CSettingsObject::ParseDouble(buffer_I, pos_IO);
}

// A map holding nothing but a bytes node under "SbyteS" is how settings text writes bytes.
SettingsPtr UnwrapBytes(const SettingsMapPtr& map_I)
{
  if (map_I && map_I->Size() == 1 && map_I->GetTypeNameOf(kSettingsBytesKey) == "bytes") {
    return map_I->Get(kSettingsBytesKey);
  }
  return map_I;
}

std::string Shown(char c_I)
{
  if (c_I >= 0x20 && c_I < 0x7F) return "'" + std::string(1, c_I) + "'";
  char text[8];
  std::snprintf(text, sizeof(text), "0x%02X", static_cast<unsigned char>(c_I));
  return "byte " + std::string(text);
}

SettingsPtr ParseRoot(const std::string& buffer_I, SSettingsDiagnostics* diagnostics_O)
{
  // An editor may put a UTF-8 byte order mark in front of the text: it belongs to no value.
  size_t pos = buffer_I.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  const size_t warningsBefore = diagnostics_O != nullptr ? diagnostics_O->warnings.size() : 0;
  std::optional<size_t> firstStray;
  while (true) {
    CSettingsObject::SkipSpaceAndComments(buffer_I, pos);
    if (pos >= buffer_I.size()) {
      // Text that never opens a document is one fault, not one per character.
      if (diagnostics_O != nullptr) {
        diagnostics_O->warnings.resize(warningsBefore);
        diagnostics_O->Fail(buffer_I, firstStray.value_or(pos), "no '{' or '[' starts the document");
      }
      return {};
    }
    SettingsPtr root;
    if (buffer_I[pos] == '{') {
      root = CSettingsMap::ParseMap(buffer_I, pos, 0, diagnostics_O);
    } else if (buffer_I[pos] == '[') {
      root = CSettingsArray::ParseArray(buffer_I, pos, 0, diagnostics_O);
    } else {
      AssertReport("isspace((int)buffer_I[pos])", __FILE__, __LINE__);
      if (diagnostics_O != nullptr) diagnostics_O->Warn(buffer_I, pos, "stray " + Shown(buffer_I[pos]) + " skipped");
      if (!firstStray) firstStray = pos;
      ++pos;
      continue;
    }
    // Whatever follows the root is not read; a reader that checks a file still wants to know of it.
    if (root && diagnostics_O != nullptr) {
      CSettingsObject::SkipSpaceAndComments(buffer_I, pos);
      if (pos < buffer_I.size()) diagnostics_O->Warn(buffer_I, pos, "unexpected text after the closing bracket");
    }
    return root;
  }
}

}  // namespace

std::string SSettingsIssue::Text() const
{
  if (line == 0) return reason;
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + reason;
}

SSettingsIssue SSettingsDiagnostics::At(const std::string& buffer_I, size_t pos_I, const std::string& reason_I)
{
  const size_t end = std::min(pos_I, buffer_I.size());
  const size_t lineStart = buffer_I.rfind('\n', end == 0 ? std::string::npos : end - 1);
  SSettingsIssue issue;
  issue.line = 1 + static_cast<size_t>(std::count(buffer_I.begin(), buffer_I.begin() + static_cast<long>(end), '\n'));
  issue.column = end - (lineStart == std::string::npos || end == 0 ? 0 : lineStart + 1) + 1;
  issue.reason = reason_I;
  return issue;
}

void SSettingsDiagnostics::Fail(const std::string& buffer_I, size_t pos_I, const std::string& reason_I)
{
  if (hasError) return;
  hasError = true;
  error = At(buffer_I, pos_I, reason_I);
}

void SSettingsDiagnostics::Warn(const std::string& buffer_I, size_t pos_I, const std::string& reason_I)
{
  warnings.push_back(At(buffer_I, pos_I, reason_I));
}

std::pair<size_t, size_t> SSettingsDiagnostics::LineAndColumn(const std::string& buffer_I, size_t pos_I)
{
  const size_t end = std::min(pos_I, buffer_I.size());
  if (end < mCountedTo) {
    mCountedTo = 0;
    mLine = 1;
    mLineStart = 0;
  }
  for (; mCountedTo < end; ++mCountedTo) {
    if (buffer_I[mCountedTo] != '\n') continue;
    ++mLine;
    mLineStart = mCountedTo + 1;
  }
  return {mLine, end - mLineStart + 1};
}

SSettingsIssue SSettingsDiagnostics::AtNode(const SettingsPtr& node_I, const std::string& reason_I) const
{
  const auto found = positions.find(node_I.get());
  if (found == positions.end()) return SSettingsIssue{0, 0, reason_I};
  return SSettingsIssue{found->second.first, found->second.second, reason_I};
}

CSettingsObject::~CSettingsObject() = default;

SettingsMapPtr ToMap(const SettingsPtr& node_I) { return std::dynamic_pointer_cast<CSettingsMap>(node_I); }

SettingsArrayPtr ToArray(const SettingsPtr& node_I) { return std::dynamic_pointer_cast<CSettingsArray>(node_I); }

// ---- Writing ----

int CSettingsObject::ChildLevel(int level_I) { return level_I >= 0 ? level_I + 1 : level_I; }

std::string CSettingsObject::WriteJsonBlock(char open_I, const std::vector<std::string>& items_I, int level_I,
                                            char close_I)
{
  const std::string indentation(level_I >= 0 ? static_cast<size_t>(level_I) + 1 : 0, '\t');
  std::string text(1, open_I);
  text += '\n';
  for (const std::string& item : items_I) {
    text += indentation + item + ",\n";
  }
  if (!items_I.empty()) {
    text.resize(text.size() - 2);
  }
  text += '\n';
  text.append(indentation.size() > 0 ? indentation.size() - 1 : 0, '\t');
  text += close_I;
  return text;
}

std::string CSettingsObject::WriteTypedBlock(const std::string& typeName_I, const std::vector<std::string>& items_I)
{
  std::string text = typeName_I + "[";
  for (size_t i = 0; i < items_I.size(); ++i) {
    text += (i == 0 ? "" : ", ") + items_I[i];
  }
  return text + "]";
}

std::string CSettingsObject::WriteQuoted(const std::string& text_I)
{
  std::string quoted(1, '"');
  for (const char c : text_I) {
    switch (c) {
      case '"': quoted += "\\\""; continue;
      case '\\': quoted += "\\\\"; continue;
      case '\b': quoted += "\\b"; continue;
      case '\f': quoted += "\\f"; continue;
      case '\n': quoted += "\\n"; continue;
      case '\r': quoted += "\\r"; continue;
      case '\t': quoted += "\\t"; continue;
      default: break;
    }
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20) {
      // Bytes from 0x80 up go out as they are: the reader keeps them, so UTF-8 text stays readable.
      quoted.push_back(c);
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof(escape), "\\u%04X", byte);
    quoted += escape;
  }
  return quoted + '"';
}

// ---- Reading ----

SettingsPtr CSettingsObject::Parse(const std::string& buffer_I, SSettingsDiagnostics* diagnostics_O)
{
  // A malformed byte string throws from the base64 decoder; to the caller it is just malformed text.
  try {
    return ParseRoot(buffer_I, diagnostics_O);
  } catch (const std::exception&) {
    if (diagnostics_O != nullptr) diagnostics_O->Fail(buffer_I, 0, "malformed text");
    return {};
  }
}

SettingsPtr CSettingsObject::ParseFile(const std::string& path_I, SSettingsDiagnostics* diagnostics_O)
{
  const auto fail = [diagnostics_O](const std::string& reason_I) {
    if (diagnostics_O != nullptr && !diagnostics_O->hasError) {
      diagnostics_O->hasError = true;
      diagnostics_O->error = SSettingsIssue{0, 0, reason_I};
    }
    return SettingsPtr();
  };
  try {
    // Binary, so every platform reads the same bytes; 0x04 (end of transmission) ends the text. The path is
    // UTF-8, as everywhere else.
    std::ifstream in(std::filesystem::u8path(path_I), std::ios::binary);
    if (!in) {
      return fail("cannot open the file");
    }
    std::string text;
    std::getline(in, text, '\x04');
    if (in.bad()) {
      return fail("cannot read the file");
    }
    return Parse(text, diagnostics_O);
  } catch (const std::exception&) {
    return fail("cannot read the file");
  }
}

void CSettingsObject::SkipSpaceAndComments(const std::string& buffer_I, size_t& pos_IO)
{
  while (pos_IO < buffer_I.size()) {
    if (IsSpace(buffer_I[pos_IO])) {
      ++pos_IO;
      continue;
    }
    if (!StartsWithAt(buffer_I, pos_IO, "//")) {
      return;
    }
    const size_t lineFeed = buffer_I.find('\n', pos_IO);
    pos_IO = lineFeed == std::string::npos ? buffer_I.size() : lineFeed + 1;
  }
}

SettingsPtr CSettingsObject::ParseValue(const std::string& buffer_I, size_t& pos_IO, size_t depth_I,
                                        SSettingsDiagnostics* diagnostics_O)
{
  while (true) {
    SkipSpaceAndComments(buffer_I, pos_IO);
    if (pos_IO >= buffer_I.size()) {
      if (diagnostics_O != nullptr) diagnostics_O->Fail(buffer_I, pos_IO, "the text ends where a value belongs");
      return {};
    }
    const char c = buffer_I[pos_IO];
    const size_t start = pos_IO;
    std::pair<size_t, size_t> where;
    if (diagnostics_O != nullptr) where = diagnostics_O->LineAndColumn(buffer_I, start);
    const auto placed = [diagnostics_O, &where](SettingsPtr value_I) {
      if (value_I && diagnostics_O != nullptr) diagnostics_O->positions[value_I.get()] = where;
      return value_I;
    };
    if (c == '{') {
      return placed(UnwrapBytes(CSettingsMap::ParseMap(buffer_I, pos_IO, depth_I, diagnostics_O)));
    }
    if (c == '[') {
      return placed(CSettingsArray::ParseArray(buffer_I, pos_IO, depth_I, diagnostics_O));
    }
    if (SettingsPtr literal = ParseLiteral(buffer_I, pos_IO)) {
      return placed(literal);
    }
    if (c == '"') {
      return placed(ParseString(buffer_I, pos_IO, diagnostics_O));
    }
    if (IsIntegerChar(c)) {
      SettingsPtr number = ParseNumber(buffer_I, pos_IO);
      if (!number && diagnostics_O != nullptr) diagnostics_O->Fail(buffer_I, start, "malformed number");
      return placed(number);
    }
    // Stray characters where a value is expected are reported and skipped, not treated as errors.
    AssertReport("isspace((int)buffer_I[pos_IO])", __FILE__, __LINE__);
    if (diagnostics_O != nullptr) diagnostics_O->Warn(buffer_I, pos_IO, "stray " + Shown(c) + " skipped");
    ++pos_IO;
  }
}

std::shared_ptr<CSettingsString> CSettingsObject::ParseString(const std::string& buffer_I, size_t& pos_IO,
                                                              SSettingsDiagnostics* diagnostics_O)
{
  if (pos_IO >= buffer_I.size() || buffer_I[pos_IO] != '"') {
    return {};
  }
  std::string text;
  size_t pos = pos_IO + 1;
  while (pos < buffer_I.size()) {
    const char c = buffer_I[pos++];
    if (c == '"') {
      pos_IO = pos;
      return CSettingsString::Create(std::move(text));
    }
    if (c != '\\') {
      text.push_back(c);
      continue;
    }
    const size_t escape = pos - 1;
    if (!AppendEscape(buffer_I, pos, text)) {
      if (diagnostics_O != nullptr) diagnostics_O->Fail(buffer_I, escape, "invalid escape in a string");
      return {};
    }
  }
  if (diagnostics_O != nullptr) diagnostics_O->Fail(buffer_I, pos_IO, "the string opened here has no closing '\"'");
  return {};
}

std::shared_ptr<CSettingsInteger> CSettingsObject::ParseInteger(const std::string& buffer_I, size_t& pos_IO)
{
  if (pos_IO >= buffer_I.size() || !IsIntegerChar(buffer_I[pos_IO])) {
    return {};
  }
  const size_t end = EndOfRun(buffer_I, pos_IO, IsIntegerChar);
  if (end < buffer_I.size() && IsNumberChar(buffer_I[end])) {
    return {};  // "+", ".", "e" or "E" inside the token: not an integer
  }
  // Like strtoll: the longest convertible prefix; nothing convertible or out of range reads as 0.
  int64_t value = 0;
  if (std::from_chars(buffer_I.data() + pos_IO, buffer_I.data() + end, value).ec != std::errc()) {
    value = 0;
  }
  pos_IO = end;
  return CSettingsInteger::Create(value);
}

std::shared_ptr<CSettingsDouble> CSettingsObject::ParseDouble(const std::string& buffer_I, size_t& pos_IO)
{
  if (pos_IO >= buffer_I.size() || !IsIntegerChar(buffer_I[pos_IO])) {
    return {};
  }
  const size_t end = EndOfRun(buffer_I, pos_IO, IsNumberChar);
  // Like strtod in the "C" locale, whatever the process locale is.
  double value = 0.0;
  if (std::from_chars(buffer_I.data() + pos_IO, buffer_I.data() + end, value).ec != std::errc()) {
    value = 0.0;
  }
  pos_IO = end;
  return CSettingsDouble::Create(value);
}

// ---- Bool ----

std::shared_ptr<CSettingsBool> CSettingsBool::Create(bool value_I)
{
  return std::shared_ptr<CSettingsBool>(new CSettingsBool(value_I));
}

SettingsPtr CSettingsBool::Clone() const { return Create(mValue); }
std::string CSettingsBool::GetTypeName() const { return "bool"; }
std::string CSettingsBool::GetValueString() const { return mValue ? "true" : "false"; }
std::string CSettingsBool::ToTypedText() const { return ScalarTypedText(*this); }
std::string CSettingsBool::ToJson(int) const { return GetValueString(); }

void CSettingsBool::EncodeBer(std::vector<uint8_t>& output_IO) const
{
  AppendPrimitive(output_IO, EBERTAG_BOOLEAN, std::vector<uint8_t>{mValue ? uint8_t{0xFF} : uint8_t{0x00}});
}

bool CSettingsBool::Equals(const SettingsPtr& other_I) const
{
  const auto* other = As<CSettingsBool>(other_I);
  return other != nullptr && other->mValue == mValue;
}

// ---- Bytes ----

std::shared_ptr<CSettingsBytes> CSettingsBytes::Create(std::vector<uint8_t> value_I)
{
  return std::shared_ptr<CSettingsBytes>(new CSettingsBytes(std::move(value_I)));
}

SettingsPtr CSettingsBytes::Clone() const { return Create(mValue); }
std::string CSettingsBytes::GetTypeName() const { return "bytes"; }
std::string CSettingsBytes::GetValueString() const { return Base64Encode(mValue); }
std::string CSettingsBytes::ToTypedText() const { return ScalarTypedText(*this); }

std::string CSettingsBytes::ToJson(int) const
{
  return std::string("{\"") + kSettingsBytesKey + "\":\"" + GetValueString() + "\"}";
}

void CSettingsBytes::EncodeBer(std::vector<uint8_t>& output_IO) const
{
  AppendPrimitive(output_IO, EBERTAG_OCTET_STRING, mValue);
}

bool CSettingsBytes::Equals(const SettingsPtr& other_I) const
{
  const auto* other = As<CSettingsBytes>(other_I);
  return other != nullptr && other->mValue == mValue;
}

// ---- Double ----

std::shared_ptr<CSettingsDouble> CSettingsDouble::Create(double value_I)
{
  return std::shared_ptr<CSettingsDouble>(new CSettingsDouble(value_I));
}

SettingsPtr CSettingsDouble::Clone() const { return Create(mValue); }
std::string CSettingsDouble::GetTypeName() const { return "double"; }
std::string CSettingsDouble::ToTypedText() const { return ScalarTypedText(*this); }
std::string CSettingsDouble::ToJson(int) const { return GetValueString(); }

std::string CSettingsDouble::GetValueString() const
{
  const int length = std::snprintf(nullptr, 0, "%f", mValue);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%f", mValue);
  text.resize(static_cast<size_t>(length));
  return text;
}

void CSettingsDouble::EncodeBer(std::vector<uint8_t>& output_IO) const
{
  constexpr size_t kOctets = sizeof(double);
  AppendBerIdentifier(output_IO, EBERCLASS_APPLICATION, kBerTagDouble);
  AppendBerLength(output_IO, kOctets);
  AppendBigEndian(output_IO, std::bit_cast<uint64_t>(mValue), kOctets);
}

bool CSettingsDouble::Equals(const SettingsPtr& other_I) const
{
  const auto* other = As<CSettingsDouble>(other_I);
  return other != nullptr && other->mValue == mValue;
}

// ---- Integer ----

std::shared_ptr<CSettingsInteger> CSettingsInteger::Create(int64_t value_I)
{
  return std::shared_ptr<CSettingsInteger>(new CSettingsInteger(value_I));
}

SettingsPtr CSettingsInteger::Clone() const { return Create(mValue); }
std::string CSettingsInteger::GetTypeName() const { return "integer"; }
std::string CSettingsInteger::GetValueString() const { return std::to_string(mValue); }
std::string CSettingsInteger::ToTypedText() const { return ScalarTypedText(*this); }
std::string CSettingsInteger::ToJson(int) const { return GetValueString(); }

// The octets up to the highest non-zero one, so every negative value takes all eight.
void CSettingsInteger::EncodeBer(std::vector<uint8_t>& output_IO) const
{
  const uint64_t bits = static_cast<uint64_t>(mValue);
  size_t octets = 1;
  while (octets < sizeof(bits) && (bits >> (8 * octets)) != 0) {
    ++octets;
  }
  AppendBerIdentifier(output_IO, EBERCLASS_UNIVERSAL, EBERTAG_INTEGER);
  AppendBerLength(output_IO, octets);
  AppendBigEndian(output_IO, bits, octets);
}

bool CSettingsInteger::Equals(const SettingsPtr& other_I) const
{
  const auto* other = As<CSettingsInteger>(other_I);
  return other != nullptr && other->mValue == mValue;
}

// ---- Null ----

std::shared_ptr<CSettingsNULL> CSettingsNULL::Create() { return std::shared_ptr<CSettingsNULL>(new CSettingsNULL()); }

SettingsPtr CSettingsNULL::Clone() const { return Create(); }
std::string CSettingsNULL::GetTypeName() const { return "null"; }
std::string CSettingsNULL::GetValueString() const { return ""; }
std::string CSettingsNULL::ToTypedText() const { return ScalarTypedText(*this); }
std::string CSettingsNULL::ToJson(int) const { return "null"; }
void CSettingsNULL::EncodeBer(std::vector<uint8_t>& output_IO) const { AppendPrimitive(output_IO, EBERTAG_NULL, std::string()); }
bool CSettingsNULL::Equals(const SettingsPtr& other_I) const { return As<CSettingsNULL>(other_I) != nullptr; }

// ---- String ----

std::shared_ptr<CSettingsString> CSettingsString::Create(std::string value_I)
{
  return std::shared_ptr<CSettingsString>(new CSettingsString(std::move(value_I)));
}

SettingsPtr CSettingsString::Clone() const { return Create(mValue); }
std::string CSettingsString::GetTypeName() const { return "string"; }
std::string CSettingsString::GetValueString() const { return mValue; }
std::string CSettingsString::ToTypedText() const { return ScalarTypedText(*this); }

std::string CSettingsString::ToJson(int) const { return WriteQuoted(mValue); }

void CSettingsString::EncodeBer(std::vector<uint8_t>& output_IO) const
{
  AppendPrimitive(output_IO, EBERTAG_UTF8_STRING, mValue);
}

bool CSettingsString::Equals(const SettingsPtr& other_I) const
{
  const auto* other = As<CSettingsString>(other_I);
  return other != nullptr && other->mValue == mValue;
}

}  // namespace orv

// The settings value tree: typed configuration values held by shared pointer, read from and written to the
// settings text format.
//
// An empty pointer is how every lookup and every parse step says "no value". Maps and arrays never hold an
// empty pointer (they store a null node instead), and a stored null node reads back as the empty pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orv {

class CSettingsObject;
class CSettingsMap;
class CSettingsArray;
class CSettingsBool;
class CSettingsBytes;
class CSettingsDouble;
class CSettingsInteger;
class CSettingsNULL;
class CSettingsString;

using SettingsPtr = std::shared_ptr<CSettingsObject>;
using SettingsMapPtr = std::shared_ptr<CSettingsMap>;
using SettingsArrayPtr = std::shared_ptr<CSettingsArray>;

// The key of the one-entry map that carries a bytes value in settings text.
inline constexpr char kSettingsBytesKey[] = "SbyteS";
// Deepest nesting of maps and arrays the reader accepts; deeper text is malformed.
inline constexpr size_t kSettingsMaxDepth = 200;

// One thing the reader met in settings text: where (line and column from 1, in bytes; line 0 when the text
// could not be read at all) and why.
struct SSettingsIssue {
  size_t line = 0;
  size_t column = 0;
  std::string reason;
  // "line 3, column 7: expected ':' after the key \"pid\"", or the reason alone for line 0.
  std::string Text() const;
};

// What a read reports besides its result: the syntax error that emptied the document, and text the reader
// skipped without failing (stray characters, text after the root's closing bracket).
struct SSettingsDiagnostics {
  bool hasError = false;
  SSettingsIssue error;
  std::vector<SSettingsIssue> warnings;
  // Where each value the reader made starts (line, column), so that whoever checks what the values mean can
  // point at them.
  std::map<const CSettingsObject*, std::pair<size_t, size_t>> positions;

  // Records the first error only: a failure inside a value fails every container around it in turn.
  void Fail(const std::string& buffer_I, size_t pos_I, const std::string& reason_I);
  void Warn(const std::string& buffer_I, size_t pos_I, const std::string& reason_I);
  static SSettingsIssue At(const std::string& buffer_I, size_t pos_I, const std::string& reason_I);
  // The line and column of pos_I. Values are read front to back, so the count goes on from the last position
  // asked for rather than from the start of the text.
  std::pair<size_t, size_t> LineAndColumn(const std::string& buffer_I, size_t pos_I);
  // The reason at the node's position; line 0 when the node was not read with these diagnostics.
  SSettingsIssue AtNode(const SettingsPtr& node_I, const std::string& reason_I) const;

 private:
  size_t mCountedTo = 0;
  size_t mLine = 1;
  size_t mLineStart = 0;
};

class CSettingsObject : public std::enable_shared_from_this<CSettingsObject> {
 public:
  virtual SettingsPtr Clone() const = 0;
  virtual ~CSettingsObject();
  virtual std::string GetTypeName() const = 0;
  virtual std::string GetValueString() const = 0;
  virtual std::string ToTypedText() const = 0;
  virtual void EncodeBer(std::vector<uint8_t>& output_IO) const = 0;
  virtual bool Equals(const SettingsPtr& other_I) const = 0;
  // A negative level writes no indentation at all.
  virtual std::string ToJson(int level_I) const = 0;

  // The root map or array, or empty. Never throws.
  static SettingsPtr Parse(const std::string& buffer_I, SSettingsDiagnostics* diagnostics_O = nullptr);
  // Reads the file's bytes up to the first 0x04 and parses them; empty when unreadable or malformed.
  // Never throws.
  static SettingsPtr ParseFile(const std::string& path_I, SSettingsDiagnostics* diagnostics_O = nullptr);

  // The steps of the reader. Each leaves pos_IO behind what it read and returns empty on a syntax error.
  // depth_I counts the maps and arrays around the position. Throws COrvException for a byte string that
  // is not base64.
  static SettingsPtr ParseValue(const std::string& buffer_I, size_t& pos_IO, size_t depth_I = 0,
                                SSettingsDiagnostics* diagnostics_O = nullptr);
  static std::shared_ptr<CSettingsString> ParseString(const std::string& buffer_I, size_t& pos_IO,
                                                      SSettingsDiagnostics* diagnostics_O = nullptr);
  static std::shared_ptr<CSettingsInteger> ParseInteger(const std::string& buffer_I, size_t& pos_IO);
  static std::shared_ptr<CSettingsDouble> ParseDouble(const std::string& buffer_I, size_t& pos_IO);
  // Whitespace and "//" comments (up to and including the next line feed).
  static void SkipSpaceAndComments(const std::string& buffer_I, size_t& pos_IO);

 protected:
  CSettingsObject() = default;
  CSettingsObject(const CSettingsObject&) = delete;
  CSettingsObject& operator=(const CSettingsObject&) = delete;

  // The level children of a map or array are written with.
  static int ChildLevel(int level_I);
  // open_I, a line feed, each item on its own indented line separated by ",", a line feed, close_I.
  static std::string WriteJsonBlock(char open_I, const std::vector<std::string>& items_I, int level_I, char close_I);
  // The type word and the items, separated by ", ", in square brackets.
  static std::string WriteTypedBlock(const std::string& typeName_I, const std::vector<std::string>& items_I);
  // The text in double quotes, with the escapes the reader undoes: quote, backslash and control characters.
  static std::string WriteQuoted(const std::string& text_I);
};

// The node as a map (or array), else empty.
SettingsMapPtr ToMap(const SettingsPtr& node_I);
SettingsArrayPtr ToArray(const SettingsPtr& node_I);

class CSettingsBool final : public CSettingsObject {
 public:
  static std::shared_ptr<CSettingsBool> Create(bool value_I);
  bool Value() const { return mValue; }

  SettingsPtr Clone() const override;
  std::string GetTypeName() const override;
  std::string GetValueString() const override;
  std::string ToTypedText() const override;
  void EncodeBer(std::vector<uint8_t>& output_IO) const override;
  bool Equals(const SettingsPtr& other_I) const override;
  std::string ToJson(int level_I) const override;

 private:
  explicit CSettingsBool(bool value_I) : mValue(value_I) {}
  bool mValue;
};

class CSettingsBytes final : public CSettingsObject {
 public:
  static std::shared_ptr<CSettingsBytes> Create(std::vector<uint8_t> value_I);
  const std::vector<uint8_t>& Value() const { return mValue; }

  SettingsPtr Clone() const override;
  std::string GetTypeName() const override;
  // Base64 without padding.
  std::string GetValueString() const override;
  std::string ToTypedText() const override;
  void EncodeBer(std::vector<uint8_t>& output_IO) const override;
  bool Equals(const SettingsPtr& other_I) const override;
  std::string ToJson(int level_I) const override;

 private:
  explicit CSettingsBytes(std::vector<uint8_t> value_I) : mValue(std::move(value_I)) {}
  std::vector<uint8_t> mValue;
};

class CSettingsDouble final : public CSettingsObject {
 public:
  static std::shared_ptr<CSettingsDouble> Create(double value_I);
  double Value() const { return mValue; }

  SettingsPtr Clone() const override;
  std::string GetTypeName() const override;
  // printf "%f": six decimals.
  std::string GetValueString() const override;
  std::string ToTypedText() const override;
  void EncodeBer(std::vector<uint8_t>& output_IO) const override;
  // IEEE equality: NaN equals nothing.
  bool Equals(const SettingsPtr& other_I) const override;
  std::string ToJson(int level_I) const override;

 private:
  explicit CSettingsDouble(double value_I) : mValue(value_I) {}
  double mValue;
};

class CSettingsInteger final : public CSettingsObject {
 public:
  static std::shared_ptr<CSettingsInteger> Create(int64_t value_I);
  int64_t Value() const { return mValue; }

  SettingsPtr Clone() const override;
  std::string GetTypeName() const override;
  std::string GetValueString() const override;
  std::string ToTypedText() const override;
  void EncodeBer(std::vector<uint8_t>& output_IO) const override;
  bool Equals(const SettingsPtr& other_I) const override;
  std::string ToJson(int level_I) const override;

 private:
  explicit CSettingsInteger(int64_t value_I) : mValue(value_I) {}
  int64_t mValue;
};

class CSettingsNULL final : public CSettingsObject {
 public:
  static std::shared_ptr<CSettingsNULL> Create();

  SettingsPtr Clone() const override;
  std::string GetTypeName() const override;
  std::string GetValueString() const override;
  std::string ToTypedText() const override;
  void EncodeBer(std::vector<uint8_t>& output_IO) const override;
  bool Equals(const SettingsPtr& other_I) const override;
  std::string ToJson(int level_I) const override;

 private:
  CSettingsNULL() = default;
};

class CSettingsString final : public CSettingsObject {
 public:
  static std::shared_ptr<CSettingsString> Create(std::string value_I);
  const std::string& Value() const { return mValue; }

  SettingsPtr Clone() const override;
  std::string GetTypeName() const override;
  std::string GetValueString() const override;
  std::string ToTypedText() const override;
  void EncodeBer(std::vector<uint8_t>& output_IO) const override;
  bool Equals(const SettingsPtr& other_I) const override;
  std::string ToJson(int level_I) const override;

 private:
  explicit CSettingsString(std::string value_I) : mValue(std::move(value_I)) {}
  std::string mValue;
};

}  // namespace orv

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "common/settings/csettingsarray.h"
#include "common/settings/csettingsmap.h"
#include "common/settings/csettingsobject.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

// The parsed document in its one-line typed form, or "" when the text gives no document.
std::string Typed(const std::string& text_I)
{
  const SettingsPtr root = CSettingsObject::Parse(text_I);
  return root ? root->ToTypedText() : "";
}

// A text, the document it gives in its typed form and how many stray characters are reported.
const std::tuple<std::string, std::string, size_t> kReadCases[] = {
    {"  // only a comment\n\t\r\n// and another", "", 0},
    {"// a note {\n{\"a\":1}", "map[a:integer[1]]", 0},
    {"{\"a\":1,}", "map[a:integer[1]]", 0}, {"{\"a\":}", "map[]", 0}, {"{\"a\":1,\"a\":2}", "map[a:integer[2]]", 0},
    {"{\"a\":{\"SbyteS\":\"AAEC\"}}", "map[a:bytes[AAEC]]", 0},
    {"[{\"SbyteS\":\"AAEC\"}]", "array[0:bytes[AAEC]]", 0},
    {"{\"SbyteS\":\"AAEC\"}", "map[SbyteS:bytes[AAEC]]", 0},
    {"{\"SbyteS\":\"AAEC\",}", "map[SbyteS:string[AAEC]]", 0},
    {"{\"x\":1,\"SbyteS\":\"AAEC\"}", "map[SbyteS:string[AAEC], x:integer[1]]", 0},
    {"[12, -7, 5-3, -, --5]", "array[0:integer[12], 1:integer[-7], 2:integer[5], 3:integer[0], 4:integer[0]]", 0},
    {"[9223372036854775807, -9223372036854775808, 9223372036854775808]",
     "array[0:integer[9223372036854775807], 1:integer[-9223372036854775808], 2:integer[0]]", 0},
    {"[1.5, 2e3, -1E-2, 1e999]", "array[0:double[1.500000], 1:double[2000.000000], 2:double[-0.010000], 3:double[0.000000]]", 0},
    {"[true,false , null]", "array[0:bool[true], 1:bool[false], 2:null[]]", 0},
    {"[\"a\\u00e9\", \"\\u20AC\", \"\\u0041\"]", "array[0:string[a\xC3\xA9], 1:string[\xE2\x82\xAC], 2:string[A]]", 0},
    {"[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"]", "array[0:string[\"\\/\b\f\n\r\t]]", 0},
    {"[\"\\u4zzzb\"]", "array[0:string[\x04" "b]]", 0},  // the hex number stops early, four are consumed
    {"[\"//not a comment\"]", "array[0:string[//not a comment]]", 0},
    {"[1, // first\n 2,]", "array[0:integer[1], 1:integer[2]]", 0},
    {"[x 5]", "array[0:integer[5]]", 1}, {"[x ]", "", 2}, {"[+5, .5]", "array[0:integer[5], 1:integer[5]]", 2},
    {"x; {\"a\":1} ignored }", "map[a:integer[1]]", 2}, {"[tru", "", 3}, {"/", "", 1},
    // The byte order mark an editor writes in front of UTF-8 text is no stray text.
    {"\xEF\xBB\xBF{\"a\":1}", "map[a:integer[1]]", 0},
};

}  // namespace

TEST(SettingsReader, ReadsTheTextFormat)
{
  for (const auto& [text, typed, asserts] : kReadCases) {
    test::CDebugCapture capture;
    EXPECT_EQ(Typed(text), typed) << text;
    EXPECT_EQ(capture.Lines().size(), asserts) << text;
    // Stray characters inside an array are reported by the value reader, others by the document reader.
    const bool inArray = text[0] == '[';
    EXPECT_EQ(capture.CountAsserts(inArray ? "isspace((int)buffer_I[pos_IO])" : "isspace((int)buffer_I[pos])"), asserts)
        << text;
  }
}

TEST(SettingsReader, RejectsMalformedAndTruncatedTextQuietly)
{
  // The truncated texts show that every read stops at the end of the buffer.
  for (const char* text : {"", "{\"a\" 1}", "{\"a\":1 \"b\":2}", "{\"\":1}", "[{\"SbyteS\":\"AA==\"}]",
                           "{\"k\":[1,{\"SbyteS\":\"A*\"}]}", "[1+2]", "[trueX]", "[\"\\q\"]", "[,1]", "[1 2]",
                           "{", "{\"a\"", "{\"a\":", "[1,", "[\"abc", "[\"a\\", "[\"\\u12",
                           // A comma ends one whole pair, as in an array it ends one whole element.
                           "{\"a\":1,,\"b\":2}", "{,\"a\":1}", "{\"a\":,\"b\":1}", "[{\"a\":1,,}]"}) {
    test::CDebugCapture capture;
    EXPECT_FALSE(CSettingsObject::Parse(text)) << text;
    EXPECT_TRUE(capture.Lines().empty()) << text;
  }
}

TEST(SettingsReader, BoundsTheNestingDepth)
{
  const auto arrays = [](size_t depth_I) { return std::string(depth_I, '[') + std::string(depth_I, ']'); };
  EXPECT_TRUE(CSettingsObject::Parse(arrays(kSettingsMaxDepth)));
  EXPECT_FALSE(CSettingsObject::Parse(arrays(kSettingsMaxDepth + 1)));
  EXPECT_FALSE(CSettingsObject::Parse(std::string(100000, '[')));
  std::string maps;
  for (size_t i = 0; i < 100000; ++i) maps += "{\"a\":";
  EXPECT_FALSE(CSettingsObject::Parse(maps + std::string(100000, '}')));
}

TEST(SettingsReader, ParseFileReadsBytesUpToEndOfTransmission)
{
  test::CScratchDir dir;
  EXPECT_FALSE(CSettingsObject::ParseFile((dir.Path() / "missing.ini").string()));
  EXPECT_FALSE(CSettingsObject::ParseFile(dir.Path().string()));
  const auto root = ToMap(CSettingsObject::ParseFile(dir.Write("cut.ini", "{\r\n\"a\": 1\r\n}\x04{garbage")));
  ASSERT_TRUE(root);
  EXPECT_EQ(root->GetInteger("a", 0), 1);
  EXPECT_FALSE(CSettingsObject::ParseFile(dir.Write("early.ini", "{\"a\": 1\x04}")));
  EXPECT_FALSE(CSettingsObject::ParseFile(dir.Write("empty.ini", "")));
}

// Where a read fails, and what it skipped: line and column (from 1) and one line of reason.
TEST(SettingsReader, DiagnosticsNameLineColumnAndReason)
{
  for (const auto& [text, error] : std::vector<std::pair<std::string, std::string>>{
           {"{\"a\":1,,\"b\":2}", "line 1, column 8: a comma with no pair before it"},
           {"{,\"a\":1}", "line 1, column 2: a comma with no pair before it"},
           {"{\"a\":,\"b\":1}", "line 1, column 6: a comma where the value of \"a\" belongs"},
           {"{\n  \"a\" 1}", "line 2, column 7: expected ':' after the key \"a\""},
           {"{\"a\":1 \"b\":2}", "line 1, column 8: expected ',' or '}' after the value of \"a\""},
           {"{\"\":1}", "line 1, column 2: empty key"},
           {"{ 5:1}", "line 1, column 3: expected a quoted key"},
           {"[1 2]", "line 1, column 4: expected ',' or ']' after an element"},
           {"[,1]", "line 1, column 2: a comma with no element before it"},
           {"[\n\n  {\"a\":[1,", "line 3, column 8: the array opened here has no closing ']'"},
           {"[\"abc", "line 1, column 2: the string opened here has no closing '\"'"},
           {"[\"\\q\"]", "line 1, column 3: invalid escape in a string"},
           {"[1+2]", "line 1, column 2: malformed number"},
           {"[{\"SbyteS\":\"A*\"}]", "line 1, column 16: the byte string before this '}' is not base64"},
           {"// nothing\n", "line 2, column 1: no '{' or '[' starts the document"},
           {std::string(300, '['), "line 1, column 201: nested deeper than 200 levels"}}) {
    test::CDebugCapture capture;
    SSettingsDiagnostics diagnostics;
    EXPECT_FALSE(CSettingsObject::Parse(text, &diagnostics)) << text;
    EXPECT_TRUE(diagnostics.hasError) << text;
    EXPECT_EQ(diagnostics.error.Text(), error) << text;
  }
  SSettingsDiagnostics diagnostics;
  ASSERT_TRUE(CSettingsObject::Parse("x{\"a\": [1, ?2]}\n// fine\n]", &diagnostics));
  EXPECT_FALSE(diagnostics.hasError);
  ASSERT_EQ(diagnostics.warnings.size(), 3u);
  EXPECT_EQ(diagnostics.warnings[0].Text(), "line 1, column 1: stray 'x' skipped");
  EXPECT_EQ(diagnostics.warnings[1].Text(), "line 1, column 12: stray '?' skipped");
  EXPECT_EQ(diagnostics.warnings[2].Text(), "line 3, column 1: unexpected text after the closing bracket");

  // Text that never opens a document is one fault where it starts, not one per character.
  SSettingsDiagnostics garbage;
  EXPECT_FALSE(CSettingsObject::Parse("\n  not settings at all\n", &garbage));
  EXPECT_EQ(garbage.error.Text(), "line 2, column 3: no '{' or '[' starts the document");
  EXPECT_TRUE(garbage.warnings.empty());

  test::CScratchDir dir;
  SSettingsDiagnostics missing;
  EXPECT_FALSE(CSettingsObject::ParseFile((dir.Path() / "missing.ini").string(), &missing));
  EXPECT_EQ(missing.error.Text(), "cannot open the file");
  SSettingsDiagnostics directory;
  EXPECT_FALSE(CSettingsObject::ParseFile(dir.Path().string(), &directory));
  EXPECT_TRUE(directory.hasError);
}

// A checker that finds a value wrong can point at it: every value the reader made knows where it starts.
TEST(SettingsReader, DiagnosticsKnowWhereEachValueStands)
{
  SSettingsDiagnostics diagnostics;
  const SettingsArrayPtr root = ToArray(CSettingsObject::Parse("[\n  {\"a\": 1, \"b\": [true,\r\n  \"x\"]},\n 2.5]",
                                                               &diagnostics));
  ASSERT_TRUE(root);
  const SettingsMapPtr map = ToMap(root->Get(0));
  ASSERT_TRUE(map);
  const SettingsArrayPtr list = ToArray(map->Get("b"));
  ASSERT_TRUE(list);
  for (const auto& [node, where] : std::vector<std::pair<SettingsPtr, std::string>>{
           {map, "line 2, column 3"}, {map->Get("a"), "line 2, column 9"}, {list, "line 2, column 17"},
           {list->Get(0), "line 2, column 18"}, {list->Get(1), "line 3, column 3"}, {root->Get(1), "line 4, column 2"}}) {
    EXPECT_EQ(diagnostics.AtNode(node, "here").Text(), where + ": here");
  }
  EXPECT_EQ(diagnostics.AtNode(CSettingsInteger::Create(1), "elsewhere").Text(), "elsewhere");
}

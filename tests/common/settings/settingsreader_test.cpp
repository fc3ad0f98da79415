#include <gtest/gtest.h>

#include <string>

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

struct CReadCase {
  std::string mText;
  std::string mTyped;
  size_t mAsserts;
};

const CReadCase kReadCases[] = {
    {"{}", "map[]", 0},
    {"[]", "array[]", 0},
    {"", "", 0},
    {"  // only a comment\n\t\r\n// and another", "", 0},
    {"// a note {\n{\"a\":1}", "map[a:integer[1]]", 0},
    {"{\"a\" 1}", "", 0},
    {"{\"a\":1 \"b\":2}", "", 0},
    {"{,}", "", 0},
    {"{\"\":1}", "", 0},
    {"{\"a\":1,}", "map[a:integer[1]]", 0},
    {"{\"a\":}", "map[]", 0},
    {"{\"a\":1,\"a\":2}", "map[a:integer[2]]", 0},
    {"{\"a\":{\"SbyteS\":\"AAEC\"}}", "map[a:bytes[AAEC]]", 0},
    {"[{\"SbyteS\":\"AAEC\"}]", "array[0:bytes[AAEC]]", 0},
    {"{\"SbyteS\":\"AAEC\"}", "map[SbyteS:bytes[AAEC]]", 0},
    {"{\"SbyteS\":\"AAEC\",}", "map[SbyteS:string[AAEC]]", 0},
    {"{\"x\":1,\"SbyteS\":\"AAEC\"}", "map[SbyteS:string[AAEC], x:integer[1]]", 0},
    {"[{\"SbyteS\":\"AA==\"}]", "", 0},
    {"{\"k\":[1,{\"SbyteS\":\"A*\"}]}", "", 0},
    {"[12, -7, 5-3, -]", "array[0:integer[12], 1:integer[-7], 2:integer[5], 3:integer[0]]", 0},
    {"[1.5, 2e3, -1E-2, 1e999]", "array[0:double[1.500000], 1:double[2000.000000], 2:double[-0.010000], 3:double[0.000000]]", 0},
    {"[1+2]", "", 0},
    {"[99999999999999999999]", "array[0:integer[0]]", 0},
    {"[true,false , null]", "array[0:bool[true], 1:bool[false], 2:null[]]", 0},
    {"[trueX]", "", 0},
    {"[\"a\\u00e9\", \"\\u20AC\", \"\\u0041\"]", "array[0:string[a\xC3\xA9], 1:string[\xE2\x82\xAC], 2:string[A]]", 0},
    {"[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"]", "array[0:string[\"\\/\b\f\n\r\t]]", 0},
    {"[\"\\u4zzzb\"]", "array[0:string[\x04" "b]]", 0},  // the hex number stops early, four are consumed
    {"[\"\\q\"]", "", 0},
    {"[\"//not a comment\"]", "array[0:string[//not a comment]]", 0},
    {"[1, // first\n 2,]", "array[0:integer[1], 1:integer[2]]", 0},
    {"[,1]", "", 0},
    {"[1 2]", "", 0},
    {"[x 5]", "array[0:integer[5]]", 1},
    {"[x ]", "", 2},
    {"[+5, .5]", "array[0:integer[5], 1:integer[5]]", 2},
    {"x; {\"a\":1} ignored }", "map[a:integer[1]]", 2},
    // Text that ends early: every read stops at the end of the buffer.
    {"{", "", 0},
    {"{\"a\"", "", 0},
    {"{\"a\":", "", 0},
    {"[1,", "", 0},
    {"[tru", "", 3},
    {"[\"abc", "", 0},
    {"[\"a\\", "", 0},
    {"[\"\\u12", "", 0},
    {"/", "", 1},
};

}  // namespace

TEST(SettingsReader, ReadsTheTextFormat)
{
  for (const CReadCase& readCase : kReadCases) {
    test::CDebugCapture capture;
    EXPECT_EQ(Typed(readCase.mText), readCase.mTyped) << readCase.mText;
    EXPECT_EQ(capture.Lines().size(), readCase.mAsserts) << readCase.mText;
  }
}

TEST(SettingsReader, StrayCharactersAreReportedWithTheirSource)
{
  test::CDebugCapture capture;
  EXPECT_TRUE(CSettingsObject::Parse("x[]"));
  EXPECT_TRUE(CSettingsObject::Parse("[y 1]"));
  ASSERT_EQ(capture.Lines().size(), 2u);
  EXPECT_EQ(capture.CountAsserts("isspace((int)buffer_I[pos])"), 1u);
  EXPECT_EQ(capture.CountAsserts("isspace((int)buffer_I[pos_IO])"), 1u);
  EXPECT_NE(capture.Lines()[0].find(" in common/settings/csettingsobject.cpp at "), std::string::npos);
}

TEST(SettingsReader, NumbersLeaveThePositionBehindTheToken)
{
  size_t pos = 0;
  EXPECT_FALSE(CSettingsObject::ParseInteger("12.5", pos));
  EXPECT_EQ(pos, 0u);
  EXPECT_DOUBLE_EQ(CSettingsObject::ParseDouble("12.5,", pos)->Value(), 12.5);
  EXPECT_EQ(pos, 4u);

  pos = 0;
  const std::string text = "trueX";
  EXPECT_EQ(CSettingsObject::ParseValue(text, pos)->ToTypedText(), "bool[true]");
  EXPECT_EQ(pos, 4u);

  const std::pair<std::string, int64_t> integers[] = {
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", 0},
      {"--5", 0},
  };
  for (const auto& [token, value] : integers) {
    pos = 0;
    EXPECT_EQ(CSettingsObject::ParseInteger(token, pos)->Value(), value) << token;
    EXPECT_EQ(pos, token.size());
  }
}

TEST(SettingsReader, BoundsTheNestingDepth)
{
  const auto nested = [](size_t depth_I, const std::string& open_I, const std::string& close_I) {
    std::string text;
    for (size_t i = 0; i < depth_I; ++i) text += open_I;
    for (size_t i = 0; i < depth_I; ++i) text += close_I;
    return text;
  };
  EXPECT_TRUE(CSettingsObject::Parse(nested(kSettingsMaxDepth, "[", "]")));
  EXPECT_FALSE(CSettingsObject::Parse(nested(kSettingsMaxDepth + 1, "[", "]")));
  EXPECT_FALSE(CSettingsObject::Parse(nested(100000, "[", "]")));
  EXPECT_FALSE(CSettingsObject::Parse(nested(100000, "{\"a\":", "}")));
  EXPECT_FALSE(CSettingsObject::Parse(std::string(100000, '[')));
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
  EXPECT_FALSE(CSettingsObject::ParseFile(dir.Write("bytes.ini", "{\"a\": {\"SbyteS\": \"AA==\"}}")));
  EXPECT_FALSE(CSettingsObject::ParseFile(dir.Write("empty.ini", "")));
}

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/asn1coding.h"
#include "common/settings/csettingsarray.h"
#include "common/settings/csettingsmap.h"
#include "common/settings/csettingsobject.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

std::vector<uint8_t> Ber(const SettingsPtr& node_I)
{
  std::vector<uint8_t> output{0xEE};  // encoding appends
  node_I->EncodeBer(output);
  return std::vector<uint8_t>(output.begin() + 1, output.end());
}

// An array holding an empty (null) child next to a bool.
SettingsArrayPtr ArrayWithAHole()
{
  const SettingsArrayPtr array = CSettingsArray::Create();
  array->Append(nullptr);
  array->Append(CSettingsBool::Create(true));
  return array;
}

}  // namespace

TEST(SettingsWriter, ToJsonIndentsWithTabs)
{
  const SettingsPtr root = CSettingsObject::Parse("{\"a\":1,\"b\":[true]}");
  EXPECT_EQ(root->ToJson(0), "{\n\t\"a\": 1,\n\t\"b\": [\n\t\ttrue\n\t]\n}");
  EXPECT_EQ(root->ToJson(-1), "{\n\"a\": 1,\n\"b\": [\ntrue\n]\n}");
  EXPECT_EQ(CSettingsMap::Create()->ToJson(0), "{\n\n}");
  EXPECT_EQ(CSettingsArray::Create()->ToJson(1), "[\n\n\t]");
  EXPECT_EQ(CSettingsBytes::Create({0, 1, 2})->ToJson(0), "{\"SbyteS\":\"AAEC\"}");
  EXPECT_EQ(CSettingsDouble::Create(1.5)->ToJson(0), "1.500000");
}

// Quotes, backslashes and control characters are escaped as the reader undoes them, in keys as in values;
// other bytes (UTF-8 text, '/', DEL) are written as they are.
TEST(SettingsWriter, StringsAndKeysAreEscapedAndReadBackUnchanged)
{
  EXPECT_EQ(CSettingsString::Create("a\"b\\c")->ToJson(0), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(CSettingsString::Create("\b\f\n\r\t")->ToJson(0), "\"\\b\\f\\n\\r\\t\"");
  EXPECT_EQ(CSettingsString::Create(std::string("\x00\x01\x1F", 3))->ToJson(0), "\"\\u0000\\u0001\\u001F\"");
  EXPECT_EQ(CSettingsString::Create("C:/Gr\xC3\xBC\xC3\x9F" "e\x7F")->ToJson(0), "\"C:/Gr\xC3\xBC\xC3\x9F" "e\x7F\"");

}

TEST(SettingsWriter, EncodeBerForEveryNodeKind)
{
  const std::pair<SettingsPtr, std::vector<uint8_t>> cases[] = {
      {CSettingsBool::Create(true), {0x01, 0x01, 0xFF}},
      {CSettingsInteger::Create(0), {0x02, 0x01, 0x00}},
      {CSettingsInteger::Create(0x1234), {0x02, 0x02, 0x12, 0x34}},
      {CSettingsInteger::Create(0x80), {0x02, 0x01, 0x80}},
      {CSettingsInteger::Create(-256), {0x02, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
      {CSettingsBytes::Create({1, 2, 3}), {0x04, 0x03, 0x01, 0x02, 0x03}},
      {CSettingsNULL::Create(), {0x05, 0x00}},
      {CSettingsString::Create("hi"), {0x0C, 0x02, 'h', 'i'}},
      {CSettingsDouble::Create(1.0), {0x41, 0x08, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
      {CSettingsObject::Parse("{\"a\":1}"), {0x60, 0x80, 0x0C, 0x01, 'a', 0x02, 0x01, 0x01, 0x00, 0x00}},
      {ArrayWithAHole(), {0x62, 0x80, 0x05, 0x00, 0x01, 0x01, 0xFF, 0x00, 0x00}},
      {CSettingsArray::Create(), {0x62, 0x80, 0x00, 0x00}},
  };
  for (const auto& [node, expected] : cases) EXPECT_EQ(Ber(node), expected) << node->ToTypedText();
}

TEST(SettingsWriter, EncodeBerUsesLongLengthsFrom128)
{
  const std::pair<size_t, std::vector<uint8_t>> cases[] = {
      {127, {0x0C, 0x7F}},
      {128, {0x0C, 0x81, 0x80}},
      {256, {0x0C, 0x82, 0x01, 0x00}},
      {70000, {0x0C, 0x83, 0x01, 0x11, 0x70}},
  };
  for (const auto& [length, header] : cases) {
    const std::vector<uint8_t> encoded = Ber(CSettingsString::Create(std::string(length, 'x')));
    ASSERT_EQ(encoded.size(), header.size() + length);
    EXPECT_EQ(std::vector<uint8_t>(encoded.begin(), encoded.begin() + static_cast<long>(header.size())), header);
  }
  std::vector<uint8_t> output;
  AppendBerLength(output, kBerIndefiniteLength);
  AppendBerLength(output, 0x100000000ULL);
  EXPECT_EQ(output, (std::vector<uint8_t>{0x80, 0x85, 0x01, 0x00, 0x00, 0x00, 0x00}));
}

TEST(SettingsWriter, BerIdentifierRejectsLongTagNumbers)
{
  test::CDebugCapture capture;
  EXPECT_EQ(BerIdentifier(EBERCLASS_UNIVERSAL, 30), 0x3E);
  EXPECT_TRUE(capture.Lines().empty());
  EXPECT_EQ(BerIdentifier(EBERCLASS_PRIVATE, 31), 0);
  ASSERT_EQ(capture.CountAsserts("eType <= eTypeMAX_VALUE"), 1u);
  EXPECT_NE(capture.Lines()[0].find(" in common/asn1coding.cpp at "), std::string::npos);
}

// Every kind of value, and keys and texts holding every byte, read back equal at every indentation.
TEST(SettingsWriter, WrittenTextReadsBackEqual)
{
  const SettingsMapPtr root = ToMap(CSettingsObject::Parse(
      "{\"count\":42, \"empty\":{}, \"inner\":{\"name\":\"Pen display 16\", \"min\":-9223372036854775808},"
      " \"list\":[false, -0.25, {\"SbyteS\":\"AP8Q\"}, null, []]}"));
  ASSERT_TRUE(root);
  std::string everyByte;
  for (int byte = 0; byte < 256; ++byte) everyByte.push_back(static_cast<char>(byte));
  root->Set(everyByte, CSettingsString::Create(everyByte));
  root->Set("C:\\Program Files\\\"Orvel\"\n", CSettingsString::Create("\\\\server\\share\\fw.ini"));
  for (const int level : {0, 3, -1}) {
    const std::string text = root->ToJson(level);
    const SettingsPtr reread = CSettingsObject::Parse(text);
    ASSERT_TRUE(reread) << text;
    EXPECT_TRUE(reread->Equals(root)) << text;
    EXPECT_EQ(reread->ToJson(level), text);
  }
  const SettingsArrayPtr array = ArrayWithAHole();
  array->Append(root);
  array->Append(CSettingsBytes::Create({}));
  EXPECT_TRUE(CSettingsObject::Parse(array->ToJson(0))->Equals(array));
}

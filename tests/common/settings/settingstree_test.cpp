#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "common/settings/csettingsarray.h"
#include "common/settings/csettingsmap.h"
#include "common/settings/csettingsobject.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

TEST(SettingsTree, NullChildrenReadAsAbsentButKeepTheirKeysInByteOrder)
{
  const SettingsMapPtr map = CSettingsMap::Create();
  map->Set("empty", nullptr);
  map->Set("null", CSettingsNULL::Create());
  map->Set("\xC3\xA9", CSettingsInteger::Create(3));
  map->Set("N", CSettingsString::Create("replaced"));
  map->Set("N", CSettingsInteger::Create(3));
  for (const std::string key : {"empty", "null", "missing"}) {
    EXPECT_FALSE(map->Get(key)) << key;
    EXPECT_FALSE(map->HasKey(key)) << key;
    EXPECT_EQ(map->GetTypeNameOf(key), "") << key;
    EXPECT_EQ(map->GetInteger(key, 7), 7) << key;
  }
  EXPECT_EQ(map->GetKeys(), (std::vector<std::string>{"N", "empty", "null", "\xC3\xA9"}));
  EXPECT_EQ(map->GetTypeNameOf("N"), "integer");

  const SettingsArrayPtr array = CSettingsArray::Create();
  array->Append(nullptr);
  array->Append(CSettingsString::Create("s"));
  EXPECT_EQ(array->Size(), 2u);
  EXPECT_FALSE(array->Get(0));
  EXPECT_FALSE(array->Get(2));
  EXPECT_EQ(array->GetStringNode(1)->Value(), "s");
}

TEST(SettingsTree, TypedGettersNeverConvert)
{
  const auto root = ToMap(CSettingsObject::Parse("{\"int\": 5, \"text\": \"5\", \"real\": 5.0, \"list\": [1]}"));
  ASSERT_TRUE(root);
  EXPECT_EQ(root->GetInteger("text", 7), 7);
  EXPECT_EQ(root->GetInteger("real", 7), 7);
  EXPECT_EQ(root->GetString("int", "d"), "d");
  EXPECT_TRUE(root->GetBool("int", true));
  EXPECT_FALSE(root->GetBoolNode("text"));
  EXPECT_FALSE(ToMap(root->Get("list")));
  EXPECT_FALSE(ToMap(nullptr));
}

TEST(SettingsTree, CloneIsDeep)
{
  const auto original = ToMap(CSettingsObject::Parse("{\"inner\": {\"a\": [1, \"x\"]}, \"b\": null}"));
  const auto copy = ToMap(original->Clone());
  ASSERT_TRUE(copy);
  EXPECT_TRUE(copy->Equals(original));
  ToMap(copy->Get("inner"))->Set("a", CSettingsInteger::Create(2));
  EXPECT_FALSE(copy->Equals(original));
  EXPECT_EQ(original->ToTypedText(), "map[b:null[], inner:map[a:array[0:integer[1], 1:string[x]]]]");
}

TEST(SettingsTree, EqualsComparesClassAndValue)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto parse = [](const char* text_I) { return CSettingsObject::Parse(text_I); };
  const std::tuple<SettingsPtr, SettingsPtr, bool> cases[] = {
      {CSettingsInteger::Create(1), CSettingsDouble::Create(1.0), false}, {CSettingsInteger::Create(1), nullptr, false},
      {CSettingsDouble::Create(0.0), CSettingsDouble::Create(-0.0), true},
      {CSettingsDouble::Create(nan), CSettingsDouble::Create(nan), false},
      {CSettingsString::Create("a"), CSettingsBytes::Create({'a'}), false},
      {CSettingsBytes::Create({1, 2}), CSettingsBytes::Create({1}), false},
      {parse("{\"a\":null}"), parse("{\"a\":null}"), true}, {parse("{\"a\":null}"), parse("{\"a\":0}"), false},
      {parse("{\"a\":1}"), parse("{\"b\":1}"), false}, {parse("{\"a\":1}"), parse("{\"a\":1,\"b\":1}"), false},
      {parse("{}"), parse("[]"), false}, {parse("[1,[2]]"), parse("[1,[3]]"), false},
      {parse("[1]"), parse("[1,1]"), false}};
  test::CDebugCapture capture;
  for (const auto& [left, right, equal] : cases) EXPECT_EQ(left->Equals(right), equal) << left->ToTypedText();
  EXPECT_TRUE(capture.Lines().empty());
}

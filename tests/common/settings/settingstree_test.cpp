#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "common/settings/csettingsarray.h"
#include "common/settings/csettingsmap.h"
#include "common/settings/csettingsobject.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

TEST(SettingsTree, NullChildrenReadAsAbsentButKeepTheirKeys)
{
  const SettingsMapPtr map = CSettingsMap::Create();
  map->Set("empty", nullptr);
  map->Set("null", CSettingsNULL::Create());
  map->Set("n", CSettingsInteger::Create(3));
  for (const std::string key : {"empty", "null", "missing"}) {
    EXPECT_FALSE(map->Get(key)) << key;
    EXPECT_FALSE(map->HasKey(key)) << key;
    EXPECT_EQ(map->GetTypeNameOf(key), "") << key;
    EXPECT_EQ(map->GetInteger(key, 7), 7) << key;
  }
  EXPECT_EQ(map->GetKeys(), (std::vector<std::string>{"empty", "n", "null"}));
  EXPECT_EQ(map->ToTypedText(), "map[empty:null[], n:integer[3], null:null[]]");

  const SettingsArrayPtr array = CSettingsArray::Create();
  array->Append(nullptr);
  array->Append(CSettingsString::Create("s"));
  EXPECT_EQ(array->Size(), 2u);
  EXPECT_FALSE(array->Get(0));
  EXPECT_FALSE(array->Get(2));
  EXPECT_FALSE(array->GetStringNode(0));
  EXPECT_EQ(array->GetStringNode(1)->Value(), "s");
  EXPECT_EQ(array->ToTypedText(), "array[0:null[], 1:string[s]]");
}

TEST(SettingsTree, KeysFollowByteOrderAndLaterSetReplaces)
{
  const SettingsMapPtr map = CSettingsMap::Create();
  for (const std::string key : {"\xC3\xA9", "b", "B", "a", "b"}) {
    map->Set(key, CSettingsString::Create(key));
  }
  map->Set("a", CSettingsBool::Create(true));
  EXPECT_EQ(map->GetKeys(), (std::vector<std::string>{"B", "a", "b", "\xC3\xA9"}));
  EXPECT_EQ(map->GetTypeNameOf("a"), "bool");
}

TEST(SettingsTree, TypedGettersNeverConvert)
{
  const auto root = ToMap(CSettingsObject::Parse(
      "{\"int\": 5, \"text\": \"5\", \"real\": 5.0, \"flag\": true, \"list\": [1]}"));
  ASSERT_TRUE(root);
  EXPECT_EQ(root->GetInteger("int", 7), 5);
  EXPECT_EQ(root->GetInteger("text", 7), 7);
  EXPECT_EQ(root->GetInteger("real", 7), 7);
  EXPECT_EQ(root->GetString("text", "d"), "5");
  EXPECT_EQ(root->GetString("int", "d"), "d");
  EXPECT_TRUE(root->GetBool("flag", false));
  EXPECT_TRUE(root->GetBool("int", true));
  EXPECT_FALSE(root->GetBoolNode("text"));
  EXPECT_FALSE(root->GetStringNode("list"));
  EXPECT_FALSE(root->GetIntegerNode("flag"));

  EXPECT_TRUE(ToArray(root->Get("list")));
  EXPECT_FALSE(ToMap(root->Get("list")));
  EXPECT_FALSE(ToArray(root));
  EXPECT_FALSE(ToMap(nullptr));
}

TEST(SettingsTree, CloneIsDeep)
{
  const auto original = ToMap(CSettingsObject::Parse("{\"inner\": {\"a\": [1, \"x\"]}, \"b\": null}"));
  ASSERT_TRUE(original);
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
  struct CCase {
    SettingsPtr mLeft;
    SettingsPtr mRight;
    bool mEqual;
  };
  const CCase cases[] = {
      {CSettingsInteger::Create(1), CSettingsInteger::Create(1), true},
      {CSettingsInteger::Create(1), CSettingsDouble::Create(1.0), false},
      {CSettingsInteger::Create(1), nullptr, false},
      {CSettingsDouble::Create(0.0), CSettingsDouble::Create(-0.0), true},
      {CSettingsDouble::Create(nan), CSettingsDouble::Create(nan), false},
      {CSettingsBool::Create(true), CSettingsBool::Create(false), false},
      {CSettingsString::Create("a"), CSettingsString::Create("a"), true},
      {CSettingsString::Create("a"), CSettingsBytes::Create({'a'}), false},
      {CSettingsBytes::Create({1, 2}), CSettingsBytes::Create({1, 2}), true},
      {CSettingsBytes::Create({1, 2}), CSettingsBytes::Create({1}), false},
      {CSettingsNULL::Create(), CSettingsNULL::Create(), true},
      {CSettingsObject::Parse("{\"a\":null}"), CSettingsObject::Parse("{\"a\":null}"), true},
      {CSettingsObject::Parse("{\"a\":null}"), CSettingsObject::Parse("{\"a\":0}"), false},
      {CSettingsObject::Parse("{\"a\":1}"), CSettingsObject::Parse("{\"b\":1}"), false},
      {CSettingsObject::Parse("{\"a\":1}"), CSettingsObject::Parse("{\"a\":1,\"b\":1}"), false},
      {CSettingsObject::Parse("{}"), CSettingsObject::Parse("[]"), false},
      {CSettingsObject::Parse("[1,[2]]"), CSettingsObject::Parse("[1,[2]]"), true},
      {CSettingsObject::Parse("[1,[2]]"), CSettingsObject::Parse("[1,[3]]"), false},
      {CSettingsObject::Parse("[1]"), CSettingsObject::Parse("[1,1]"), false},
  };
  test::CDebugCapture capture;
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].mLeft->Equals(cases[i].mRight), cases[i].mEqual) << i;
  }
  EXPECT_TRUE(capture.Lines().empty());
}

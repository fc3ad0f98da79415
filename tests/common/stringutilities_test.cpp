#include <gtest/gtest.h>

#include "common/corvexception.h"
#include "common/stringutilities.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

TEST(StringUtilities, CaseFoldingAndTrimming)
{
  EXPECT_EQ(ToLower(std::string("HID#Vid_4F52")), "hid#vid_4f52");
  EXPECT_TRUE(EqualsIgnoreCase("HID", "hid"));
  EXPECT_FALSE(EqualsIgnoreCase("HID", "HIDX"));
  EXPECT_EQ(Trimmed(" \t\r\n x y \v\f"), "x y");
  EXPECT_EQ(Trimmed("   "), "");
  std::u16string wide = u"  Update -AUTO \t";
  Trim(wide);
  EXPECT_EQ(wide, u"Update -AUTO");
  EXPECT_EQ(ToLower(std::u16string(u"ABC\u00C9")), u"abc\u00C9");  // only A-Z change
}

TEST(StringUtilities, NarrowSplitNeverYieldsEmptyPieces)
{
  EXPECT_EQ(Split("a::b:", ":"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Split(":a", ":"), (std::vector<std::string>{"a"}));
  EXPECT_TRUE(Split("", ":").empty());
  EXPECT_TRUE(Split(":::", ":").empty());
  EXPECT_EQ(Split("1,2;3", ",;"), (std::vector<std::string>{"1", "2", "3"}));
}

TEST(StringUtilities, WideSplitKeepsInnerAndLeadingEmptyPieces)
{
  EXPECT_EQ(Split(u"a::b:", u":", false), (std::vector<std::u16string>{u"a", u"", u"b"}));
  EXPECT_EQ(Split(u":a", u":", false), (std::vector<std::u16string>{u"", u"a"}));
  EXPECT_EQ(Split(u"a::b:", u":", true), (std::vector<std::u16string>{u"a", u"b"}));
  EXPECT_TRUE(Split(u"", u":", false).empty());
  EXPECT_EQ(Split(u"-auto  pen", u" ", false), (std::vector<std::u16string>{u"-auto", u"", u"pen"}));
}

TEST(StringUtilities, FindIgnoreCasePrefersExactMatch)
{
  EXPECT_EQ(FindIgnoreCase(u"Update -AUTO", u"-auto"), 7u);
  EXPECT_EQ(FindIgnoreCase(u"-Auto -auto", u"-auto"), 6u);
  EXPECT_EQ(FindIgnoreCase(u"Update", u"x"), std::u16string::npos);
}

TEST(StringUtilities, Base64RoundTripsWithoutPadding)
{
  EXPECT_EQ(Base64Encode({0x4D, 0x61}), "TWE");
  EXPECT_EQ(Base64Encode({0x4D, 0x61, 0x6E}), "TWFu");
  EXPECT_EQ(Base64Encode({}), "");
  EXPECT_EQ(Base64Decode("TWE"), (std::vector<uint8_t>{0x4D, 0x61}));
  EXPECT_TRUE(Base64Decode("T").empty());
  EXPECT_TRUE(Base64Decode("").empty());

  std::vector<uint8_t> all(256);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);
  for (size_t length = 0; length < 8; ++length) {
    std::vector<uint8_t> piece(all.begin(), all.begin() + static_cast<long>(length));
    EXPECT_EQ(Base64Decode(Base64Encode(piece)), piece) << length;
  }
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(StringUtilities, Base64RejectsCharactersOutsideTheAlphabet)
{
  for (const char* bad : {"TWE=", "T*", "AA==", "TW E", "\xC3\xA9"}) {
    try {
      Base64Decode(bad);
      ADD_FAILURE() << bad;
    } catch (const COrvException& e) {
      EXPECT_EQ(e.Status(), 0xFFFF);
      EXPECT_STREQ(e.what(), "Status: ffff,  \"bad char\"");
    }
  }
}

TEST(StringUtilities, ExceptionTextShowsOnlyWhatIsGiven)
{
  EXPECT_STREQ(COrvException(nullptr, 0, "oops", 0).what(), " \"oops\"");
  EXPECT_STREQ(COrvException("a.cpp", 12, "oops", 0x1A).what(), "File: a.cpp, Line: 12, Status: 1a,  \"oops\"");
  EXPECT_STREQ(COrvException("f", 3, "m", 1).what(), "File: f, Line: 3, Status: 1,  \"m\"");
}

TEST(StringUtilities, VersionFromNumberStyles)
{
  EXPECT_EQ(VersionFromNumber(0x00010203, 2), (PackedVersion{1, 2, 3, 5, 0}));
  EXPECT_EQ(VersionFromNumber(0x0001000C, 3), (PackedVersion{1, 1, 2, 0, 0}));
  EXPECT_EQ(VersionFromNumber(0xAABBCCDD, 4), (PackedVersion{0xCC, 0xDD, 0, 0, 0}));
  EXPECT_EQ(VersionFromNumber(0xAABBCCDD, 5), (PackedVersion{0xBB, 0xCC, 0xDD, 0, 0}));
  // Style 3 keeps only the low byte of the quotient: 65535 / 10 = 6553 = 0x1999.
  EXPECT_EQ(VersionFromNumber(0x0000FFFF, 3), (PackedVersion{0, 0x99, 5, 0, 0}));

  test::CDebugCapture capture;
  EXPECT_EQ(VersionFromNumber(0x00010203, 1), (PackedVersion{0, 0, 0, 0, 0}));
  EXPECT_EQ(capture.CountAsserts("\"This style not supported from number\""), 1u);
}

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "app/uistrings.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

const std::u16string kEnglish[] = {
    u"Orvel Firmware Update Utility", u"Waiting for Loader Mode", u"Waiting for Device Mode",
    u"Updating, this may take several minutes", u"Programming Successful", u"Programming Failed",
    u"Firmware was successfully updated.",
    u"Firmware failed to update. Please reattach your device and try again.",
    u"Error: No supported tablet is connected.  Please connect a tablet.",
    u"Error: Update target device not found. Please re-download the package.",
    u"Error: Invalid state resulted in updater termination.",
    u"Error: Invalid Firmware update file. Please re-download the package.", u"Cancel", u"Update",
    u"This update may take up to 15 minutes. Failure to follow these steps may break your device:",
    u"Do not shut down, restart, or allow your computer to sleep", u"Do not unplug the power or USB cables",
    u"Do not touch buttons on Orvel device", u"%1, board %2 of %3", u"%1 of %2 bytes", u"%1 elapsed",
    u"about %1 left", u"Status", u"Cancel refused: a board is in or near loader mode. Please wait.",
    u"Cancelled at the pre-update warning; no board was touched.",
    u"Cancelled by the user; %1 of %2 boards were updated.",
    u"Error: Invalid update options. Please re-download the package.",
    u"Error: A file of the update package is missing. Please re-download the package.",
};

// The value markers a text holds, in order of their numbers.
std::vector<std::u16string> Markers(const std::u16string& text_I)
{
  std::vector<std::u16string> markers;
  for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
    const std::u16string marker = {u'%', digit};
    if (text_I.find(marker) != std::u16string::npos) markers.push_back(marker);
  }
  return markers;
}

std::vector<uint8_t> Bytes(const std::string& text_I) { return {text_I.begin(), text_I.end()}; }

}  // namespace

TEST(UiStrings, EveryLanguageHoldsEveryStringEncodedAndEnglishIsTheProductText)
{
  test::CDebugCapture capture;
  std::set<uint16_t> langIds;
  for (const CStringTable& table : BuiltInStringTables()) {
    langIds.insert(table.mLangId);
    std::set<std::u16string> distinct;
    for (size_t i = 0; i < kUiStringIds.size(); ++i) {
      ASSERT_NE(table.mTexts[i], nullptr) << table.mLangId << " " << i;
      EXPECT_EQ(table.mTexts[i][0], u'\u0298');
      const std::u16string text = LoadResString(kUiStringIds[i], table.mLangId);
      EXPECT_TRUE(!text.empty() && text.find(u'\uFFFD') == std::u16string::npos) << table.mLangId << " " << i;
      if (table.mLangId == 9 || table.mLangId == 0) {  // the neutral language shows the English texts
        EXPECT_EQ(text, kEnglish[i]) << table.mLangId << " " << i;
      }
      // A translation that lost or invented a value would show a wrong count or a bare "%2".
      EXPECT_EQ(Markers(text), Markers(kEnglish[i])) << table.mLangId << " " << i;
      distinct.insert(text);
    }
    // "Update" (2205) and the title differ from each other in every language, so all are distinct.
    EXPECT_EQ(distinct.size(), kUiStringIds.size()) << table.mLangId;
  }
  EXPECT_EQ(langIds, (std::set<uint16_t>{0, 7, 9, 10, 12, 16, 17, 18, 19, 21, 22, 25, 1028, 2052}));
  EXPECT_TRUE(capture.Lines().empty());
}

TEST(UiStrings, LookupFallsBackAlongTheLanguageChain)
{
  EXPECT_EQ(LoadResString(EUISTRING_CANCEL, 3079), u"Abbrechen");
  EXPECT_TRUE(LoadResString(2107, 9).empty());

  // A table lacking a string leaves it to the next language along the chain.
  const CStringTable tables[] = {{9, {u"\u0298RW5nbGlzaA==", nullptr}}, {7, {nullptr, u"Deutsch"}},
                                 {0, {nullptr, nullptr, u"\u0298TmV1dHJhbA=="}}};
  EXPECT_EQ(LoadResString(EUISTRING_TITLE, 1031, tables), u"English");
  EXPECT_EQ(LoadResString(EUISTRING_WAITING_FOR_LOADER, 1031, tables), u"Deutsch");
  EXPECT_EQ(LoadResString(EUISTRING_WAITING_FOR_DEVICE, 1031, tables), u"Neutral");
  EXPECT_TRUE(LoadResString(EUISTRING_UPDATING, 1031, tables).empty());
}

TEST(UiStrings, FormattingPutsEachValueInItsPlace)
{
  EXPECT_EQ(FormatUiString(u"%2 個中 %1 個", {u"1", u"3"}), u"3 個中 1 個");
  // A value that holds a marker is not read again; a marker without a value and a lone "%" stay.
  EXPECT_EQ(FormatUiString(u"%1 of %2, %3 at 50%", {u"%2", u"x"}), u"%2 of x, %3 at 50%");
  EXPECT_EQ(FormatUiString(u"%", {}), u"%");
}

TEST(UiStrings, DecodingToleratesMalformedText)
{
  test::CDebugCapture capture;
  EXPECT_EQ(DecodeResString(u"Plain \u0298text"), u"Plain \u0298text");
  EXPECT_EQ(DecodeResString(u""), u"");
  EXPECT_EQ(DecodeResString(u"\u0298"), u"");
  EXPECT_EQ(DecodeResString(u"\u0298TWE"), u"Ma");  // padding added
  EXPECT_TRUE(capture.Lines().empty());

  EXPECT_EQ(DecodeResString(u"\u0298TW\u0146u"), u"Man");  // U+0146 read as "F", reported
  EXPECT_EQ(capture.CountAsserts("codedString_I[i] < 256"), 1u);

  // An invalid character drops the byte it would complete and counts as zero where it cannot.
  EXPECT_EQ(Base64Decode(Bytes("TW**")), Bytes("M"));
  EXPECT_EQ(Base64Decode(Bytes("*WFu")), Bytes("\x01" "an"));
  EXPECT_EQ(capture.CountAsserts("(valueTable[coded_I] & 0x80) == 0"), 3u);
  EXPECT_EQ(capture.CountAsserts("s1 < 64"), 1u);

  EXPECT_EQ(Base64Decode(Bytes("TWFuTQ")), Bytes("ManM"));  // a short last group counts as padded
  EXPECT_EQ(capture.CountAsserts("(((codedbuffer_I.size() + 3) / 4) * 4) == codedbuffer_I.size()"), 1u);
  EXPECT_EQ(Base64Decode(Bytes("T===")), Bytes("L"));
  EXPECT_EQ(capture.CountAsserts("s2 < 64"), 1u);
}

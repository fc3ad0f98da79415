#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "linux/common/clinuxpreupdateprompt.h"
#include "tests/linux/linuxtesthelpers.h"

using namespace orv;

namespace {

struct CPromptResult {
  int mCode;
  std::string mShown;
};

CPromptResult RunWithInput(const std::string& input_I, const std::u16string& lang_I = u"")
{
  FILE* in = std::tmpfile();
  FILE* out = std::tmpfile();
  std::fputs(input_I.c_str(), in);
  std::rewind(in);
  CLinuxPreUpdatePrompt prompt(std::make_shared<CFixedUserLanguage>(1033), lang_I, in, out);
  const CPromptResult result{prompt.Run(), test::Contents(out)};
  std::fclose(in);
  std::fclose(out);
  return result;
}

}  // namespace

TEST(LinuxPreUpdatePrompt, PipedAnswerDecidesAndCancelIsTheDefault)
{
  struct {
    const char* mInput;
    int mCode;
  } const cases[] = {
      {"Update\n", 0}, {"update", 0},     {"  U \r\n", 0},     {"u\nCancel\n", 0}, {"", 1},
      {"\n", 1},       {"Cancel\n", 1},   {"Updater\n", 1},   {"yes\n", 1},       {"\nUpdate\n", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunWithInput(c.mInput).mCode, c.mCode) << c.mInput;
  }
  EXPECT_EQ(RunWithInput(std::string(100000, 'x') + "\n").mCode, 1);
}

TEST(LinuxPreUpdatePrompt, ShowsTitleWarningsAndTheDecision)
{
  EXPECT_EQ(RunWithInput("").mShown,
            "Orvel Firmware Update Utility 3.09\n"
            "This update may take up to 15 minutes. Failure to follow these steps may break your device:\n"
            "! Do not shut down, restart, or allow your computer to sleep\n"
            "! Do not unplug the power or USB cables\n"
            "! Do not touch buttons on Orvel device\n"
            "[Update/Cancel] Cancel\n");
  EXPECT_NE(RunWithInput("Aktualisieren\n", u"de").mShown.find("[Aktualisieren/Abbrechen] Aktualisieren\n"),
            std::string::npos);
}

TEST(LinuxPreUpdatePrompt, LocalWordsCountAndAnAmbiguousFirstLetterCancels)
{
  struct {
    const char16_t* mLang;
    const char* mInput;
    int mCode;
  } const cases[] = {
      {u"de", "aktualisieren", 0}, {u"de", "A", 1},  {u"de", "Update", 0}, {u"de", "u", 0},
      {u"ru", "ОБНОВИТЬ", 0},      {u"ru", "о", 1},  {u"fr", "m", 0},      {u"fr", "Mettre à jour", 0},
      {u"ja", "アップデート", 0},  {u"ja", "ア", 0}, {u"ja", "キャンセル", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunWithInput(c.mInput, c.mLang).mCode, c.mCode) << c.mInput;
  }
}

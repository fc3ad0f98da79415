#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "linux/common/clinuxpreupdateprompt.h"
#include "tests/linux/linuxtesthelpers.h"

using namespace orv;

namespace {

std::pair<int, std::string> RunWithInput(const std::string& input_I, const std::u16string& lang_I = u"")
{
  FILE* in = std::tmpfile();
  FILE* out = std::tmpfile();
  std::fputs(input_I.c_str(), in);
  std::rewind(in);
  CLinuxPreUpdatePrompt prompt(std::make_shared<CFixedUserLanguage>(1033), lang_I, in, out);
  const int code = prompt.Run();
  const std::pair<int, std::string> result{code, test::Contents(out)};
  std::fclose(in);
  std::fclose(out);
  return result;
}

}  // namespace

TEST(LinuxPreUpdatePrompt, PipedAnswerDecidesAndCancelIsTheDefault)
{
  struct {
    const char16_t* mLang;
    const char* mInput;
    int mCode;
  } const cases[] = {
      {u"", "Update\n", 0},        {u"", "  u \r\nCancel\n", 0}, {u"", "", 1},         {u"", "\nUpdate\n", 1},
      {u"", "Updater\n", 1},       {u"", "Cancel", 1},           {u"de", "aktualisieren", 0},
      {u"de", "A", 1},  // "Abbrechen" starts alike
      {u"de", "Update", 0},        {u"ru", "ОБНОВИТЬ", 0},      {u"ru", "о", 1},      {u"fr", "m", 0},
      {u"ja", "アップデート", 0},  {u"ja", "ア", 0},            {u"ja", "キャンセル", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunWithInput(c.mInput, c.mLang).first, c.mCode) << c.mInput;
  }
  EXPECT_EQ(RunWithInput(std::string(100000, 'x') + "\n").first, 1);
}

TEST(LinuxPreUpdatePrompt, ShowsTitleWarningsAndTheDecision)
{
  EXPECT_EQ(RunWithInput("u\n").second,
            "Orvel Firmware Update Utility 3.09\n"
            "This update may take up to 15 minutes. Failure to follow these steps may break your device:\n"
            "! Do not shut down, restart, or allow your computer to sleep\n"
            "! Do not unplug the power or USB cables\n"
            "! Do not touch buttons on Orvel device\n"
            "[Update/Cancel] Update\n");
  EXPECT_NE(RunWithInput("", u"de").second.find("\n[Aktualisieren/Abbrechen] Abbrechen\n"), std::string::npos);
}

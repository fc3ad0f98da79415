#include <gtest/gtest.h>

#include <tuple>

#include "linux/common/clinuxpreupdateprompt.h"
#include "tests/linux/linuxtesthelpers.h"

using namespace orv;

namespace {

// The exit code and the output of a prompt for an English-speaking user that reads input_I.
std::pair<int, std::string> RunWithInput(const std::string& input_I, const std::u16string& lang_I = u"")
{
  FILE* in = std::tmpfile();
  FILE* out = std::tmpfile();
  std::fputs(input_I.c_str(), in);
  std::rewind(in);
  const int code = CLinuxPreUpdatePrompt(std::make_shared<CFixedUserLanguage>(1033), lang_I, in, out).Run();
  const std::pair<int, std::string> result{code, test::Contents(out)};
  std::fclose(in);
  std::fclose(out);
  return result;
}

}  // namespace

TEST(LinuxPreUpdatePrompt, ShowsTheWarningsAndThePipedAnswerDecidesWithCancelTheDefault)
{
  const std::tuple<const char16_t*, std::string, int> cases[] = {
      {u"", "Update\n", 0},   {u"", "  u \r\nCancel\n", 0}, {u"", "", 1},        {u"", "\nUpdate\n", 1},
      {u"", "Updater\n", 1},  {u"de", "aktualisieren", 0},  {u"de", "Update", 0}, {u"fr", "m", 0},
      {u"de", "A", 1},        {u"ru", "о", 1},               // "Abbrechen" and "Отмена" start alike
      {u"ru", "ОБНОВИТЬ", 0}, {u"ja", "アップデート", 0},    {u"ja", "ア", 0},     {u"", std::string(100000, 'x') + "\n", 1},
  };
  for (const auto& [lang, input, code] : cases) {
    EXPECT_EQ(RunWithInput(input, lang).first, code) << input.substr(0, 20);
  }
  EXPECT_EQ(RunWithInput("u\n").second,
            "Orvel Firmware Update Utility 3.09\n"
            "This update may take up to 15 minutes. Failure to follow these steps may break your device:\n"
            "! Do not shut down, restart, or allow your computer to sleep\n"
            "! Do not unplug the power or USB cables\n"
            "! Do not touch buttons on Orvel device\n"
            "[Update/Cancel] Update\n");
  EXPECT_NE(RunWithInput("", u"de").second.find("\n[Aktualisieren/Abbrechen] Abbrechen\n"), std::string::npos);
}

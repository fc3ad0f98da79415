#include "linux/common/clinuxpreupdateprompt.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "app/cautoupdaterun.h"
#include "app/uistrings.h"
#include "common/stringutilities.h"
#include "common/textconversion.h"
#include "linux/common/clinuxterminalview.h"

namespace orv {
namespace {

constexpr uint16_t kEnglish = 9;

// Lower case for the scripts of the program's languages: Latin, Greek and Cyrillic capitals.
char16_t FoldUnit(char16_t c_I)
{
  const bool latin = (c_I >= u'A' && c_I <= u'Z') || (c_I >= 0xC0 && c_I <= 0xDE && c_I != 0xD7);
  const bool greekOrCyrillic = (c_I >= 0x391 && c_I <= 0x3A9) || (c_I >= 0x410 && c_I <= 0x42F);
  if (latin || greekOrCyrillic) return static_cast<char16_t>(c_I + 0x20);
  if (c_I >= 0x400 && c_I <= 0x40F) return static_cast<char16_t>(c_I + 0x50);
  return c_I;
}

std::u16string Folded(std::u16string text_I)
{
  Trim(text_I);
  std::transform(text_I.begin(), text_I.end(), text_I.begin(), FoldUnit);
  return text_I;
}

std::u16string FirstLetter(const std::u16string& word_I)
{
  const bool pair = !word_I.empty() && word_I[0] >= 0xD800 && word_I[0] <= 0xDBFF;
  return word_I.substr(0, pair ? 2 : 1);
}

bool MeansWord(const std::u16string& answer_I, const std::u16string& word_I, const std::u16string& other_I)
{
  if (answer_I.empty() || word_I.empty()) return false;
  if (answer_I == word_I) return true;
  const std::u16string letter = FirstLetter(word_I);
  return answer_I == letter && FirstLetter(other_I) != letter;
}

// One line without its end; false at the end of input with nothing read, and when a close signal came.
bool ReadLine(FILE* in_I, size_t limit_I, std::string& line_O)
{
  line_O.clear();
  bool any = false;
  while (!CLinuxInterruptGuard::TakeRequest()) {
    const int c = std::getc(in_I);
    // Some signal ended the wait; the loop looks whether it was one to close.
    if (c == EOF && std::ferror(in_I) && errno == EINTR) {
      std::clearerr(in_I);
      continue;
    }
    if (c == EOF) return any;
    any = true;
    if (c == '\n') return true;
    if (line_O.size() < limit_I) line_O += static_cast<char>(c);
  }
  line_O.clear();
  return false;
}

bool IsTerminal(FILE* stream_I) { return isatty(fileno(stream_I)) == 1; }

}  // namespace

CLinuxPreUpdatePrompt::CLinuxPreUpdatePrompt(std::shared_ptr<const CUserLanguage> user_I,
                                             const std::u16string& lang_I, FILE* in_I, FILE* out_I, FILE* err_I)
    : mLanguage(std::move(user_I)), mIn(in_I), mOut(out_I)
{
  if (!lang_I.empty()) mLanguage.SelectLanguage(WideToUtf8(lang_I));
  // Output sent to a file must not leave the user waiting at a terminal for a question that never shows.
  if (IsTerminal(in_I) && !IsTerminal(out_I) && IsTerminal(err_I)) mOut = err_I;
}

// Without a terminal on standard input the run is unattended: nobody is asked, but one line is still
// read, so that a package can agree in advance (`echo Update | orvel-fwupdater ...`). No line, an empty
// one or any other answer cancels, as a scaler update must never start without consent.
int CLinuxPreUpdatePrompt::Run()
{
  // Ctrl-C, or a stop from whoever started the run, while the question waits is "Cancel": the run then ends
  // as declined, with its log and result, instead of vanishing.
  const CLinuxInterruptGuard interrupts(false);
  Print(Text(EUISTRING_TITLE) + u" " + CAutoUpdateRun::VersionText());
  Print(Text(EUISTRING_WARNING_INTRO));
  for (const uint16_t id : {EUISTRING_WARNING_POWER_STATE, EUISTRING_WARNING_CABLES, EUISTRING_WARNING_BUTTONS}) {
    Print(u"! " + Text(id));
  }
  const std::u16string question = u"[" + Text(EUISTRING_UPDATE) + u"/" + Text(EUISTRING_CANCEL) + u"] ";
  const bool interactive = IsTerminal(mIn);
  if (interactive) {
    std::fputs(WideToUtf8(question).c_str(), mOut);
    std::fflush(mOut);
  }
  std::string answer;
  const bool answered = ReadLine(mIn, kMaxAnswer, answer);
  const bool update = answered && IsUpdateAnswer(Utf8ToWide(answer));
  if (!interactive) {
    Print(question + Text(update ? EUISTRING_UPDATE : EUISTRING_CANCEL));
  } else if (!answered) {
    Print(u"");
  }
  return update ? kUpdate : kCancel;
}

bool CLinuxPreUpdatePrompt::IsUpdateAnswer(const std::u16string& answer_I) const
{
  const std::u16string answer = Folded(answer_I);
  const bool chosen = MeansWord(answer, Folded(Text(EUISTRING_UPDATE)), Folded(Text(EUISTRING_CANCEL)));
  // Packages answer in English, whatever the user's language.
  return chosen || MeansWord(answer, Folded(LoadResString(EUISTRING_UPDATE, kEnglish)),
                             Folded(LoadResString(EUISTRING_CANCEL, kEnglish)));
}

std::u16string CLinuxPreUpdatePrompt::Text(uint16_t id_I) const { return LoadResString(id_I, mLanguage.GetLangId()); }

void CLinuxPreUpdatePrompt::Print(const std::u16string& line_I)
{
  std::fputs((WideToUtf8(line_I) + "\n").c_str(), mOut);
  std::fflush(mOut);
}

}  // namespace orv

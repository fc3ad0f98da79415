// The warning before an update that includes the display scaler, as a question on the terminal: how long
// the update may take, what must not be done meanwhile, and whether to go on.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "app/languageprovider.h"

namespace orv {

class CLinuxPreUpdatePrompt {
 public:
  static constexpr int kUpdate = 0;
  static constexpr int kCancel = 1;
  // Longer answers are read to their end but only this much of them is kept.
  static constexpr size_t kMaxAnswer = 256;

  // lang_I as the "-lang" option: empty keeps the user's language. The warning and the question go to out_I,
  // or to err_I when only that one shows on the terminal the answer is read from.
  CLinuxPreUpdatePrompt(std::shared_ptr<const CUserLanguage> user_I, const std::u16string& lang_I,
                        FILE* in_I = stdin, FILE* out_I = stdout, FILE* err_I = stderr);

  // kUpdate or kCancel.
  int Run();
  // Whether an answer means "Update": the word in the chosen language or in English, or its first letter
  // where the "Cancel" word does not start with the same one, regardless of case. Anything else cancels.
  bool IsUpdateAnswer(const std::u16string& answer_I) const;

 private:
  std::u16string Text(uint16_t id_I) const;
  void Print(const std::u16string& line_I);

  CLanguageProvider mLanguage;
  FILE* mIn;
  FILE* mOut;
};

}  // namespace orv

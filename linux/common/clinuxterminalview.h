// The terminal view of the automatic update run.
//
// On a terminal it keeps one compact status block (title, status line, progress bar, warnings) and redraws
// it in place; elsewhere (a log file, a pipe) it writes a plain line for each change, so the log of an
// unattended run stays readable. Interrupt, quit, terminate and hang-up signals count as a request to close.
#pragma once

#include <signal.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "app/cupdateview.h"

namespace orv {

// Routes SIGINT, SIGQUIT, SIGTERM and SIGHUP into one close request for its lifetime and restores the
// previous handlers afterwards. SIGPIPE is ignored meanwhile: a reader of our output going away must not kill
// the process while a board is in its loader.
class CLinuxInterruptGuard {
 public:
  // With restart_I false a close signal also ends a read that waits meanwhile (EINTR), as a question must.
  explicit CLinuxInterruptGuard(bool restart_I = true);
  ~CLinuxInterruptGuard();
  CLinuxInterruptGuard(const CLinuxInterruptGuard&) = delete;
  CLinuxInterruptGuard& operator=(const CLinuxInterruptGuard&) = delete;

  // Whether a close request arrived since the last call; clears it.
  static bool TakeRequest();
  // While held, the terminal's stop signals (Ctrl-Z, a background job's reads and writes) are ignored: a
  // stopped process would leave a board in its loader until someone resumes it.
  void HoldStops(bool hold_I);

 private:
  static constexpr int kSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE};
  static constexpr int kStopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};
  struct sigaction mPrevious[std::size(kSignals)];
  struct sigaction mPreviousStops[std::size(kStopSignals)];
  bool mStopsHeld = false;
};

class CLinuxTerminalView : public CUpdateView {
 public:
  static constexpr uint16_t kEnglish = 9;

  // Errors go to err_I, everything else to out_I; both take UTF-8. After the pre-update prompt has shown the
  // title and the warnings, a plain log does not repeat them. The view's own texts are in the language langId_I.
  explicit CLinuxTerminalView(FILE* out_I = stdout, FILE* err_I = stderr, bool introduced_I = false,
                              uint16_t langId_I = kEnglish);

  void SetTitle(const std::u16string& title_I) override;
  void ShowProgressLayout(const std::array<std::u16string, 3>& warnings_I) override;
  void SetStatus(const std::u16string& status_I) override;
  void SetProgress(int32_t percent_I) override;
  void SetBoardProgress(const SBoardProgress& progress_I) override;
  void EnableClose(bool enable_I) override;
  void ShowMessage(const std::u16string& text_I, const std::u16string& caption_I, EMessageIcon icon_I) override;
  // "warning: " and the text on the error stream; on a terminal it stays below the block, which is drawn anew
  // under it.
  void ShowWarning(const std::string& text_I);
  // Below the block on a terminal, a line of its own elsewhere.
  void ShowNotice(const std::u16string& text_I) override;
  // A request while closing is disabled is refused (and said so) and reads as no request.
  bool TakeCancelRequest() override;

  bool IsTerminal() const { return mTerminal; }
  // "[#########...........]  45%"
  static std::string ProgressBar(int32_t percent_I);
  // "touch, board 2 of 3: 1536 of 3072 bytes, 0:12 elapsed, about 0:20 left"
  static std::string ProgressDetails(const SBoardProgress& progress_I, uint16_t langId_I = kEnglish);
  // "error: " and the message, without a label of its own such as "Error:" in front of it.
  static std::string ErrorLine(const std::string& message_I);

 private:
  void Print(FILE* stream_I, const std::string& line_I);
  void PrintStatusLine();
  std::string Text(uint16_t id_I) const;
  std::vector<std::string> BlockLines() const;
  void Redraw();
  // What is printed next stays; the block starts again below it.
  void LeaveBlock();
  int TerminalColumns() const;

  CLinuxInterruptGuard mInterrupts;
  FILE* mOut;
  FILE* mErr;
  bool mTerminal;
  bool mIntroduced;
  uint16_t mLangId;
  std::string mTitle;
  std::string mBoard;
  std::string mDetails;
  std::string mStatus;
  // The status without its trailing progress dots, which a plain log leaves out.
  std::string mPlainStatus;
  int32_t mProgress = -1;
  bool mLayoutShown = false;
  std::array<std::string, 3> mWarnings;
  bool mCloseEnabled = true;
  std::string mNotice;
  // What the block on the terminal shows now, and how many screen rows it takes.
  std::vector<std::string> mDrawnLines;
  int mDrawnRows = 0;
};

}  // namespace orv

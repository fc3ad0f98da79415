#include "linux/common/clinuxterminalview.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "app/boardprogress.h"
#include "app/uistrings.h"
#include "common/textconversion.h"

namespace orv {
namespace {

// Written by the signal handler, so it cannot live in an object: a lock-free atomic is all a handler may touch.
constinit std::atomic<bool> sCloseRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnCloseSignal(int /*signal_I*/) { sCloseRequested.store(true); }

constexpr int kBarWidth = 20;
constexpr int kDefaultColumns = 80;
constexpr const char* kWarningMark = "! ";

bool IsWide(char32_t c_I)
{
  return (c_I >= 0x1100 && c_I <= 0x115F) || (c_I >= 0x2E80 && c_I <= 0xA4CF) || (c_I >= 0xAC00 && c_I <= 0xD7A3) ||
         (c_I >= 0xF900 && c_I <= 0xFAFF) || (c_I >= 0xFE30 && c_I <= 0xFE4F) || (c_I >= 0xFF00 && c_I <= 0xFF60) ||
         (c_I >= 0xFFE0 && c_I <= 0xFFE6) || (c_I >= 0x20000 && c_I <= 0x3FFFD);
}

// Screen columns a line of UTF-8 takes: East Asian wide characters two, combining marks none.
int DisplayWidth(const std::string& utf8_I)
{
  int width = 0;
  size_t pos = 0;
  while (pos < utf8_I.size()) {
    const auto lead = static_cast<uint8_t>(utf8_I[pos]);
    const size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (size_t i = 1; i < length && pos + i < utf8_I.size(); ++i) {
      c = (c << 6) | (static_cast<uint8_t>(utf8_I[pos + i]) & 0x3F);
    }
    pos += length;
    if (c >= 0x300 && c <= 0x36F) continue;
    width += IsWide(c) ? 2 : 1;
  }
  return width;
}

int ScreenRows(const std::string& line_I, int columns_I)
{
  return std::max(1, (DisplayWidth(line_I) + columns_I - 1) / columns_I);
}

bool DumbTerminal()
{
  const char* term = std::getenv("TERM");
  return term != nullptr && std::strcmp(term, "dumb") == 0;
}

std::string WithoutTrailingDots(const std::string& text_I)
{
  const size_t end = text_I.find_last_not_of('.');
  return end == std::string::npos ? std::string() : text_I.substr(0, end + 1);
}

}  // namespace

CLinuxInterruptGuard::CLinuxInterruptGuard(bool restart_I)
{
  // A request left over from an earlier guard is not one for this run.
  sCloseRequested.store(false);
  struct sigaction onClose {};
  onClose.sa_handler = OnCloseSignal;
  sigemptyset(&onClose.sa_mask);
  onClose.sa_flags = restart_I ? SA_RESTART : 0;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], nullptr, &mPrevious[i]);
    // A signal the caller ignores (nohup, a background job) stays ignored.
    const bool ignored = !(mPrevious[i].sa_flags & SA_SIGINFO) && mPrevious[i].sa_handler == SIG_IGN;
    if (ignored) continue;
    sigaction(kSignals[i], kSignals[i] == SIGPIPE ? &ignore : &onClose, nullptr);
  }
}

CLinuxInterruptGuard::~CLinuxInterruptGuard()
{
  HoldStops(false);
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], &mPrevious[i], nullptr);
  }
}

bool CLinuxInterruptGuard::TakeRequest() { return sCloseRequested.exchange(false); }

void CLinuxInterruptGuard::HoldStops(bool hold_I)
{
  if (hold_I == mStopsHeld) return;
  mStopsHeld = hold_I;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (size_t i = 0; i < std::size(kStopSignals); ++i) {
    if (hold_I) {
      sigaction(kStopSignals[i], &ignore, &mPreviousStops[i]);
    } else {
      sigaction(kStopSignals[i], &mPreviousStops[i], nullptr);
    }
  }
}

CLinuxTerminalView::CLinuxTerminalView(FILE* out_I, FILE* err_I, bool introduced_I, uint16_t langId_I)
    : mOut(out_I),
      mErr(err_I),
      mTerminal(isatty(fileno(out_I)) == 1 && !DumbTerminal()),
      mIntroduced(introduced_I),
      mLangId(langId_I)
{
}

std::string CLinuxTerminalView::ProgressDetails(const SBoardProgress& progress_I, uint16_t langId_I)
{
  const auto text = [langId_I](uint16_t id_I, std::initializer_list<std::u16string> values_I) {
    return WideToUtf8(FormatUiString(LoadResString(id_I, langId_I), values_I));
  };
  const auto number = [](uint64_t value_I) { return Utf8ToWide(std::to_string(value_I)); };
  const auto duration = [](uint64_t milliseconds_I) { return Utf8ToWide(DurationText(milliseconds_I)); };
  std::string line = text(EUISTRING_BOARD_OF, {progress_I.board, number(progress_I.index), number(progress_I.count)});
  line += ": ";
  if (progress_I.bytesTotal > 0) {
    line += text(EUISTRING_BYTES_OF, {number(progress_I.bytesDone), number(progress_I.bytesTotal)}) + ", ";
  }
  line += text(EUISTRING_ELAPSED, {duration(progress_I.elapsedMs)});
  if (progress_I.leftMs >= 0) {
    line += ", " + text(EUISTRING_TIME_LEFT, {duration(static_cast<uint64_t>(progress_I.leftMs))});
  }
  return line;
}

// UI messages carry a label of their own ("Error: ...", "Fehler: ..."): a short first word before a colon.
std::string CLinuxTerminalView::ErrorLine(const std::string& message_I)
{
  constexpr size_t kMaxLabel = 16;
  const size_t colon = message_I.find(':');
  if (colon != std::string::npos && colon <= kMaxLabel) {
    const std::string label = message_I.substr(0, colon);
    const size_t last = label.find_last_not_of(' ');
    if (last != std::string::npos && label.substr(0, last + 1).find(' ') == std::string::npos) {
      const size_t text = message_I.find_first_not_of(' ', colon + 1);
      if (text != std::string::npos) return "error: " + message_I.substr(text);
    }
  }
  return "error: " + message_I;
}

std::string CLinuxTerminalView::ProgressBar(int32_t percent_I)
{
  const int32_t percent = std::clamp(percent_I, 0, 100);
  const int filled = percent * kBarWidth / 100;
  std::string bar = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] ";
  const std::string number = std::to_string(percent);
  return bar + std::string(3 - number.size(), ' ') + number + "%";
}

void CLinuxTerminalView::SetTitle(const std::u16string& title_I)
{
  const std::string title = WideToUtf8(title_I);
  if (title == mTitle) return;
  mTitle = title;
  if (mTerminal) {
    Redraw();
    return;
  }
  if (!mIntroduced) Print(mOut, mTitle);
}

void CLinuxTerminalView::ShowProgressLayout(const std::array<std::u16string, 3>& warnings_I)
{
  std::array<std::string, 3> warnings;
  std::transform(warnings_I.begin(), warnings_I.end(), warnings.begin(), WideToUtf8);
  if (mLayoutShown && warnings == mWarnings) return;
  mLayoutShown = true;
  mWarnings = warnings;
  if (mTerminal) {
    Redraw();
    return;
  }
  if (mIntroduced) return;
  for (const std::string& warning : mWarnings) {
    Print(mOut, kWarningMark + warning);
  }
}

void CLinuxTerminalView::SetStatus(const std::u16string& status_I)
{
  const std::string status = WideToUtf8(status_I);
  if (status == mStatus) return;
  mStatus = status;
  if (mTerminal) {
    Redraw();
    return;
  }
  // The dots only animate a terminal; a log would get one line per tick.
  const std::string plain = WithoutTrailingDots(status);
  if (plain == mPlainStatus) return;
  mPlainStatus = plain;
  Print(mOut, plain);
}

void CLinuxTerminalView::SetProgress(int32_t percent_I)
{
  const int32_t percent = std::clamp(percent_I, 0, 100);
  if (percent == mProgress) return;
  mProgress = percent;
  if (mTerminal) {
    Redraw();
    return;
  }
  PrintStatusLine();
}

// One plain line per change, for a log or a script to read.
void CLinuxTerminalView::PrintStatusLine()
{
  Print(mOut, Text(EUISTRING_STATUS) + ": " + std::to_string(mProgress) + "%" + (mBoard.empty() ? "" : " " + mBoard));
}

void CLinuxTerminalView::SetBoardProgress(const SBoardProgress& progress_I)
{
  const std::string board = WideToUtf8(progress_I.board);
  const bool started = board != mBoard;
  mBoard = board;
  if (mTerminal) {
    mDetails = ProgressDetails(progress_I, mLangId);
    Redraw();
    return;
  }
  // A board that starts is named at once, not when the bar next moves.
  if (started && mProgress >= 0) PrintStatusLine();
}

void CLinuxTerminalView::EnableClose(bool enable_I)
{
  mCloseEnabled = enable_I;
  mInterrupts.HoldStops(!enable_I);
  if (!enable_I || mNotice.empty()) return;
  mNotice.clear();
  if (mTerminal) Redraw();
}

void CLinuxTerminalView::ShowMessage(const std::u16string& text_I, const std::u16string& caption_I,
                                     EMessageIcon icon_I)
{
  // The message starts a line of its own, not after a ^C the terminal echoed under the block.
  if (mTerminal) {
    std::fputs("\r\x1b[K", mOut);
    std::fflush(mOut);
  }
  if (icon_I == EMESSAGEICON_ERROR) {
    Print(mErr, ErrorLine(WideToUtf8(text_I)));
  } else {
    Print(mOut, WideToUtf8(caption_I) + ": " + WideToUtf8(text_I));
  }
  LeaveBlock();
}

void CLinuxTerminalView::ShowWarning(const std::string& text_I)
{
  Print(mErr, "warning: " + text_I);
  LeaveBlock();
}

void CLinuxTerminalView::LeaveBlock()
{
  mDrawnLines.clear();
  mDrawnRows = 0;
}

bool CLinuxTerminalView::TakeCancelRequest()
{
  if (!CLinuxInterruptGuard::TakeRequest()) return false;
  if (mCloseEnabled) return true;
  ShowNotice(LoadResString(EUISTRING_CANCEL_REFUSED, mLangId));
  return false;
}

// On a terminal the notice stays under the block until closing is allowed again. The block is drawn anew even
// when it shows the notice already: that wipes the ^C the terminal echoed under it.
void CLinuxTerminalView::ShowNotice(const std::u16string& text_I)
{
  if (!mTerminal) {
    Print(mOut, WideToUtf8(text_I));
    return;
  }
  mNotice = WideToUtf8(text_I);
  mDrawnLines.clear();
  Redraw();
}

void CLinuxTerminalView::Print(FILE* stream_I, const std::string& line_I)
{
  std::fputs((line_I + "\n").c_str(), stream_I);
  std::fflush(stream_I);
}

std::string CLinuxTerminalView::Text(uint16_t id_I) const { return WideToUtf8(LoadResString(id_I, mLangId)); }

std::vector<std::string> CLinuxTerminalView::BlockLines() const
{
  std::vector<std::string> lines;
  if (!mTitle.empty()) lines.push_back(mTitle);
  if (mLayoutShown || !mStatus.empty()) lines.push_back(mStatus);
  if (mLayoutShown || mProgress >= 0) lines.push_back(ProgressBar(mProgress));
  if (!mDetails.empty()) lines.push_back(mDetails);
  if (mLayoutShown) {
    lines.emplace_back();
    for (const std::string& warning : mWarnings) {
      lines.push_back(kWarningMark + warning);
    }
  }
  if (!mNotice.empty()) lines.push_back(mNotice);
  return lines;
}

// Moves back to the first row of the block drawn last, erases down to the end of the screen and draws
// the block anew. The row count follows the terminal's width, as long lines wrap.
void CLinuxTerminalView::Redraw()
{
  std::vector<std::string> lines = BlockLines();
  if (lines == mDrawnLines) return;
  std::string text;
  if (mDrawnRows > 0) text += "\r\x1b[" + std::to_string(mDrawnRows) + "A";
  text += "\x1b[J";
  const int columns = TerminalColumns();
  int rows = 0;
  for (const std::string& line : lines) {
    text += line + "\n";
    rows += ScreenRows(line, columns);
  }
  std::fputs(text.c_str(), mOut);
  std::fflush(mOut);
  mDrawnLines = std::move(lines);
  mDrawnRows = rows;
}

int CLinuxTerminalView::TerminalColumns() const
{
  winsize size {};
  if (ioctl(fileno(mOut), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return kDefaultColumns;
  return size.ws_col;
}

}  // namespace orv

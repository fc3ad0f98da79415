// What the automatic update run needs from its window or terminal, and from the process it runs in.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orv {

enum EMessageIcon : int32_t {
  EMESSAGEICON_ERROR = 0,
  EMESSAGEICON_INFORMATION = 1,
};

// Where the run stands while a board is being programmed.
struct SBoardProgress {
  std::u16string board;
  // The board's place in the list (from 1) and the list's length: "k of n".
  size_t index = 0;
  size_t count = 0;
  // The board's own progress and the whole run's, in percent.
  int32_t percent = 0;
  int32_t overall = 0;
  uint64_t bytesDone = 0;
  uint64_t bytesTotal = 0;
  uint64_t elapsedMs = 0;
  // The time the whole run still needs, estimated from its progress so far; negative while unknown.
  int64_t leftMs = -1;
};

class CUpdateView {
 public:
  virtual ~CUpdateView() = default;
  virtual void SetTitle(const std::u16string& title_I) = 0;
  // The compact progress layout: status line, progress bar and the three warning lines.
  virtual void ShowProgressLayout(const std::array<std::u16string, 3>& warnings_I) = 0;
  virtual void SetStatus(const std::u16string& status_I) = 0;
  virtual void SetProgress(int32_t percent_I) = 0;
  // The details behind the progress bar, for a view that has room for them.
  virtual void SetBoardProgress(const SBoardProgress& /*progress_I*/) {}
  // Whether the user may close or cancel now (not while a board is in or near loader mode).
  virtual void EnableClose(bool enable_I) = 0;
  virtual void ShowMessage(const std::u16string& text_I, const std::u16string& caption_I, EMessageIcon icon_I) = 0;
  // A word for the user that does not end the run (a cancel it refuses), for a view that has room for it.
  virtual void ShowNotice(const std::u16string& /*text_I*/) {}
  // Whether the user asked to cancel or close since the last call.
  virtual bool TakeCancelRequest() = 0;
};

// Keeps the machine from sleeping or shutting down while a board is in or near loader mode.
class CKeepAwake {
 public:
  virtual ~CKeepAwake() = default;
  virtual void SetKeepAwake(bool busy_I) = 0;
};

}  // namespace orv

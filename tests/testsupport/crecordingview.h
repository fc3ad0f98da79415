// A view that keeps what the run shows, for tests.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/cupdateview.h"
#include "common/cclock.h"

namespace orv::test {

class CRecordingView : public CUpdateView {
 public:
  void SetTitle(const std::u16string& /*title_I*/) override {}
  void ShowProgressLayout(const std::array<std::u16string, 3>& /*warnings_I*/) override
  {
    if (mOnLayout) mOnLayout();
  }
  void SetStatus(const std::u16string& status_I) override
  {
    if (mOnStatus) mOnStatus(status_I);
    if (!mCancelOnStatus.empty() && status_I.rfind(mCancelOnStatus, 0) == 0) {
      mCancel = true;
      mCancelOnStatus.clear();
      mCloseEnabledAtCancel = mCloseEnabled;
    }
  }
  void SetProgress(int32_t percent_I) override
  {
    std::lock_guard<std::mutex> guard(mLock);
    mProgress.push_back(percent_I);
  }
  void SetBoardProgress(const SBoardProgress& progress_I) override
  {
    std::lock_guard<std::mutex> guard(mLock);
    mBoardProgress.emplace_back(Clock().NowMs(), progress_I);
  }
  void EnableClose(bool enable_I) override { mCloseEnabled = enable_I; }
  void ShowNotice(const std::u16string& text_I) override
  {
    std::lock_guard<std::mutex> guard(mLock);
    mNotices.push_back(text_I);
  }
  void ShowMessage(const std::u16string& text_I, const std::u16string& /*caption_I*/, EMessageIcon icon_I) override
  {
    std::lock_guard<std::mutex> guard(mLock);
    mMessage = text_I;
    mIcon = icon_I;
  }
  bool TakeCancelRequest() override
  {
    if (mCancelWhen && mCancelWhen()) {
      mCancelWhen = nullptr;
      return true;
    }
    return mCancel.exchange(false);
  }

  std::mutex mLock;
  std::vector<int32_t> mProgress;
  // Each board progress shown, with the time it was shown at.
  std::vector<std::pair<uint64_t, SBoardProgress>> mBoardProgress;
  std::vector<std::u16string> mNotices;
  std::u16string mMessage;
  EMessageIcon mIcon = EMESSAGEICON_ERROR;
  std::atomic<bool> mCancel{false};
  // Runs when the run has selected its device and shows its progress layout.
  std::function<void()> mOnLayout;
  // A status that, when shown, makes the user ask to cancel; whether closing was allowed at that moment.
  std::u16string mCancelOnStatus;
  bool mCloseEnabled = true;
  bool mCloseEnabledAtCancel = true;
  // Runs on every status the run shows.
  std::function<void(const std::u16string&)> mOnStatus;
  // Asked on every tick of the run: true makes the user ask to cancel (once).
  std::function<bool()> mCancelWhen;
};

}  // namespace orv::test

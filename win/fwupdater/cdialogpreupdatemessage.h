// The warning before an automatic update that includes the display scaler: how long it may take and what
// must not be done meanwhile; "Update" goes on, "Cancel" (the default button, also Enter, Esc and closing
// the window) stops.
#pragma once

#include <functional>
#include <string>

#include "app/cautoupdaterun.h"
#include "app/languageprovider.h"
#include "win/common/dialogbase.h"

namespace orv {

class CDialogPreUpdateMessage : public CDialogBase<CDialogPreUpdateMessage> {
 public:
  static constexpr int kUpdate = 0;
  static constexpr int kCancel = 1;

  // endSession_I: as for CDialogFirmwareUpdater; the warning then counts as declined.
  CDialogPreUpdateMessage(const CLanguageProvider& language_I, UiStringLoader loadString_I,
                          const std::function<bool()>* endSession_I = nullptr);

  // kUpdate, kCancel, or -1 when the window cannot be made.
  int Run() { return static_cast<int>(DoModal(102)); }

  INT_PTR OnMessage(UINT message_I, WPARAM wParam_I, LPARAM lParam_I);

 private:
  void OnInitDialog();
  std::u16string Text(uint16_t id_I) const { return mLoadString(id_I, mLanguage.GetLangId()); }

  CLanguageProvider mLanguage;
  UiStringLoader mLoadString;
  const std::function<bool()>* mEndSession;
};

}  // namespace orv

#include "win/fwupdater/cdialogpreupdatemessage.h"

#include "app/uistrings.h"
#include "win/fwupdater/resource.h"

namespace orv {
namespace {

void SetText(HWND window_I, const std::u16string& text_I) { SetWindowTextW(window_I, reinterpret_cast<LPCWSTR>(text_I.c_str())); }

}  // namespace

CDialogPreUpdateMessage::CDialogPreUpdateMessage(const CLanguageProvider& language_I, UiStringLoader loadString_I,
                                                 const std::function<bool()>* endSession_I)
    : mLanguage(language_I), mLoadString(std::move(loadString_I)), mEndSession(endSession_I)
{
}

void CDialogPreUpdateMessage::OnInitDialog()
{
  SetText(mWindow, Text(EUISTRING_TITLE) + u" " + CAutoUpdateRun::VersionText());
  SetText(GetDlgItem(mWindow, IDC_PRE_UPDATE), Text(EUISTRING_UPDATE));
  SetText(GetDlgItem(mWindow, IDC_PRE_CANCEL), Text(EUISTRING_CANCEL));
  SetText(GetDlgItem(mWindow, IDC_UNNAMED), Text(EUISTRING_WARNING_INTRO));
  SetText(GetDlgItem(mWindow, IDC_PRE_WARNING_POWER), Text(EUISTRING_WARNING_POWER_STATE));
  SetText(GetDlgItem(mWindow, IDC_PRE_WARNING_CABLES), Text(EUISTRING_WARNING_CABLES));
  SetText(GetDlgItem(mWindow, IDC_PRE_WARNING_BUTTONS), Text(EUISTRING_WARNING_BUTTONS));
  const HWND cancel = GetDlgItem(mWindow, IDC_PRE_CANCEL);
  SendMessageW(mWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(cancel), TRUE);
  SetFocus(cancel);
}

INT_PTR CDialogPreUpdateMessage::OnMessage(UINT message_I, WPARAM wParam_I, LPARAM /*lParam_I*/)
{
  switch (message_I) {
    case WM_INITDIALOG:
      OnInitDialog();
      // The focus stays where it was put: Enter then means Cancel. (Handing the choice back to the dialog
      // manager would move it to the first button, "Update".)
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam_I) == IDC_PRE_UPDATE) {
        EndDialog(mWindow, kUpdate);
        return TRUE;
      }
      // Cancel, Esc and the close box all decline: a quit message here would end the next modal loop, the
      // main dialog's, before it started.
      if (LOWORD(wParam_I) == IDC_PRE_CANCEL || LOWORD(wParam_I) == IDCANCEL) {
        EndDialog(mWindow, kCancel);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(mWindow, kCancel);
      return TRUE;
    case WM_ENDSESSION:
      if (wParam_I && mEndSession != nullptr && *mEndSession && (*mEndSession)()) EndDialog(mWindow, kCancel);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace orv

// The base of every dialog of the program, instantiated for each dialog class: the window handle, the
// white background, and the dialog procedure that hands each message to the dialog object.
#pragma once

#include <windows.h>

namespace orv {

template <class TDialog>
class CDialogBase {
 public:
  CDialogBase() : mBrush(CreateSolidBrush(kWhite)) {}
  ~CDialogBase()
  {
    if (mBrush != nullptr) DeleteObject(mBrush);
  }
  CDialogBase(const CDialogBase&) = delete;
  CDialogBase& operator=(const CDialogBase&) = delete;

  // Runs the dialog modally from its template, with no owner; its end code, or -1 when the window cannot
  // be made.
  INT_PTR DoModal(int templateId_I)
  {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_I), nullptr, &DialogProc,
                           reinterpret_cast<LPARAM>(this));
  }

  HWND Window() const { return mWindow; }

 protected:
  static constexpr COLORREF kWhite = RGB(255, 255, 255);

  // Sets a message's result where the dialog manager expects it (answers to queries).
  INT_PTR Answer(LONG_PTR result_I)
  {
    SetWindowLongPtrW(mWindow, DWLP_MSGRESULT, result_I);
    return TRUE;
  }

  HWND mWindow = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window_I, UINT message_I, WPARAM wParam_I, LPARAM lParam_I)
  {
    if (message_I == WM_INITDIALOG) {
      SetWindowLongPtrW(window_I, DWLP_USER, lParam_I);
      reinterpret_cast<CDialogBase*>(lParam_I)->mWindow = window_I;
    }
    auto* self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(window_I, DWLP_USER));
    if (self == nullptr) return FALSE;
    if (message_I == WM_CTLCOLORSTATIC || message_I == WM_CTLCOLORDLG) {
      SetBkColor(reinterpret_cast<HDC>(wParam_I), kWhite);
      return reinterpret_cast<INT_PTR>(self->mBrush);
    }
    const INT_PTR result = static_cast<TDialog*>(self)->OnMessage(message_I, wParam_I, lParam_I);
    if (message_I == WM_NCDESTROY) self->mWindow = nullptr;
    return result;
  }

  HBRUSH mBrush;
};

}  // namespace orv

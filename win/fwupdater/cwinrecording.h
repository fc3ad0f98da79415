// The recording of a run on this machine's devices ("-record FILE"): the recorder that the device layer's
// calls and the D2XX calls go through, and a message-only window of its own that hears the arrivals and
// removals the system reports, so the recording holds them as a Linux recording does.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/fwupdater/ctransferrecorder.h"
#include "common/osd/cd2xx.h"

namespace orv {

class CWinRecording {
 public:
  CWinRecording() = default;
  ~CWinRecording();
  CWinRecording(const CWinRecording&) = delete;
  CWinRecording& operator=(const CWinRecording&) = delete;

  // Starts the file and listens for arrivals and removals on the calling thread (the one whose message loop
  // runs the dialog); false, with the reason, when the file cannot be written. d2xx_I must outlive this.
  bool Open(const std::string& file_I, CD2XX& d2xx_I, std::string& error_O);
  const std::shared_ptr<CTransferRecorder>& Recorder() const { return mRecorder; }
  // The D2XX calls, recorded.
  CD2XX& D2XX() const { return *mD2XX; }
  // Whether every line reached the file.
  bool Good() const { return mRecorder && mRecorder->Good(); }
  // The window the system's device-change messages come to.
  HWND Window() const { return mWindow; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window_I, UINT message_I, WPARAM wParam_I, LPARAM lParam_I);
  void Listen();
  void OnDeviceChange(WPARAM event_I, LPARAM data_I);

  std::shared_ptr<CTransferRecorder> mRecorder;
  std::unique_ptr<CD2XX> mD2XX;
  HWND mWindow = nullptr;
  HDEVNOTIFY mHidNotification = nullptr;
  HDEVNOTIFY mBulkNotification = nullptr;
};

}  // namespace orv

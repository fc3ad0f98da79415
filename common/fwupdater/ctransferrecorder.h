// A recording of a run with real devices: every transfer, every enumeration, every answer of the device
// tree and every arrival and removal, one line each as it happens, so that a user can send in the run of a
// failing board and the run can be replayed against the recording.
//
// Each line is "<ms> <kind> <fields>": milliseconds since the recording started on the installed clock,
// then, for a transfer, the simulation's trace fields with the device they concern:
//   hid <path> set|get ok|failed <bytes>      a feature report (a get's answer, or its request when it failed)
//   hid <path> open|attributes|caps ok|failed [<vendor> <product> <version> | <usage> <page>]
//   usb <path> open ok|failed, usb <path> descriptor ok|failed [<bytes>]
//   usb <path> control ok|failed <type><request><value><index><length> <bytes>   the bytes sent, or those
//                                             the device answered (fewer than asked for when it answered short)
//   ftdi <call> <status> <values> [<bytes>]   one D2XX call
//   enumerate hid|bulk <path>...; arrival|removal hid|bulk <path>
//   node <path> <instance id>; tree <instance id> <levels> <ancestor id>
// Bytes and ids are hexadecimal without spaces, read in either case. Text is "-" when empty; otherwise '%',
// NUL and every white space byte are written as '%' and two hexadecimal digits (%25, %00, %20, %09, %0A...),
// and a text that is a lone dash as %2D.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/fwupdater/cdeviceevents.h"
#include "common/fwupdater/chidsystem.h"
#include "common/fwupdater/cusbsystem.h"
#include "common/osd/cd2xx.h"

namespace orv {

constexpr const char* kRecordingHeader = "# orvel-fwupdater recording 1";

class CTransferRecorder {
 public:
  CTransferRecorder() = default;
  ~CTransferRecorder();
  CTransferRecorder(const CTransferRecorder&) = delete;
  CTransferRecorder& operator=(const CTransferRecorder&) = delete;

  // Starts the file afresh with its header line; false when it cannot be written.
  bool Open(const std::string& file_I);
  // One line, written through at once so that a run that ends abruptly keeps what it did.
  void Write(const std::string& kind_I, const std::vector<std::string>& fields_I);
  // An arrival or removal of a device interface, as the system reported it.
  void WriteEvent(bool arrival_I, EDeviceClass class_I, const std::string& path_I);
  // Whether every line reached the file.
  bool Good();

  static std::string Hex(const uint8_t* bytes_I, size_t count_I);
  static std::string Hex(const std::vector<uint8_t>& bytes_I) { return Hex(bytes_I.data(), bytes_I.size()); }
  static std::string Number(uint32_t value_I, int digits_I = 4);
  // A text as one field of a line, and back.
  static std::string Escape(const std::string& text_I);
  static std::string Unescape(const std::string& text_I);

 private:
  std::mutex mLock;
  FILE* mFile = nullptr;
  uint64_t mStartMs = 0;
  bool mGood = true;
};

// A recorder writing to the file; null, with the reason the user is shown, when the file cannot be written.
std::shared_ptr<CTransferRecorder> OpenRecording(const std::string& file_I, std::string& error_O);

// The seams of a platform with every call going through the recorder as well.
std::shared_ptr<CHidSystem> RecordingHidSystem(std::shared_ptr<CHidSystem> inner_I, std::shared_ptr<CTransferRecorder> recorder_I);
std::shared_ptr<CUsbSystem> RecordingUsbSystem(std::shared_ptr<CUsbSystem> inner_I, std::shared_ptr<CTransferRecorder> recorder_I);
std::shared_ptr<CDeviceEnumerator> RecordingEnumerator(std::shared_ptr<CDeviceEnumerator> inner_I,
                                                       std::shared_ptr<CTransferRecorder> recorder_I);
std::shared_ptr<CDeviceEventSource> RecordingEvents(std::shared_ptr<CDeviceEventSource> inner_I,
                                                    std::shared_ptr<CTransferRecorder> recorder_I);
// Records the calls made through it; inner_I must outlive it.
std::unique_ptr<CD2XX> RecordingD2XX(CD2XX& inner_I, std::shared_ptr<CTransferRecorder> recorder_I);

}  // namespace orv

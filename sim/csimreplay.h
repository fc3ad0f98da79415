// A recording of a run with real devices, replayed as a simulated platform: the same enumerations, device
// tree answers and identities, each as it was at that point of the run, each transfer answered as the device
// answered it, and each arrival and removal as long after the transfer before it as it was then. A field
// report thereby becomes a scenario.
//
// The run must ask what the recorded run asked: each device's transfers, opens and the D2XX calls in their
// recorded order, a set or a control transfer to the device with the recorded bytes, a get for the recorded
// report and length. A request the recording does not hold fails, and is kept as a divergence.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/fwupdater/cdeviceevents.h"
#include "common/fwupdater/chidsystem.h"
#include "common/fwupdater/cusbsystem.h"
#include "common/osd/cd2xx.h"

namespace orv::sim {

class CSimReplay {
 public:
  // Whether the text is a recording.
  static bool IsRecording(const std::string& text_I);
  // Empty, with the line and reason, when the text is not a recording that can be replayed.
  static std::shared_ptr<CSimReplay> Parse(const std::string& text_I, std::string& error_O);

  std::shared_ptr<CHidSystem> Hid() const { return mHid; }
  std::shared_ptr<CUsbSystem> Usb() const { return mUsb; }
  std::shared_ptr<CDeviceEnumerator> Enumerator() const { return mEnumerator; }
  std::shared_ptr<CDeviceEventSource> Events() const { return mEvents; }
  CD2XX& D2XX() const { return *mD2XX; }
  // Each request the recording did not hold, in order.
  std::vector<std::string> Divergences();

  struct SState;

 private:
  CSimReplay();

  std::shared_ptr<SState> mState;
  std::shared_ptr<CHidSystem> mHid;
  std::shared_ptr<CUsbSystem> mUsb;
  std::shared_ptr<CDeviceEnumerator> mEnumerator;
  std::shared_ptr<CDeviceEventSource> mEvents;
  std::shared_ptr<CD2XX> mD2XX;
};

}  // namespace orv::sim

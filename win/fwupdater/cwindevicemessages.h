// Device-change messages: asking for them, reading one, and simulated arrivals and removals delivered the way
// Windows delivers real ones: as a device-change message to the window, which hands them to the run.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <windows.h>

#include "common/fwupdater/cdeviceevents.h"

namespace orv {

// Asks for device-change messages to the window about the interfaces of one class; null when refused.
HDEVNOTIFY RegisterDeviceChanges(HWND window_I, const GUID& class_I);
// The interface of a device-change message (DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE): its name in
// UTF-8 and its class, read no further than the message's own size; false for any other kind of message.
bool ReadDeviceChange(LPARAM data_I, std::string& path_O, EDeviceClass& class_O);
// Hands an arrival or a removal of a device-change message to the sink; other messages are ignored.
void DeliverDeviceChange(WPARAM event_I, LPARAM data_I, CDeviceEventSink& sink_I);

// A window's device-change messages about the HID class and the bulk boards' class, from Register to
// Unregister (or the object's end). A refused registration is reported as an assertion and the run goes on:
// the waits for a board list the devices themselves.
class CWinDeviceNotifications {
 public:
  CWinDeviceNotifications() = default;
  ~CWinDeviceNotifications() { Unregister(); }
  CWinDeviceNotifications(const CWinDeviceNotifications&) = delete;
  CWinDeviceNotifications& operator=(const CWinDeviceNotifications&) = delete;

  void Register(HWND window_I);
  void Unregister();

 private:
  HDEVNOTIFY mHid = nullptr;
  HDEVNOTIFY mBulk = nullptr;
};

class CWinDeviceMessages : public CDeviceEventSource, private CDeviceEventSink {
 public:
  // window_I: the window that receives the messages, asked at delivery time (it exists only while the
  // dialog runs).
  CWinDeviceMessages(std::shared_ptr<CDeviceEventSource> simulated_I, std::function<HWND()> window_I);

  // The run's own subscription is not used: its events reach it through the window.
  void Subscribe(CDeviceEventSink* sink_I) override;
  void Unsubscribe(CDeviceEventSink* sink_I) override;
  void DeliverDueEvents() override { mSimulated->DeliverDueEvents(); }

 private:
  void OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I) override;
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I) override;
  void Send(WPARAM event_I, const std::string& path_I, EDeviceClass class_I);

  std::shared_ptr<CDeviceEventSource> mSimulated;
  std::function<HWND()> mWindow;
};

}  // namespace orv

// Enumeration and hot-plug through udev: the HID collections of every hidraw node, the bulk boards (USB
// devices of our vendor with a vendor-class interface), and a udev monitor whose arrivals and removals the
// application's event loop collects without waiting.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/fwupdater/cdeviceevents.h"
#include "linux/common/clinuxudev.h"

namespace orv {

class CLinuxDeviceEnumerator : public CDeviceEnumerator {
 public:
  std::vector<std::string> EnumerateInterfacePaths(EDeviceClass class_I) override;
};

class CLinuxDeviceEvents : public CDeviceEventSource {
 public:
  // Starts listening at once, so that nothing between construction and the first delivery is lost.
  CLinuxDeviceEvents();
  // Whether the monitor could be set up; without it no arrival or removal is ever reported.
  bool IsListening() const { return mMonitor != nullptr; }

  void Subscribe(CDeviceEventSink* sink_I) override;
  void Unsubscribe(CDeviceEventSink* sink_I) override;
  void DeliverDueEvents() override;

 private:
  struct SEvent {
    std::string path;
    EDeviceClass deviceClass;
    bool arrival;
  };

  // A hidraw node as last seen: its device's syspath (which names the HID device, numbered anew by the kernel
  // for each device, so a node name given to another device has another) and its collection paths.
  struct SHidNode {
    std::string syspath;
    std::vector<std::string> paths;
  };

  void Deliver(const std::vector<SEvent>& events_I);
  std::vector<SEvent> Translate(udev_device* device_I);
  std::vector<SEvent> TranslateHid(udev_device* hidraw_I, bool added_I);
  std::vector<SEvent> Resynchronise();
  std::map<std::string, SHidNode> PresentHidNodes();
  static SHidNode HidNodeOf(udev_device* hidraw_I);

  UdevPtr mUdev;
  UdevMonitorPtr mMonitor;
  std::vector<CDeviceEventSink*> mSinks;
  // Each hidraw node known, for its removal when it is gone.
  std::map<std::string, SHidNode> mHidNodes;
  std::set<std::string> mBulkNodes;
};

}  // namespace orv

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

  void Remember(udev_device* hidraw_I);
  std::vector<SEvent> Translate(udev_device* device_I);

  UdevPtr mUdev;
  UdevMonitorPtr mMonitor;
  std::vector<CDeviceEventSink*> mSinks;
  // The collection paths each hidraw node showed, for its removal, when the node is gone.
  std::map<std::string, std::vector<std::string>> mHidPaths;
  std::set<std::string> mBulkNodes;
};

}  // namespace orv

// The simulated bus: the devices attached to it, their HID collections and bulk interfaces as the system
// enumerates and opens them, the device tree, and the arrivals and removals the system reports to the
// application, each a little after the change on the installed clock.
#pragma once

#include <atomic>
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
#include "sim/csimbusdevice.h"
#include "sim/csimhidboard.h"

namespace orv::sim {

// The HID and the USB side of the bus both open by path; these give the two opens their own names.
class CSimHidSide : public CHidSystem {
 public:
  std::unique_ptr<CHidDevice> Open(const std::string& path_I) final { return OpenHid(path_I); }
  virtual std::unique_ptr<CHidDevice> OpenHid(const std::string& path_I) = 0;
};

class CSimUsbSide : public CUsbSystem {
 public:
  std::unique_ptr<CUsbDevice> Open(const std::string& path_I) final { return OpenUsb(path_I); }
  virtual std::unique_ptr<CUsbDevice> OpenUsb(const std::string& path_I) = 0;
};

// A HID collection of an unrelated device (a mouse, a keyboard): it has an identity and answers no report.
class CSimHidCollection : public CSimBusDevice {
 public:
  explicit CSimHidCollection(const SSimHidIdentity& identity_I) : mIdentity(identity_I) {}

  std::vector<SSimInterface> PresentInterfaces() override { return {{mIdentity.path, EDEVICECLASS_HID}}; }
  std::vector<SSimInterfaceChange> TakeInterfaceChanges() override { return {}; }
  std::optional<uint64_t> NextInterfaceChangeMs() override { return std::nullopt; }
  std::vector<SSimNode> Nodes() override { return {{SimInstanceIdOfPath(mIdentity.path), mIdentity.parentId}}; }
  std::unique_ptr<CHidDevice> OpenHid(const std::string& path_I) override;

 private:
  const SSimHidIdentity mIdentity;
};

class CSimBus : public CSimHidSide, public CSimUsbSide, public CDeviceEnumerator {
 public:
  static constexpr uint32_t kDefaultEventDelayMs = 50;

  // Puts a device on the bus: its present interfaces arrive now, its nodes join the device tree. False when
  // it is already attached.
  bool Attach(const std::shared_ptr<CSimBusDevice>& device_I);
  // Unplugs a device: its present interfaces are removed now and every handle opened through the bus dies.
  // Its nodes stay in the tree. False when it is not attached.
  bool Detach(const std::shared_ptr<CSimBusDevice>& device_I);
  // Adds a node, or moves it under another parent; an empty parent makes it a root. A parent not yet known
  // becomes a root node.
  void AddNode(const std::string& instanceId_I, const std::string& parentId_I);

  // How long after a change its event is due; applies to changes seen from now on.
  void SetEventDelayMs(uint32_t delay_I);
  uint32_t EventDelayMs();
  void Subscribe(CDeviceEventSink* sink_I);
  void Unsubscribe(CDeviceEventSink* sink_I);
  // Delivers, in order and on the caller's thread, every event due by now; returns how many were due.
  size_t DeliverDueEvents();
  // When the next event is due, including arrivals still to happen; none when nothing is pending.
  std::optional<uint64_t> NextEventDueMs();

  std::vector<std::string> EnumerateInterfacePaths(EDeviceClass class_I) override;
  std::unique_ptr<CHidDevice> OpenHid(const std::string& path_I) override;
  std::unique_ptr<CUsbDevice> OpenUsb(const std::string& path_I) override;
  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override;

 private:
  struct SAttached {
    std::shared_ptr<CSimBusDevice> device;
    // Cleared when the device is unplugged; every handle opened through the bus watches it.
    std::shared_ptr<std::atomic<bool>> plugged;
  };

  struct SEvent {
    uint64_t dueMs = 0;
    SSimInterface iface;
    bool arrival = false;
  };

  struct SNode {
    // As first given; ids are matched without regard to letter case.
    std::string id;
    // Key of the parent node; empty for a root.
    std::string parentKey;
  };

  std::vector<SAttached>::iterator FindLocked(const CSimBusDevice* device_I);
  void AddNodeLocked(const std::string& instanceId_I, const std::string& parentId_I);
  // Moves the changes the devices went through into the event queue.
  void CollectLocked();
  void CollectLocked(CSimBusDevice& device_I);
  void QueueLocked(uint64_t timeMs_I, const SSimInterface& interface_I, bool arrival_I);
  bool SubscribedLocked(CDeviceEventSink* sink_I) const;

  std::mutex mLock;
  std::vector<SAttached> mDevices;
  std::map<std::string, SNode> mNodes;
  uint32_t mEventDelayMs = kDefaultEventDelayMs;
  // Ordered by due time; equal times keep the order of the changes.
  std::deque<SEvent> mEvents;
  std::vector<CDeviceEventSink*> mSinks;
};

}  // namespace orv::sim

// What the simulated bus needs of a device on it: the interfaces it shows, their arrivals and removals over
// time, its device nodes, and handles on its interfaces. Also the path helpers every simulated device uses.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/fwupdater/cdeviceevents.h"
#include "common/fwupdater/chidsystem.h"
#include "common/fwupdater/cusbsystem.h"

namespace orv::sim {

// A HID device interface path in Windows form, e.g. for (0x4F52, 0x0101, 0, 0x2a1b3c4d):
// \\?\HID#VID_4F52&PID_0101&MI_00#7&2a1b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}
std::string MakeSimHidPath(uint16_t vendorId_I, uint16_t productId_I, uint8_t interface_I, uint32_t instance_I);

// A bulk board's device interface path in Windows form, e.g. for (0x4F52, 0x0300, "5&1a2b3c&0&2"):
// \\?\USB#VID_4F52&PID_0300#5&1a2b3c&0&2#{103b887c-f5b0-46a6-856a-10cba7460490}
std::string MakeSimBulkPath(uint16_t vendorId_I, uint16_t productId_I, const std::string& instance_I);

// The device instance id of a path: the path up to its last '#' (all of it when it has none), without its
// first four characters, every '#' turned into '\'. Empty for a path shorter than four characters.
std::string SimInstanceIdOfPath(const std::string& path_I);

// A full-speed device answers one control transfer (a HID feature report, a vendor request) per frame.
constexpr uint32_t kSimTransferMs = 1;

// Spends the time of one control transfer on the caller's clock; called outside every device lock, so that
// nobody waits for virtual time under one.
void SpendTransferTime(uint32_t milliseconds_I);

struct SSimInterface {
  std::string path;
  EDeviceClass deviceClass = EDEVICECLASS_HID;
};

// An interface arrived on the bus or left it at a moment of the installed clock.
struct SSimInterfaceChange {
  uint64_t timeMs = 0;
  SSimInterface iface;
  bool arrived = false;
};

// A device node and its parent (empty: a root).
struct SSimNode {
  std::string instanceId;
  std::string parentId;
};

// The bus calls a device under the bus's lock, so a device never calls back into the bus.
class CSimBusDevice {
 public:
  virtual ~CSimBusDevice() = default;
  virtual std::vector<SSimInterface> PresentInterfaces() = 0;
  // The arrivals and removals that happened up to now and were not taken yet, in time order.
  virtual std::vector<SSimInterfaceChange> TakeInterfaceChanges() = 0;
  // When the next change already scheduled happens (an interface coming back after a delay); none if none is.
  virtual std::optional<uint64_t> NextInterfaceChangeMs() = 0;
  // Every node the device may show, present or not.
  virtual std::vector<SSimNode> Nodes() = 0;
  // Handles on a present interface; empty for a path the device does not show now.
  virtual std::unique_ptr<CHidDevice> OpenHid(const std::string& path_I);
  virtual std::unique_ptr<CUsbDevice> OpenUsb(const std::string& path_I);
  // The USB device whose collection this is left the bus now, because another board of it restarted and the
  // whole device re-enumerated; it comes back at atMs_I. Handles die with the old device. Devices that are not
  // a collection of a shared USB device ignore both.
  virtual void UsbDeviceGone();
  virtual void UsbDeviceBack(uint64_t atMs_I);
};

// One device interface's stays on the bus. Not guarded: its owner's lock guards it.
class CSimPresence {
 public:
  // The interface is on the bus from fromMs_I on (now or later).
  void Appear(const SSimInterface& interface_I, uint64_t fromMs_I);
  // The interface leaves the bus now; an arrival still to come is called off.
  void Leave(uint64_t nowMs_I);
  bool Present(uint64_t nowMs_I) const;
  std::vector<SSimInterfaceChange> Take(uint64_t nowMs_I);
  std::optional<uint64_t> PendingArrivalMs() const;

 private:
  void RecordArrival(uint64_t nowMs_I);

  SSimInterface mInterface;
  bool mOnBus = false;
  uint64_t mFromMs = 0;
  bool mArrivalRecorded = false;
  std::vector<SSimInterfaceChange> mChanges;
};

}  // namespace orv::sim

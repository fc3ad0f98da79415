// The simulated devices behind emulated kernel devices: a simulated bus mirrored into a umockdev testbed as
// USB devices, interfaces, HID devices and hidraw nodes whose ioctls the simulated boards answer, bulk
// boards and the FTDI bridge as usbfs nodes answering URBs, and arrivals and removals as udev events.
// Faults at the kernel interface are injected per node.
#pragma once

#include <atomic>
#include <functional>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/cclock.h"
#include "common/fwupdater/cdeviceevents.h"
#include "common/fwupdater/chidsystem.h"
#include "common/fwupdater/cusbsystem.h"
#include "common/osd/cd2xx.h"
#include "sim/csimbus.h"
#include "sim/csimplatform.h"
#include "tests/linuxdevices/emulatedfirmware.h"
#include "tests/linuxdevices/umockdevbed.h"

namespace orv::test {

enum ENodeFault {
  ENODEFAULT_NONE = 0,
  // The ioctl fails with EIO, or ENODEV (the device went away).
  ENODEFAULT_EIO,
  ENODEFAULT_ENODEV,
  // A feature report comes back one byte short.
  ENODEFAULT_SHORT,
  // A feature get comes back full length but as another report: its first byte differs.
  ENODEFAULT_OTHERID,
};

// A hidraw node whose ioctls a simulated HID handle answers. Its descriptor declares the collections'
// reports; like a device's firmware it stalls (EPIPE) a feature transfer of any report id and length it does
// not declare (a get may ask for more, and is answered short), and hands the handle what the board's handler
// takes of a report: the sender's padding must be zero.
class CEmulatedHidNode {
 public:
  CEmulatedHidNode(std::unique_ptr<CHidDevice> device_I, std::vector<SFirmwareCollection> collections_I);

  void Handle(CIoctlCall& call_IO);
  // Feature transfers are numbered from 1; count_I of them from first_I on meet the fault.
  void InjectFault(uint64_t first_I, uint64_t count_I, ENodeFault fault_I);
  // The device is gone: every ioctl fails with ENODEV.
  void SetGone();
  uint64_t Transfers() const { return mTransfers; }
  const std::vector<uint8_t>& Descriptor() const { return mDescriptor; }
  // Feature transfers stalled for an id or length the descriptor does not declare, or a set whose bytes
  // past what the board takes are not zero.
  uint64_t Stalls() const { return mStalls; }

 private:
  ENodeFault FaultFor(uint64_t transfer_I) const;
  const SFirmwareReport* Declared(bool set_I, uint8_t id_I, size_t length_I) const;
  bool Deliver(bool set_I, const SFirmwareReport& report_I, uint8_t* memory_IO);

  std::mutex mLock;
  std::unique_ptr<CHidDevice> mDevice;
  std::vector<SFirmwareCollection> mCollections;
  std::vector<uint8_t> mDescriptor;
  std::atomic<uint64_t> mTransfers{0};
  std::atomic<uint64_t> mStalls{0};
  uint64_t mFaultFirst = 0;
  uint64_t mFaultCount = 0;
  ENodeFault mFault = ENODEFAULT_NONE;
  bool mGone = false;
};

// A usbfs node: control and bulk URBs, completed at once and handed back on the next reap.
class CEmulatedUsbfsNode {
 public:
  virtual ~CEmulatedUsbfsNode();
  void Handle(CIoctlCall& call_IO);
  void SetGone();

 protected:
  // The data stage follows the setup packet in data_IO; the result is 0 or a negative errno (the URB's
  // status), actual_O the bytes moved.
  virtual int Control(const SUsbSetupPacket& setup_I, uint8_t* data_IO, int& actual_O) = 0;
  virtual int Bulk(uint8_t endpoint_I, uint8_t* data_IO, int length_I, int& actual_O);
  virtual bool Claim() { return true; }
  virtual void Release() {}

 private:
  void Submit(CIoctlCall& call_IO);
  void Reap(CIoctlCall& call_IO);

  std::mutex mLock;
  std::deque<UMockdevIoctlData*> mDone;
  bool mGone = false;
};

// A number as printf's format_I (with one conversion) writes it.
std::string Format(const char* format_I, unsigned value_I);

// Answers the hidraw ioctls that read the report descriptor and its size; false for any other.
bool AnswerDescriptorIoctl(const std::vector<uint8_t>& descriptor_I, CIoctlCall& call_IO);

// A USB device as sysfs shows it: its attributes, its usbfs node's numbers and the descriptors of its one
// configuration.
struct SUsbDeviceEntry {
  std::string parentSyspath;
  // "usb<bus>" for a root hub, "<bus>-<ports>" for a device below it.
  std::string name;
  unsigned devnum = 1;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t version = 0;
  uint8_t interfaces = 1;
  uint8_t interfaceClass = 0;
  std::string serial{};
  bool bulkEndpoints = false;
  unsigned speed = 480;
  // Further attributes, name/value pairs.
  std::vector<std::string> attributes{};
};

std::string UsbfsNode(unsigned bus_I, unsigned devnum_I);
// Adds the device; returns its syspath.
std::string AddUsbDevice(CUmockdevBed& bed_I, const SUsbDeviceEntry& device_I);

// A simulated bus mirrored into the testbed, as described at the top.
class CEmulatedBus : public CDeviceEventSink {
 public:
  // The platform's boards tell what their collections declare.
  CEmulatedBus(CUmockdevBed& bed_I, const sim::CSimPlatform& platform_I);
  ~CEmulatedBus() override;

  // Everything on the bus now, and the FTDI bridge when there is one; from then on arrivals and removals
  // follow as Pump finds them.
  void Start(CD2XX* bridge_I);
  // Mirrors the bus's due arrivals and removals; any thread but umockdev's may call it.
  void Pump();

  // The hidraw node (or usbfs node) a simulated path shows as; empty when it is not (or no longer) there.
  std::string NodeOf(const std::string& simPath_I) { return Mirrored(simPath_I).node; }
  std::shared_ptr<CEmulatedHidNode> HidNode(const std::string& simPath_I) { return Mirrored(simPath_I).hid; }
  // The FTDI bridge's usbfs node; empty without one.
  std::shared_ptr<CEmulatedUsbfsNode> FtdiNode() { return mBridges.empty() ? nullptr : mBridges.front(); }
  std::string Syspath(const std::string& simPath_I) { return Mirrored(simPath_I).syspaths.front(); }
  // The syspath of the root hub everything hangs from (once started).
  std::string RootHub() const { return mRootHub; }
  // A hub plugged into a root port (name_I as "1-8"); its syspath.
  std::string PlugHub(const std::string& name_I);

  void OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I) override;
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I) override;

 private:
  struct SUsbDevice {
    std::string instanceId;
    std::string syspath;
    std::string name;
    std::string node;
    int children = 0;
    int interfaces = 0;
  };
  struct SMirrored {
    std::vector<std::string> syspaths{""};
    std::string node;
    std::shared_ptr<CEmulatedHidNode> hid;
    std::shared_ptr<CEmulatedUsbfsNode> usbfs;
  };

  SMirrored Mirrored(const std::string& simPath_I);
  SUsbDevice& UsbDeviceFor(const std::string& instanceId_I, uint16_t version_I);
  // Adds the device at the next address (the root hub at 1).
  SUsbDevice& AddUsb(SUsbDeviceEntry device_I);
  void AddHid(const std::string& path_I);
  void AddBulk(const std::string& path_I);
  void AddFtdi(CD2XX& bridge_I);
  void Remove(const std::string& path_I);
  std::string NextPortBelow(SUsbDevice& hub_IO);
  uint8_t InterfacesBelow(const std::string& instanceId_I);

  CUmockdevBed& mBed;
  const sim::CSimPlatform& mPlatform;
  std::shared_ptr<sim::CSimBus> mBus;
  std::mutex mLock;
  std::string mRootHub;
  int mNextDevnum = 2;
  int mNextHidraw = 0;
  std::map<std::string, SUsbDevice> mUsbDevices;
  std::map<std::string, SMirrored> mMirrored;
  std::vector<std::shared_ptr<CEmulatedUsbfsNode>> mBridges;
};

// The virtual time of a run with emulated devices, shared by the run's threads as CScheduledClock shares it,
// with two additions: each pause first and last mirrors the bus's due changes; and a pause on umockdev's
// thread (time a device spends, such as the bridge's transfer times) stands in for the thread that waits in
// the ioctl meanwhile, so device time passes as on hardware.
class CPumpingClock : public CScheduledClock {
 public:
  void SetPump(std::function<void()> pump_I);
  void Pause(uint32_t milliseconds_I) override;

 protected:
  bool PausesForAnother() const override;

 private:
  void Pump();

  std::mutex mPumpLock;
  std::function<void()> mPump;
};

}  // namespace orv::test

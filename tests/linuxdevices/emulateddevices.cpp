#include "tests/linuxdevices/emulateddevices.h"

#include <linux/hidraw.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <set>

#include "common/stringutilities.h"
#include "sim/csimbusdevice.h"

namespace orv::test {
namespace {

constexpr unsigned kFtdiReset = 0x00;
constexpr unsigned kFtdiPollModemStatus = 0x05;
constexpr unsigned kFtdiEventChar = 0x06;
constexpr unsigned kFtdiErrorChar = 0x07;
constexpr unsigned kFtdiSetLatency = 0x09;
constexpr unsigned kFtdiGetLatency = 0x0A;
constexpr unsigned kFtdiBitMode = 0x0B;
constexpr unsigned kFtdiReadPins = 0x0C;
constexpr unsigned kFtdiReadEeprom = 0x90;
constexpr uint8_t kModemStatus[2] = {0x32, 0x60};
constexpr int kFtdiPacketSize = 512;

void PutLe16(std::vector<uint8_t>& bytes_IO, uint32_t value_I)
{
  bytes_IO.push_back(static_cast<uint8_t>(value_I));
  bytes_IO.push_back(static_cast<uint8_t>(value_I >> 8));
}

bool IsUsbDeviceId(const std::string& id_I) { return ToLower(id_I).rfind("usb\\vid_", 0) == 0; }

// A collection of a composite device hangs below its interface's node, which the kernel shows as the
// interface directory of the USB device: the USB device is one level further up.
std::string UsbDeviceAbove(sim::CSimBus& tree_I, const std::string& collectionId_I)
{
  const std::string parent = tree_I.GetAncestorId(collectionId_I, 1);
  const bool isInterface = IsUsbDeviceId(parent) && ToLower(parent).find("&mi_") != std::string::npos;
  return isInterface ? tree_I.GetAncestorId(collectionId_I, 2) : parent;
}

uint8_t InterfaceOfPath(const std::string& path_I)
{
  const size_t mi = ToLower(path_I).find("&mi_");
  return mi == std::string::npos ? 0 : static_cast<uint8_t>(std::strtoul(path_I.substr(mi + 4, 2).c_str(), nullptr, 16));
}

// The device descriptor and one configuration.
std::vector<uint8_t> UsbDescriptors(const SUsbDeviceEntry& device_I)
{
  const uint8_t interfaces = device_I.interfaces;
  const uint8_t deviceClass = device_I.interfaceClass == 0x09 ? 0x09 : 0x00;
  std::vector<uint8_t> bytes{18, 1, 0x00, 0x02, deviceClass, 0, 0, 64};
  PutLe16(bytes, device_I.vendorId);
  PutLe16(bytes, device_I.productId);
  PutLe16(bytes, device_I.version);
  bytes.insert(bytes.end(), {1, 2, 3, 1});
  const uint8_t endpoints = device_I.bulkEndpoints ? 2 : 0;
  bytes.insert(bytes.end(), {9, 2});
  PutLe16(bytes, 9u + interfaces * (9u + endpoints * 7u));
  bytes.insert(bytes.end(), {interfaces, 1, 0, 0x80, 50});
  for (uint8_t i = 0; i < interfaces; ++i) {
    bytes.insert(bytes.end(), {9, 4, i, 0, endpoints, device_I.interfaceClass, 0, 0, 0});
    if (!device_I.bulkEndpoints) continue;
    bytes.insert(bytes.end(), {7, 5, 0x81, 2, 0x00, 0x02, 0});
    bytes.insert(bytes.end(), {7, 5, 0x02, 2, 0x00, 0x02, 0});
  }
  return bytes;
}

}  // namespace

std::string Format(const char* format_I, unsigned value_I)
{
  char text[64];
  std::snprintf(text, sizeof(text), format_I, value_I);
  return text;
}

std::string UsbfsNode(unsigned bus_I, unsigned devnum_I)
{
  return Format("/dev/bus/usb/%03u/", bus_I) + Format("%03u", devnum_I);
}

std::string AddUsbDevice(CUmockdevBed& bed_I, const SUsbDeviceEntry& device_I)
{
  const bool rootHub = device_I.name.starts_with("usb");
  const unsigned bus = static_cast<unsigned>(std::stoul(device_I.name.substr(rootHub ? 3 : 0)));
  const std::string devpath = rootHub ? "0" : device_I.name.substr(device_I.name.find('-') + 1);
  std::vector<std::string> attributes{
      "idVendor", Format("%04x", device_I.vendorId), "idProduct", Format("%04x", device_I.productId), "bcdDevice",
      Format("%04x", device_I.version), "busnum", Format("%u\n", bus), "devnum", Format("%u\n", device_I.devnum),
      "speed", Format("%u\n", device_I.speed), "devpath", devpath + "\n", "bDeviceClass",
      device_I.interfaceClass == 0x09 ? "09" : "00", "bNumInterfaces", Format("%2u", device_I.interfaces),
      "bConfigurationValue", "1", "dev", Format("189:%u", (bus - 1) * 128 + device_I.devnum - 1)};
  if (!device_I.serial.empty()) attributes.insert(attributes.end(), {"serial", device_I.serial});
  attributes.insert(attributes.end(), device_I.attributes.begin(), device_I.attributes.end());
  const std::string syspath =
      bed_I.Add("usb", device_I.name, device_I.parentSyspath, attributes,
                {"DEVTYPE", "usb_device", "DEVNAME", UsbfsNode(bus, device_I.devnum), "BUSNUM", Format("%03u", bus),
                 "DEVNUM", Format("%03u", device_I.devnum)});
  bed_I.SetBinary(syspath, "descriptors", UsbDescriptors(device_I));
  return syspath;
}

bool AnswerDescriptorIoctl(const std::vector<uint8_t>& descriptor_I, CIoctlCall& call_IO)
{
  if (call_IO.Request() == HIDIOCGRDESCSIZE) {
    const int size = static_cast<int>(descriptor_I.size());
    std::memcpy(call_IO.Memory(sizeof(int)), &size, sizeof(int));
    call_IO.Complete(0);
    return true;
  }
  if (call_IO.Request() != HIDIOCGRDESC) return false;
  uint8_t* memory = call_IO.Memory(sizeof(hidraw_report_descriptor));
  uint32_t size = 0;
  std::memcpy(&size, memory, sizeof(size));
  std::copy_n(descriptor_I.begin(), std::min<size_t>(size, descriptor_I.size()), memory + sizeof(size));
  call_IO.Complete(0);
  return true;
}

// ---- hidraw

CEmulatedHidNode::CEmulatedHidNode(std::unique_ptr<CHidDevice> device_I, std::vector<SFirmwareCollection> collections_I)
    : mDevice(std::move(device_I)),
      mCollections(std::move(collections_I)),
      mDescriptor(FirmwareDescriptor(mCollections))
{
}

void CEmulatedHidNode::InjectFault(uint64_t first_I, uint64_t count_I, ENodeFault fault_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mFaultFirst = first_I;
  mFaultCount = count_I;
  mFault = fault_I;
}

void CEmulatedHidNode::SetGone()
{
  std::lock_guard<std::mutex> lock(mLock);
  mGone = true;
}

// Report ids are the device's, whichever collection declares them. A get may ask for more than the report (a
// Windows program asks with a buffer of the collection's longest): the device answers its report, short, as
// a USB device answers a longer request.
const SFirmwareReport* CEmulatedHidNode::Declared(bool set_I, uint8_t id_I, size_t length_I) const
{
  for (const SFirmwareCollection& collection : mCollections) {
    for (const SFirmwareReport& report : collection.reports) {
      if (report.id != id_I) continue;
      return report.length == length_I || (!set_I && report.length < length_I) ? &report : nullptr;
    }
  }
  return nullptr;
}

// The handler takes the first bytes of a set and answers a get in the first bytes of the report.
bool CEmulatedHidNode::Deliver(bool set_I, const SFirmwareReport& report_I, uint8_t* memory_IO)
{
  if (!mDevice) return false;
  std::vector<uint8_t> report(memory_IO, memory_IO + (set_I ? report_I.setLength : report_I.getLength));
  if (set_I) return mDevice->SetFeature(report);
  if (!mDevice->GetFeature(report)) return false;
  std::fill_n(memory_IO, report_I.length, 0);
  std::copy_n(report.begin(), std::min(report.size(), report_I.length), memory_IO);
  return true;
}

ENodeFault CEmulatedHidNode::FaultFor(uint64_t transfer_I) const
{
  return transfer_I < mFaultFirst || transfer_I - mFaultFirst >= mFaultCount ? ENODEFAULT_NONE : mFault;
}

void CEmulatedHidNode::Handle(CIoctlCall& call_IO)
{
  std::lock_guard<std::mutex> lock(mLock);
  const unsigned long request = call_IO.Request();
  if (mGone) return call_IO.Complete(-1, ENODEV);
  if (AnswerDescriptorIoctl(mDescriptor, call_IO)) return;
  if (request == HIDIOCGRAWINFO) {
    SHidAttributes attributes;
    if (!mDevice->GetAttributes(attributes)) return call_IO.Complete(-1, ENODEV);
    const hidraw_devinfo info{3, static_cast<int16_t>(attributes.vendorId), static_cast<int16_t>(attributes.productId)};
    std::memcpy(call_IO.Memory(sizeof(info)), &info, sizeof(info));
    return call_IO.Complete(0);
  }
  const bool set = request == HIDIOCSFEATURE(_IOC_SIZE(request));
  if (!set && request != HIDIOCGFEATURE(_IOC_SIZE(request))) return call_IO.Complete(-1, ENOTTY);
  const size_t length = _IOC_SIZE(request);
  uint8_t* memory = call_IO.Memory(length);
  const ENodeFault fault = FaultFor(++mTransfers);
  if (fault == ENODEFAULT_EIO) return call_IO.Complete(-1, EIO);
  if (fault == ENODEFAULT_ENODEV) {
    mGone = true;
    return call_IO.Complete(-1, ENODEV);
  }
  const SFirmwareReport* declared = length > 0 ? Declared(set, memory[0], length) : nullptr;
  const auto zero = [](uint8_t byte_I) { return byte_I == 0; };
  if (declared == nullptr || (set && !std::all_of(memory + declared->setLength, memory + length, zero))) {
    ++mStalls;
    return call_IO.Complete(-1, EPIPE);
  }
  if (!Deliver(set, *declared, memory)) return call_IO.Complete(-1, EPIPE);
  if (!set && fault == ENODEFAULT_OTHERID) ++memory[0];
  const size_t answered = set ? length : declared->length;
  call_IO.Complete(static_cast<long>(fault == ENODEFAULT_SHORT ? answered - 1 : answered));
}

// ---- usbfs

CEmulatedUsbfsNode::~CEmulatedUsbfsNode()
{
  for (UMockdevIoctlData* urb : mDone) umockdev_ioctl_data_unref(urb);
}

void CEmulatedUsbfsNode::SetGone()
{
  std::lock_guard<std::mutex> lock(mLock);
  mGone = true;
  Release();  // nothing stays claimed on a device that left
}

int CEmulatedUsbfsNode::Bulk(uint8_t, uint8_t*, int, int& actual_O)
{
  actual_O = 0;
  return -EPIPE;
}

void CEmulatedUsbfsNode::Handle(CIoctlCall& call_IO)
{
  std::lock_guard<std::mutex> lock(mLock);
  const unsigned long request = call_IO.Request();
  if (mGone) return call_IO.Complete(-1, ENODEV);
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      const uint32_t capabilities = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
      std::memcpy(call_IO.Memory(sizeof(capabilities)), &capabilities, sizeof(capabilities));
      return call_IO.Complete(0);
    }
    case USBDEVFS_CLAIMINTERFACE: {
      const bool claimed = Claim();
      return call_IO.Complete(claimed ? 0 : -1, claimed ? 0 : EBUSY);
    }
    case USBDEVFS_RELEASEINTERFACE: Release(); return call_IO.Complete(0);
    case USBDEVFS_SUBMITURB: return Submit(call_IO);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: return Reap(call_IO);
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESET: return call_IO.Complete(0);
    case USBDEVFS_IOCTL:
    case USBDEVFS_GETDRIVER: return call_IO.Complete(-1, ENODATA);
    default: return call_IO.Complete(-1, ENOTTY);
  }
}

void CEmulatedUsbfsNode::Submit(CIoctlCall& call_IO)
{
  UMockdevIoctlData* urbData = call_IO.Resolved(sizeof(usbdevfs_urb));
  auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  UMockdevIoctlData* buffer =
      call_IO.Resolved(static_cast<size_t>(urb->buffer_length), urbData, offsetof(usbdevfs_urb, buffer));
  if (buffer == nullptr) return call_IO.Complete(-1, EFAULT);
  int actual = 0;
  int status = -EPIPE;
  if (urb->type == USBDEVFS_URB_TYPE_CONTROL && urb->buffer_length >= 8) {
    const uint8_t* setup = buffer->data;
    const SUsbSetupPacket packet{setup[0], setup[1], static_cast<uint16_t>(setup[2] | setup[3] << 8),
                                 static_cast<uint16_t>(setup[4] | setup[5] << 8), static_cast<uint16_t>(setup[6] | setup[7] << 8)};
    if (8 + packet.length <= urb->buffer_length) status = Control(packet, buffer->data + 8, actual);
  } else if (urb->type == USBDEVFS_URB_TYPE_BULK) {
    status = Bulk(urb->endpoint, buffer->data, urb->buffer_length, actual);
  }
  urb->status = status;
  urb->actual_length = actual;
  mDone.push_back(umockdev_ioctl_data_ref(urbData));
  call_IO.Complete(0);
}

void CEmulatedUsbfsNode::Reap(CIoctlCall& call_IO)
{
  if (mDone.empty()) return call_IO.Complete(-1, EAGAIN);
  UMockdevIoctlData* urb = mDone.front();
  mDone.pop_front();
  umockdev_ioctl_data_set_ptr(call_IO.Resolved(sizeof(void*)), 0, urb);
  umockdev_ioctl_data_unref(urb);
  call_IO.Complete(0);
}

namespace {

// A bulk board's USB device: its control transfers go to a simulated USB handle.
class CEmulatedBulkNode : public CEmulatedUsbfsNode {
 public:
  explicit CEmulatedBulkNode(std::unique_ptr<CUsbDevice> device_I) : mDevice(std::move(device_I)) {}

 protected:
  int Control(const SUsbSetupPacket& setup_I, uint8_t* data_IO, int& actual_O) override
  {
    std::vector<uint8_t> data(data_IO, data_IO + setup_I.length);
    actual_O = 0;
    if (!mDevice->ControlTransfer(setup_I, data)) return -EPIPE;
    const bool read = (setup_I.requestType & 0x80) != 0;
    const size_t moved = read ? std::min<size_t>(data.size(), setup_I.length) : setup_I.length;
    if (read) std::copy_n(data.begin(), moved, data_IO);
    actual_O = static_cast<int>(moved);
    return 0;
  }

 private:
  std::unique_ptr<CUsbDevice> mDevice;
};

// An FT232H at the URB level in front of a D2XX device (the simulated bridge): the FTDI vendor requests, the
// MPSSE bytes out on endpoint 0x02, and on endpoint 0x81 what the bridge has ready, in 512-byte packets that
// each start with the two modem-status bytes.
class CEmulatedFtdiNode : public CEmulatedUsbfsNode {
 public:
  explicit CEmulatedFtdiNode(CD2XX& bridge_I) : mBridge(bridge_I) {}
  ~CEmulatedFtdiNode() override { Release(); }

 protected:
  bool Claim() override
  {
    if (mHandle != nullptr) return true;
    uint32_t location = 0;
    if (mBridge.ListDevices(nullptr, &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION) != FT_OK) return false;
    const auto byLocation = reinterpret_cast<void*>(static_cast<uintptr_t>(location));
    return mBridge.OpenEx(byLocation, FT_OPEN_BY_LOCATION, &mHandle) == FT_OK;
  }

  void Release() override
  {
    if (mHandle != nullptr) mBridge.Close(mHandle);
    mHandle = nullptr;
  }

  int Control(const SUsbSetupPacket& setup_I, uint8_t* data_IO, int& actual_O) override
  {
    actual_O = 0;
    if (mHandle == nullptr) return -ENODEV;
    const auto status = [](FT_STATUS status_I) { return status_I == FT_OK ? 0 : -EPIPE; };
    const uint8_t low = static_cast<uint8_t>(setup_I.value);
    const uint8_t high = static_cast<uint8_t>(setup_I.value >> 8);
    switch (setup_I.request) {
      case kFtdiReset: return setup_I.value == 0 ? status(mBridge.ResetDevice(mHandle)) : Purge(setup_I.value);
      case kFtdiEventChar:
        mEventChar = low;
        mEventEnabled = high & 1;
        return status(mBridge.SetChars(mHandle, mEventChar, mEventEnabled, mErrorChar, mErrorEnabled));
      case kFtdiErrorChar:
        mErrorChar = low;
        mErrorEnabled = high & 1;
        return status(mBridge.SetChars(mHandle, mEventChar, mEventEnabled, mErrorChar, mErrorEnabled));
      case kFtdiSetLatency:
        mLatencyMs = low;
        return status(mBridge.SetLatencyTimer(mHandle, low));
      case kFtdiBitMode: return status(mBridge.SetBitMode(mHandle, low, high));
      case kFtdiPollModemStatus:
        if (setup_I.length < 2) return -EPIPE;
        std::copy_n(kModemStatus, 2, data_IO);
        actual_O = 2;
        return 0;
      // The latency a chip starts with; pins and a blank EEPROM read high.
      case kFtdiGetLatency:
      case kFtdiReadPins:
      case kFtdiReadEeprom:
        std::fill_n(data_IO, setup_I.length, setup_I.request == kFtdiGetLatency ? 16 : 0xFF);
        actual_O = setup_I.length;
        return 0;
      // Modem and flow control, baud rate and data format: the MPSSE ignores them.
      default: return setup_I.request <= 0x04 ? 0 : -EPIPE;
    }
  }

  // Purging the receive side drops what the bridge holds; the transmit side holds nothing here.
  int Purge(uint16_t which_I)
  {
    uint32_t waiting = 0;
    uint32_t read = 0;
    if (which_I != 2 || mBridge.GetQueueStatus(mHandle, &waiting) != FT_OK || waiting == 0) return 0;
    std::vector<uint8_t> discarded(waiting);
    return mBridge.Read(mHandle, discarded.data(), waiting, &read) == FT_OK ? 0 : -EPIPE;
  }

  // A chip with nothing to send answers an IN transfer when its latency timer runs out.
  int Bulk(uint8_t endpoint_I, uint8_t* data_IO, int length_I, int& actual_O) override
  {
    actual_O = 0;
    if (mHandle == nullptr) return -ENODEV;
    if (endpoint_I == 0x02) {
      uint32_t written = 0;
      if (mBridge.Write(mHandle, data_IO, static_cast<uint32_t>(length_I), &written) != FT_OK) return -EPIPE;
      actual_O = static_cast<int>(written);
      return 0;
    }
    if (endpoint_I != 0x81 || length_I < 2) return -EPIPE;
    uint32_t waiting = 0;
    for (uint8_t waited = 0; waiting == 0; ++waited) {
      if (mBridge.GetQueueStatus(mHandle, &waiting) != FT_OK) return -EPIPE;
      if (waiting > 0 || waited == mLatencyMs) break;
      Pause(1);
    }
    const int packets = (length_I + kFtdiPacketSize - 1) / kFtdiPacketSize;
    std::vector<uint8_t> data(std::min<size_t>(waiting, static_cast<size_t>(std::max(0, length_I - 2 * packets))));
    uint32_t read = 0;
    if (!data.empty() && mBridge.Read(mHandle, data.data(), static_cast<uint32_t>(data.size()), &read) != FT_OK) {
      return -EPIPE;
    }
    size_t taken = 0;
    do {
      std::copy_n(kModemStatus, 2, data_IO + actual_O);
      const size_t chunk = std::min<size_t>(kFtdiPacketSize - 2, read - taken);
      std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(taken), chunk, data_IO + actual_O + 2);
      taken += chunk;
      actual_O += 2 + static_cast<int>(chunk);
    } while (taken < read);
    return 0;
  }

 private:
  CD2XX& mBridge;
  FT_HANDLE mHandle = nullptr;
  uint8_t mLatencyMs = 16;
  uint8_t mEventChar = 0, mEventEnabled = 0, mErrorChar = 0, mErrorEnabled = 0;
};

}  // namespace

// ---- the bus

CEmulatedBus::CEmulatedBus(CUmockdevBed& bed_I, const sim::CSimPlatform& platform_I)
    : mBed(bed_I), mPlatform(platform_I), mBus(platform_I.Bus())
{
}

CEmulatedBus::~CEmulatedBus() { mBus->Unsubscribe(this); }

void CEmulatedBus::Start(CD2XX* bridge_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  const std::string pci = mBed.Add("pci", "0000:00:14.0", "", {"vendor", "0x8086", "device", "0xa36d"}, {});
  mRootHub = AddUsb({pci, "usb1", 1, 0x1D6B, 0x0002, 0x0602, 1, 0x09, "0000:00:14.0"}).syspath;
  for (const std::string& path : mBus->EnumerateInterfacePaths(EDEVICECLASS_HID)) AddHid(path);
  for (const std::string& path : mBus->EnumerateInterfacePaths(EDEVICECLASS_BULK)) AddBulk(path);
  if (bridge_I != nullptr) AddFtdi(*bridge_I);
  mBus->Subscribe(this);
}

void CEmulatedBus::Pump() { mBus->DeliverDueEvents(); }

CEmulatedBus::SMirrored CEmulatedBus::Mirrored(const std::string& simPath_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  const auto found = mMirrored.find(simPath_I);
  return found == mMirrored.end() ? SMirrored() : found->second;
}

std::string CEmulatedBus::PlugHub(const std::string& name_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  return AddUsb({mRootHub, name_I, 0, 0x05E3, 0x0610, 0x0100, 1, 0x09}).syspath;
}

void CEmulatedBus::OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  class_I == EDEVICECLASS_HID ? AddHid(path_I) : AddBulk(path_I);
}

void CEmulatedBus::OnInterfaceRemoval(const std::string& path_I, EDeviceClass)
{
  std::lock_guard<std::mutex> lock(mLock);
  Remove(path_I);
}

CEmulatedBus::SUsbDevice& CEmulatedBus::AddUsb(SUsbDeviceEntry device_I)
{
  device_I.devnum = device_I.name == "usb1" ? 1 : mNextDevnum++;
  const std::string syspath = AddUsbDevice(mBed, device_I);
  SUsbDevice& device = mUsbDevices[syspath];
  device.syspath = syspath;
  device.name = device_I.name;
  device.node = UsbfsNode(1, device_I.devnum);
  return device;
}

// The name of the device plugged next into a port of the hub.
std::string CEmulatedBus::NextPortBelow(SUsbDevice& hub_IO)
{
  const std::string prefix = hub_IO.syspath == mRootHub ? "1-" : hub_IO.name + ".";
  return prefix + std::to_string(++hub_IO.children);
}

uint8_t CEmulatedBus::InterfacesBelow(const std::string& instanceId_I)
{
  std::set<uint8_t> interfaces;
  for (const std::string& path : mBus->EnumerateInterfacePaths(EDEVICECLASS_HID)) {
    if (EqualsIgnoreCase(UsbDeviceAbove(*mBus, sim::SimInstanceIdOfPath(path)), instanceId_I)) {
      interfaces.insert(InterfaceOfPath(path));
    }
  }
  return static_cast<uint8_t>(std::max<size_t>(interfaces.size(), 1));
}

// The USB device a simulated device node stands for, made (with the ones above it) when first needed; the
// root hub for a node that is not a USB device.
CEmulatedBus::SUsbDevice& CEmulatedBus::UsbDeviceFor(const std::string& instanceId_I, uint16_t version_I)
{
  if (!IsUsbDeviceId(instanceId_I)) return mUsbDevices[mRootHub];
  for (auto& [syspath, device] : mUsbDevices) {
    if (EqualsIgnoreCase(device.instanceId, instanceId_I)) return device;
  }
  const std::string parentId = mBus->GetAncestorId(instanceId_I, 1);
  SUsbDevice& parent = EqualsIgnoreCase(parentId, instanceId_I) ? mUsbDevices[mRootHub] : UsbDeviceFor(parentId, 0);
  const std::string name = NextPortBelow(parent);
  unsigned vendor = 0, product = 0;
  std::sscanf(ToLower(instanceId_I).c_str(), "usb\\vid_%4x&pid_%4x", &vendor, &product);
  const std::string serial = instanceId_I.substr(instanceId_I.rfind('\\') + 1);
  SUsbDevice& device = AddUsb({parent.syspath, name, 0, static_cast<uint16_t>(vendor), static_cast<uint16_t>(product),
                               version_I, InterfacesBelow(instanceId_I), 0x03, serial});
  device.instanceId = instanceId_I;
  return device;
}

void CEmulatedBus::AddHid(const std::string& path_I)
{
  if (mMirrored.count(path_I) > 0) return;
  std::unique_ptr<CHidDevice> device = mBus->OpenHid(path_I);
  SHidAttributes attributes;
  SHidCaps caps;
  if (!device || !device->GetAttributes(attributes) || !device->GetCaps(caps)) return;
  SUsbDevice& usb = UsbDeviceFor(UsbDeviceAbove(*mBus, sim::SimInstanceIdOfPath(path_I)), attributes.version);
  const std::string interfaceName = usb.name + ":1." + std::to_string(usb.interfaces++);
  // The properties Wine's bus driver reads: the version from PRODUCT, the interface number from the physical
  // path, the serial from the unique id.
  const std::string product =
      Format("%x/", attributes.vendorId) + Format("%x/", attributes.productId) + Format("%x", attributes.version);
  const std::string interfaceSyspath =
      mBed.Add("usb", interfaceName, usb.syspath,
               {"bInterfaceNumber", Format("%02x", InterfaceOfPath(path_I)), "bInterfaceClass", "03",
                "bAlternateSetting", " 0", "bNumEndpoints", "01"},
               {"DEVTYPE", "usb_interface", "INTERFACE", "3/0/0", "PRODUCT", product});
  const unsigned number = static_cast<unsigned>(mNextHidraw++);
  char hidName[32];
  std::snprintf(hidName, sizeof(hidName), "0003:%04X:%04X.%04X", attributes.vendorId, attributes.productId, number + 1);
  char hidId[32];
  std::snprintf(hidId, sizeof(hidId), "0003:0000%04X:0000%04X", attributes.vendorId, attributes.productId);
  const std::string port = usb.name.substr(usb.name.find('-') + 1);
  const std::string phys = "usb-0000:00:14.0-" + port + Format("/input%u", InterfaceOfPath(path_I));
  const std::string serial = usb.instanceId.substr(usb.instanceId.rfind('\\') + 1);
  const std::string hidSyspath = mBed.Add("hid", hidName, interfaceSyspath, {},
                                          {"HID_ID", hidId, "HID_NAME", "Orvel", "HID_UNIQ", serial, "HID_PHYS", phys});
  const std::string node = "/dev/hidraw" + std::to_string(number);
  auto hid = std::make_shared<CEmulatedHidNode>(std::move(device), std::vector{BoardFirmware(mPlatform, path_I, caps)});
  mBed.SetBinary(hidSyspath, "report_descriptor", hid->Descriptor());
  mBed.CreateNode(node, [hid](CIoctlCall& call_IO) { hid->Handle(call_IO); }, true);
  const std::string hidrawSyspath = mBed.Add("hidraw", "hidraw" + std::to_string(number), hidSyspath,
                                             {"dev", "241:" + std::to_string(number)}, {"DEVNAME", node});
  mMirrored[path_I] = SMirrored{{hidrawSyspath, hidSyspath, interfaceSyspath}, node, hid, nullptr};
}

void CEmulatedBus::AddBulk(const std::string& path_I)
{
  if (mMirrored.count(path_I) > 0) return;
  std::unique_ptr<CUsbDevice> device = mBus->OpenUsb(path_I);
  std::vector<uint8_t> descriptor;
  if (!device || !device->GetDeviceDescriptor(descriptor) || descriptor.size() < 18) return;
  const std::string instanceId = sim::SimInstanceIdOfPath(path_I);
  SUsbDevice& parent = UsbDeviceFor(mBus->GetAncestorId(instanceId, 1), 0);
  const std::string name = NextPortBelow(parent);
  const auto le16 = [&descriptor](size_t at_I) { return static_cast<uint16_t>(descriptor[at_I] | descriptor[at_I + 1] << 8); };
  const std::string serial = instanceId.substr(instanceId.rfind('\\') + 1);
  const SUsbDevice usb = AddUsb({parent.syspath, name, 0, le16(8), le16(10), le16(12), 1, 0xFF, serial});
  auto bulk = std::make_shared<CEmulatedBulkNode>(std::move(device));
  mBed.CreateNode(usb.node, [bulk](CIoctlCall& call_IO) { bulk->Handle(call_IO); });
  const std::string interfaceSyspath =
      mBed.Add("usb", name + ":1.0", usb.syspath, {"bInterfaceNumber", "00", "bInterfaceClass", "ff", "bNumEndpoints", "00"},
               {"DEVTYPE", "usb_interface", "INTERFACE", "255/0/0"});
  mMirrored[path_I] = SMirrored{{interfaceSyspath, usb.syspath}, usb.node, nullptr, bulk};
}

void CEmulatedBus::AddFtdi(CD2XX& bridge_I)
{
  const std::string name = NextPortBelow(mUsbDevices[mRootHub]);
  const SUsbDevice usb = AddUsb({mRootHub, name, 0, 0x0403, 0x6014, 0x0900, 1, 0xFF, "FT0RV16", true});
  auto ftdi = std::make_shared<CEmulatedFtdiNode>(bridge_I);
  mBed.CreateNode(usb.node, [ftdi](CIoctlCall& call_IO) { ftdi->Handle(call_IO); });
  mBed.Add("usb", name + ":1.0", usb.syspath, {"bInterfaceNumber", "00", "bInterfaceClass", "ff", "bNumEndpoints", "02"},
           {"DEVTYPE", "usb_interface", "INTERFACE", "255/255/255"});
  mBridges.push_back(ftdi);
}

void CEmulatedBus::Remove(const std::string& path_I)
{
  const auto found = mMirrored.find(path_I);
  if (found == mMirrored.end()) return;
  if (found->second.hid) found->second.hid->SetGone();
  if (found->second.usbfs) found->second.usbfs->SetGone();
  for (const std::string& syspath : found->second.syspaths) mBed.Remove(syspath);
  mMirrored.erase(found);
}

// ---- the clock

void CPumpingClock::SetPump(std::function<void()> pump_I)
{
  std::lock_guard<std::mutex> lock(mPumpLock);
  mPump = std::move(pump_I);
}

void CPumpingClock::Pump()
{
  std::function<void()> pump;
  {
    std::lock_guard<std::mutex> lock(mPumpLock);
    pump = mPump;
  }
  if (pump) pump();
}

void CPumpingClock::Pause(uint32_t milliseconds_I)
{
  const bool device = InDeviceHandler();
  if (!device) Pump();
  CScheduledClock::Pause(milliseconds_I);
  if (!device) Pump();
}

bool CPumpingClock::PausesForAnother() const { return InDeviceHandler(); }

}  // namespace orv::test

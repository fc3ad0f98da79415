#include "linux/common/clinuxftdid2xx.h"

#include <fcntl.h>
#include <ftdi.h>
#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "common/cclock.h"
#include "common/fwupdater/cdevice.h"

namespace orv {
namespace {

constexpr size_t kReadChunk = 4096;
constexpr uint32_t kMinTransferSize = 64;
constexpr uint32_t kMaxTransferSize = 65536;

constexpr uint16_t kFtdiVendorId = 0x0403;
// The FTDI chips with an MPSSE: FT2232C/D/H, FT4232H and FT232H (the display's own bridge). Every other FTDI
// device, a user's serial cable above all, is never opened: it keeps its driver and its tty.
constexpr uint16_t kMpsseProductIds[] = {0x6010, 0x6011, 0x6014};

uint32_t LocationOf(libusb_device* device_I)
{
  return static_cast<uint32_t>(libusb_get_bus_number(device_I)) << 8 | libusb_get_device_address(device_I);
}

std::string NodeOf(libusb_device* device_I)
{
  char node[32];
  std::snprintf(node, sizeof(node), "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(device_I),
                libusb_get_device_address(device_I));
  return node;
}

// These read what the kernel showed at enumeration (descriptors, bus path, parent): nothing reaches a device.
bool IsMpsseBridge(libusb_device* device_I)
{
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(device_I, &descriptor) != 0 || descriptor.idVendor != kFtdiVendorId) return false;
  return std::find(std::begin(kMpsseProductIds), std::end(kMpsseProductIds), descriptor.idProduct) !=
         std::end(kMpsseProductIds);
}

// Whether one of our boards (by our vendor id) hangs from the same hub: a pen display carries its bridge
// beside its own HID device.
bool BesideOurBoard(libusb_device* bridge_I, libusb_device* const* devices_I, ssize_t count_I)
{
  libusb_device* hub = libusb_get_parent(bridge_I);
  for (ssize_t i = 0; hub != nullptr && i < count_I; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_parent(devices_I[i]) == hub && libusb_get_device_descriptor(devices_I[i], &descriptor) == 0 &&
        descriptor.idVendor == DefaultVendorId) {
      return true;
    }
  }
  return false;
}

std::vector<uint8_t> BusPath(libusb_device* device_I)
{
  uint8_t ports[8] = {};
  const int depth = libusb_get_port_numbers(device_I, ports, sizeof(ports));
  std::vector<uint8_t> path{libusb_get_bus_number(device_I)};
  path.insert(path.end(), ports, ports + std::max(depth, 0));
  return path;
}

// The MPSSE bridges on the bus in the order of their bus paths, so that a port index names the same bridge
// from run to run. Where bridges sit beside our boards, only those: another bridge (an FT2232H serial
// adapter, say) is then never counted nor opened. The devices stay valid while the listing lives.
class CBridgeListing {
 public:
  explicit CBridgeListing(libusb_context* context_I)
  {
    const ssize_t count = context_I != nullptr ? libusb_get_device_list(context_I, &mDevices) : -1;
    if (count < 0) return;
    mValid = true;
    std::vector<SPlaced> beside, others;
    for (ssize_t i = 0; i < count; ++i) {
      if (!IsMpsseBridge(mDevices[i])) continue;
      (BesideOurBoard(mDevices[i], mDevices, count) ? beside : others).emplace_back(BusPath(mDevices[i]), mDevices[i]);
    }
    std::vector<SPlaced>& listed = beside.empty() ? others : beside;
    std::sort(listed.begin(), listed.end());
    for (const auto& entry : listed) mBridges.push_back(entry.second);
  }
  ~CBridgeListing()
  {
    if (mDevices != nullptr) libusb_free_device_list(mDevices, 1);
  }
  CBridgeListing(const CBridgeListing&) = delete;
  CBridgeListing& operator=(const CBridgeListing&) = delete;

  bool Valid() const { return mValid; }
  const std::vector<libusb_device*>& Bridges() const { return mBridges; }
  libusb_device* At(size_t index_I) const { return index_I < mBridges.size() ? mBridges[index_I] : nullptr; }
  libusb_device* WithLocation(uint32_t location_I) const
  {
    for (libusb_device* bridge : mBridges) {
      if (LocationOf(bridge) == location_I) return bridge;
    }
    return nullptr;
  }

 private:
  // A bridge with its bus path.
  using SPlaced = std::pair<std::vector<uint8_t>, libusb_device*>;

  libusb_device** mDevices = nullptr;
  bool mValid = false;
  std::vector<libusb_device*> mBridges;
};

// A libftdi1 context for a listing, released with it.
struct SContext {
  ftdi_context* context = ftdi_new();
  ~SContext()
  {
    if (context != nullptr) ftdi_free(context);
  }
  libusb_context* Usb() const { return context != nullptr ? context->usb_ctx : nullptr; }
};

FT_STATUS Status(int result_I) { return result_I < 0 ? FT_IO_ERROR : FT_OK; }

}  // namespace

CLinuxFtdiD2XX::~CLinuxFtdiD2XX()
{
  while (!mBridges.empty()) Close(mBridges.back().get());
}

FT_STATUS CLinuxFtdiD2XX::ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I)
{
  const SContext context;
  const CBridgeListing listing(context.Usb());
  if (flags_I == FT_LIST_NUMBER_ONLY) {
    if (arg1_IO == nullptr) return FT_INVALID_PARAMETER;
    *static_cast<uint32_t*>(arg1_IO) = static_cast<uint32_t>(listing.Bridges().size());
    return listing.Valid() ? FT_OK : FT_IO_ERROR;
  }
  if (flags_I != (FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION) || arg2_IO == nullptr) return FT_INVALID_PARAMETER;
  libusb_device* device = listing.At(reinterpret_cast<uintptr_t>(arg1_IO));
  if (device == nullptr) return FT_DEVICE_NOT_FOUND;
  *static_cast<uint32_t*>(arg2_IO) = LocationOf(device);
  return FT_OK;
}

FT_STATUS CLinuxFtdiD2XX::OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O)
{
  if (flags_I != FT_OPEN_BY_LOCATION || handle_O == nullptr) return FT_INVALID_PARAMETER;
  *handle_O = nullptr;
  auto bridge = std::make_unique<SBridge>();
  bridge->context = ftdi_new();
  if (bridge->context == nullptr) return FT_DEVICE_NOT_OPENED;
  const FT_STATUS status = OpenListed(*bridge, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg1_I)));
  if (status != FT_OK) {
    ftdi_free(bridge->context);
    return status;
  }
  *handle_O = bridge.get();
  mBridges.push_back(std::move(bridge));
  return FT_OK;
}

FT_STATUS CLinuxFtdiD2XX::OpenListed(SBridge& bridge_IO, uint32_t location_I)
{
  const CBridgeListing listing(bridge_IO.context->usb_ctx);
  libusb_device* device = listing.WithLocation(location_I);
  if (device == nullptr) return FT_DEVICE_NOT_FOUND;
  // libftdi1 does not tell a refused open from others; asking the node does.
  const std::string node = NodeOf(device);
  const int probe = open(node.c_str(), O_RDWR | O_CLOEXEC);
  if (probe < 0 && IsPermissionError(errno) && mAccessLog) mAccessLog->Refused(node);
  if (probe < 0) return FT_DEVICE_NOT_OPENED;
  close(probe);
  // The bridge's own interface only: ftdi_sio gives it back when the bridge is closed.
  bridge_IO.context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
  return ftdi_set_interface(bridge_IO.context, INTERFACE_A) == 0 && ftdi_usb_open_dev(bridge_IO.context, device) == 0
             ? FT_OK
             : FT_DEVICE_NOT_OPENED;
}

FT_STATUS CLinuxFtdiD2XX::Close(FT_HANDLE handle_I)
{
  const auto found = std::find_if(mBridges.begin(), mBridges.end(),
                                   [handle_I](const std::unique_ptr<SBridge>& bridge_I) { return bridge_I.get() == handle_I; });
  if (found == mBridges.end()) return FT_INVALID_HANDLE;
  ftdi_usb_close((*found)->context);
  ftdi_free((*found)->context);
  mBridges.erase(found);
  return FT_OK;
}

FT_STATUS CLinuxFtdiD2XX::Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O)
{
  SBridge* bridge = Find(handle_I);
  if (bridge == nullptr) return FT_INVALID_HANDLE;
  if (read_O == nullptr || (buffer_O == nullptr && toRead_I > 0)) return FT_INVALID_PARAMETER;
  *read_O = 0;
  const uint64_t start = Clock().NowMs();
  while (bridge->received.size() < toRead_I) {
    const size_t before = bridge->received.size();
    if (!Collect(*bridge, toRead_I - before)) return FT_IO_ERROR;
    if (bridge->received.size() > before) continue;
    if (Clock().NowMs() - start >= bridge->readTimeoutMs) break;
    Pause(1);
  }
  const size_t count = std::min<size_t>(toRead_I, bridge->received.size());
  std::copy_n(bridge->received.begin(), count, static_cast<uint8_t*>(buffer_O));
  bridge->received.erase(bridge->received.begin(), bridge->received.begin() + static_cast<std::ptrdiff_t>(count));
  *read_O = static_cast<uint32_t>(count);
  return FT_OK;
}

FT_STATUS CLinuxFtdiD2XX::Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O)
{
  SBridge* bridge = Find(handle_I);
  if (bridge == nullptr) return FT_INVALID_HANDLE;
  if (written_O == nullptr || (buffer_I == nullptr && toWrite_I > 0)) return FT_INVALID_PARAMETER;
  *written_O = 0;
  const int written = ftdi_write_data(bridge->context, static_cast<const unsigned char*>(buffer_I), static_cast<int>(toWrite_I));
  if (written < 0) return FT_IO_ERROR;
  *written_O = static_cast<uint32_t>(written);
  return FT_OK;
}

FT_STATUS CLinuxFtdiD2XX::ResetDevice(FT_HANDLE handle_I)
{
  SBridge* bridge = Find(handle_I);
  if (bridge == nullptr) return FT_INVALID_HANDLE;
  bridge->received.clear();
  return Status(ftdi_usb_reset(bridge->context));
}

FT_STATUS CLinuxFtdiD2XX::SetChars(FT_HANDLE handle_I, uint8_t eventChar_I, uint8_t eventCharEnabled_I,
                                   uint8_t errorChar_I, uint8_t errorCharEnabled_I)
{
  SBridge* bridge = Find(handle_I);
  if (bridge == nullptr) return FT_INVALID_HANDLE;
  if (ftdi_set_event_char(bridge->context, eventChar_I, eventCharEnabled_I) < 0) return FT_IO_ERROR;
  return Status(ftdi_set_error_char(bridge->context, errorChar_I, errorCharEnabled_I));
}

FT_STATUS CLinuxFtdiD2XX::SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t writeMs_I)
{
  SBridge* bridge = Find(handle_I);
  if (bridge == nullptr) return FT_INVALID_HANDLE;
  bridge->readTimeoutMs = readMs_I;
  if (readMs_I != 0) bridge->context->usb_read_timeout = static_cast<int>(std::min<uint32_t>(readMs_I, INT32_MAX));
  if (writeMs_I != 0) bridge->context->usb_write_timeout = static_cast<int>(std::min<uint32_t>(writeMs_I, INT32_MAX));
  return FT_OK;
}

FT_STATUS CLinuxFtdiD2XX::GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O)
{
  SBridge* bridge = Find(handle_I);
  if (bridge == nullptr) return FT_INVALID_HANDLE;
  if (bytes_O == nullptr) return FT_INVALID_PARAMETER;
  if (!Collect(*bridge, kReadChunk)) return FT_IO_ERROR;
  *bytes_O = static_cast<uint32_t>(bridge->received.size());
  return FT_OK;
}

FT_STATUS CLinuxFtdiD2XX::SetLatencyTimer(FT_HANDLE handle_I, uint8_t milliseconds_I)
{
  SBridge* bridge = Find(handle_I);
  if (bridge == nullptr) return FT_INVALID_HANDLE;
  if (milliseconds_I == 0) return FT_INVALID_PARAMETER;
  return Status(ftdi_set_latency_timer(bridge->context, milliseconds_I));
}

FT_STATUS CLinuxFtdiD2XX::SetBitMode(FT_HANDLE handle_I, uint8_t mask_I, uint8_t mode_I)
{
  SBridge* bridge = Find(handle_I);
  if (bridge == nullptr) return FT_INVALID_HANDLE;
  return Status(ftdi_set_bitmode(bridge->context, mask_I, mode_I));
}

FT_STATUS CLinuxFtdiD2XX::SetUSBParameters(FT_HANDLE handle_I, uint32_t inSize_I, uint32_t outSize_I)
{
  SBridge* bridge = Find(handle_I);
  if (bridge == nullptr) return FT_INVALID_HANDLE;
  for (const uint32_t size : {inSize_I, outSize_I}) {
    if (size < kMinTransferSize || size > kMaxTransferSize || size % kMinTransferSize != 0) return FT_INVALID_PARAMETER;
  }
  if (ftdi_read_data_set_chunksize(bridge->context, inSize_I) < 0) return FT_IO_ERROR;
  return Status(ftdi_write_data_set_chunksize(bridge->context, outSize_I));
}

CLinuxFtdiD2XX::SBridge* CLinuxFtdiD2XX::Find(FT_HANDLE handle_I) const
{
  for (const std::unique_ptr<SBridge>& bridge : mBridges) {
    if (bridge.get() == handle_I) return bridge.get();
  }
  return nullptr;
}

bool CLinuxFtdiD2XX::Collect(SBridge& bridge_IO, size_t wanted_I)
{
  uint8_t chunk[kReadChunk];
  const int read = ftdi_read_data(bridge_IO.context, chunk, static_cast<int>(std::min(wanted_I, sizeof(chunk))));
  if (read < 0) return false;
  bridge_IO.received.insert(bridge_IO.received.end(), chunk, chunk + read);
  return true;
}

}  // namespace orv

#include "linux/common/clinuxftdid2xx.h"

#include <fcntl.h>
#include <ftdi.h>
#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "common/cclock.h"

namespace orv {
namespace {

constexpr size_t kReadChunk = 4096;
constexpr uint32_t kMinTransferSize = 64;
constexpr uint32_t kMaxTransferSize = 65536;

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

// The bridges libftdi1 finds with its own list of FTDI ids, in libusb's order; the list is released with the
// context.
struct SListing {
  ftdi_context* context = ftdi_new();
  ftdi_device_list* devices = nullptr;
  int count = context != nullptr ? ftdi_usb_find_all(context, &devices, 0, 0) : -1;

  ~SListing()
  {
    if (devices != nullptr) ftdi_list_free(&devices);
    if (context != nullptr) ftdi_free(context);
  }
  libusb_device* At(size_t index_I) const
  {
    ftdi_device_list* entry = devices;
    for (size_t i = 0; entry != nullptr && i < index_I; ++i) entry = entry->next;
    return entry != nullptr ? entry->dev : nullptr;
  }
};

libusb_device* WithLocation(ftdi_device_list* devices_I, uint32_t location_I)
{
  for (ftdi_device_list* entry = devices_I; entry != nullptr; entry = entry->next) {
    if (LocationOf(entry->dev) == location_I) return entry->dev;
  }
  return nullptr;
}

FT_STATUS Status(int result_I) { return result_I < 0 ? FT_IO_ERROR : FT_OK; }

}  // namespace

CLinuxFtdiD2XX::~CLinuxFtdiD2XX()
{
  while (!mBridges.empty()) Close(mBridges.back().get());
}

FT_STATUS CLinuxFtdiD2XX::ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I)
{
  const SListing listing;
  if (flags_I == FT_LIST_NUMBER_ONLY) {
    if (arg1_IO == nullptr) return FT_INVALID_PARAMETER;
    *static_cast<uint32_t*>(arg1_IO) = static_cast<uint32_t>(std::max(listing.count, 0));
    return listing.count < 0 ? FT_IO_ERROR : FT_OK;
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
  ftdi_device_list* devices = nullptr;
  const uint32_t location = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg1_I));
  libusb_device* device =
      ftdi_usb_find_all(bridge->context, &devices, 0, 0) > 0 ? WithLocation(devices, location) : nullptr;
  FT_STATUS status = device == nullptr ? FT_DEVICE_NOT_FOUND : FT_OK;
  if (status == FT_OK) {
    // libftdi1 does not tell a refused open from others; asking the node does.
    const std::string node = NodeOf(device);
    const int probe = open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (probe < 0 && IsPermissionError(errno) && mAccessLog) mAccessLog->Refused(node);
    if (probe >= 0) close(probe);
    bridge->context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    status = probe >= 0 && ftdi_set_interface(bridge->context, INTERFACE_A) == 0 &&
                     ftdi_usb_open_dev(bridge->context, device) == 0
                 ? FT_OK
                 : FT_DEVICE_NOT_OPENED;
  }
  if (devices != nullptr) ftdi_list_free(&devices);
  if (status != FT_OK) {
    ftdi_free(bridge->context);
    return status;
  }
  *handle_O = bridge.get();
  mBridges.push_back(std::move(bridge));
  return FT_OK;
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

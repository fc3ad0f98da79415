#include "sim/csimbusdevice.h"

#include <algorithm>
#include <cstdio>

#include "common/cclock.h"

namespace orv::sim {
namespace {

// Length of the "\\?\" that starts a device interface path.
constexpr size_t kPathPrefix = 4;
// The interface class GUIDs under which HID collections and bulk boards are enumerated.
constexpr const char* kHidInterfaceClass = "{4d1e55b2-f16f-11cf-88cb-001111000030}";
constexpr const char* kBulkInterfaceClass = "{103b887c-f5b0-46a6-856a-10cba7460490}";

}  // namespace

std::string MakeSimHidPath(uint16_t vendorId_I, uint16_t productId_I, uint8_t interface_I, uint32_t instance_I)
{
  char path[128];
  std::snprintf(path, sizeof(path), "\\\\?\\HID#VID_%04X&PID_%04X&MI_%02X#7&%08x&0&0000#%s", vendorId_I, productId_I,
                interface_I, static_cast<unsigned>(instance_I), kHidInterfaceClass);
  return path;
}

std::string MakeSimBulkPath(uint16_t vendorId_I, uint16_t productId_I, const std::string& instance_I)
{
  char prefix[64];
  std::snprintf(prefix, sizeof(prefix), "\\\\?\\USB#VID_%04X&PID_%04X#", vendorId_I, productId_I);
  return prefix + instance_I + "#" + kBulkInterfaceClass;
}

std::string SimInstanceIdOfPath(const std::string& path_I)
{
  std::string id = path_I.substr(0, path_I.rfind('#'));
  if (id.size() < kPathPrefix) return {};
  id.erase(0, kPathPrefix);
  std::replace(id.begin(), id.end(), '#', '\\');
  return id;
}

std::unique_ptr<CHidDevice> CSimBusDevice::OpenHid(const std::string&) { return nullptr; }

std::unique_ptr<CUsbDevice> CSimBusDevice::OpenUsb(const std::string&) { return nullptr; }

void CSimBusDevice::UsbDeviceGone() {}

void CSimBusDevice::UsbDeviceBack(uint64_t) {}

void CSimPresence::Appear(const SSimInterface& interface_I, uint64_t fromMs_I)
{
  mInterface = interface_I;
  mOnBus = true;
  mFromMs = fromMs_I;
  mArrivalRecorded = false;
}

void CSimPresence::Leave(uint64_t nowMs_I)
{
  if (!mOnBus) return;
  RecordArrival(nowMs_I);
  // An interface that never arrived leaves without a removal.
  if (mArrivalRecorded) mChanges.push_back({nowMs_I, mInterface, false});
  mOnBus = false;
}

bool CSimPresence::Present(uint64_t nowMs_I) const { return mOnBus && nowMs_I >= mFromMs; }

std::vector<SSimInterfaceChange> CSimPresence::Take(uint64_t nowMs_I)
{
  RecordArrival(nowMs_I);
  std::vector<SSimInterfaceChange> changes;
  changes.swap(mChanges);
  return changes;
}

std::optional<uint64_t> CSimPresence::PendingArrivalMs() const
{
  if (!mOnBus || mArrivalRecorded) return std::nullopt;
  return mFromMs;
}

void CSimPresence::RecordArrival(uint64_t nowMs_I)
{
  if (!Present(nowMs_I) || mArrivalRecorded) return;
  mChanges.push_back({mFromMs, mInterface, true});
  mArrivalRecorded = true;
}

void SpendTransferTime(uint32_t milliseconds_I)
{
  if (milliseconds_I != 0) Pause(milliseconds_I);
}

}  // namespace orv::sim

#include "linux/common/clinuxhidsystem.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "common/assertion.h"
#include "linux/common/clinuxudev.h"

namespace orv {
namespace {

// The length field of the feature ioctls.
constexpr size_t kMaxFeatureReport = _IOC_SIZEMASK;

std::optional<SHidCollection> DeclaredCollection(int fd_I, size_t collection_I)
{
  int size = 0;
  if (ioctl(fd_I, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE) return std::nullopt;
  hidraw_report_descriptor descriptor{};
  descriptor.size = static_cast<uint32_t>(size);
  if (ioctl(fd_I, HIDIOCGRDESC, &descriptor) < 0) return std::nullopt;
  const std::vector<SHidCollection> collections =
      ParseHidCollections(std::vector<uint8_t>(descriptor.value, descriptor.value + descriptor.size));
  if (collection_I >= collections.size()) return std::nullopt;
  return collections[collection_I];
}

const SHidFeatureReport* DeclaredFeature(const SHidCollection& collection_I, uint8_t id_I)
{
  for (const SHidFeatureReport& feature : collection_I.features) {
    if (feature.id == id_I) return &feature;
  }
  return nullptr;
}

uint16_t NodeVersion(const std::string& node_I)
{
  UdevPtr context(udev_new());
  const UdevDevicePtr hidraw = context ? HidrawDevice(context.get(), node_I) : nullptr;
  return hidraw ? HidDeviceVersion(context.get(), hidraw.get()) : 0;
}

}  // namespace

CLinuxHidDevice::CLinuxHidDevice(int fd_I, std::string node_I, std::optional<SHidCollection> collection_I)
    : mFd(fd_I), mNode(std::move(node_I)), mCollection(std::move(collection_I))
{
}

CLinuxHidDevice::~CLinuxHidDevice() { close(mFd); }

bool CLinuxHidDevice::GetAttributes(SHidAttributes& attributes_O)
{
  hidraw_devinfo info{};
  if (ioctl(mFd, HIDIOCGRAWINFO, &info) < 0) return false;
  attributes_O.vendorId = static_cast<uint16_t>(info.vendor);
  attributes_O.productId = static_cast<uint16_t>(info.product);
  attributes_O.version = NodeVersion(mNode);
  return true;
}

bool CLinuxHidDevice::GetCaps(SHidCaps& caps_O)
{
  if (!mCollection) return false;
  caps_O = mCollection->caps;
  return true;
}

std::optional<size_t> CLinuxHidDevice::DeclaredLength(const std::vector<uint8_t>& report_I, const char* transfer_I)
{
  if (report_I.empty()) return std::nullopt;
  const unsigned id = report_I[0];
  if (!mCollection) {
    if (std::exchange(mUndeclaredLogged, true)) return std::nullopt;
    DebugPrint("%s: no report descriptor declares the collection; feature report 0x%02X %s refused\n", mNode.c_str(),
               id, transfer_I);
    return std::nullopt;
  }
  const SHidFeatureReport* declared = DeclaredFeature(*mCollection, report_I[0]);
  if (declared == nullptr) {
    DebugPrint("%s: feature report 0x%02X is not declared by the collection; %s refused\n", mNode.c_str(), id,
               transfer_I);
    return std::nullopt;
  }
  // For a collection without ids hidraw still takes the report number 0 in front of the report.
  const size_t length = declared->length + 1;
  if (report_I.size() > length || length > kMaxFeatureReport) {
    DebugPrint("%s: feature report 0x%02X of %zu bytes cannot go out at the %zu bytes the collection declares; "
               "%s refused\n",
               mNode.c_str(), id, report_I.size(), length, transfer_I);
    return std::nullopt;
  }
  return length;
}

bool CLinuxHidDevice::SetFeature(const std::vector<uint8_t>& report_I)
{
  const std::optional<size_t> length = DeclaredLength(report_I, "set");
  if (!length) return false;
  std::vector<uint8_t> buffer = report_I;
  buffer.resize(*length, 0);
  const int sent = ioctl(mFd, HIDIOCSFEATURE(buffer.size()), buffer.data());
  return sent >= 0 && static_cast<size_t>(sent) == buffer.size();
}

bool CLinuxHidDevice::GetFeature(std::vector<uint8_t>& report_IO)
{
  const std::optional<size_t> length = DeclaredLength(report_IO, "get");
  if (!length) return false;
  std::vector<uint8_t> buffer = report_IO;
  buffer.resize(*length, 0);
  const int received = ioctl(mFd, HIDIOCGFEATURE(buffer.size()), buffer.data());
  if (received < 0 || static_cast<size_t>(received) < report_IO.size() || buffer[0] != report_IO[0]) return false;
  std::copy_n(buffer.begin(), report_IO.size(), report_IO.begin());
  return true;
}

std::unique_ptr<CHidDevice> CLinuxHidSystem::Open(const std::string& path_I)
{
  const std::optional<SHidPath> path = SplitHidPath(path_I);
  if (!path) return nullptr;
  const int fd = OpenDeviceNode(path->node, O_RDWR | O_CLOEXEC, mAccessLog.get());
  if (fd < 0) {
    if (IsPermissionError(errno) && mAccessLog) mAccessLog->Refused(path->node);
    return nullptr;
  }
  return std::make_unique<CLinuxHidDevice>(fd, path->node, DeclaredCollection(fd, path->collection));
}

std::string CLinuxHidSystem::GetAncestorId(const std::string& instanceId_I, uint8_t levels_I)
{
  return LinuxAncestorId(instanceId_I, levels_I);
}

std::string CLinuxHidSystem::InstanceIdOfPath(const std::string& path_I) { return LinuxInstanceIdOfPath(path_I); }

}  // namespace orv

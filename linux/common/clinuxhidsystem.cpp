#include "linux/common/clinuxhidsystem.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "common/fwupdater/chidreportdescriptor.h"
#include "linux/common/clinuxudev.h"

namespace orv {
namespace {

// The length field of the feature ioctls.
constexpr size_t kMaxFeatureReport = _IOC_SIZEMASK;

std::optional<SHidCaps> CollectionCaps(int fd_I, size_t collection_I)
{
  int size = 0;
  if (ioctl(fd_I, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE) return std::nullopt;
  hidraw_report_descriptor descriptor{};
  descriptor.size = static_cast<uint32_t>(size);
  if (ioctl(fd_I, HIDIOCGRDESC, &descriptor) < 0) return std::nullopt;
  const std::vector<SHidCaps> collections =
      ParseTopLevelCollections(std::vector<uint8_t>(descriptor.value, descriptor.value + descriptor.size));
  if (collection_I >= collections.size()) return std::nullopt;
  return collections[collection_I];
}

uint16_t NodeVersion(const std::string& node_I)
{
  UdevPtr context(udev_new());
  const UdevDevicePtr hidraw = context ? HidrawDevice(context.get(), node_I) : nullptr;
  return hidraw ? HidDeviceVersion(context.get(), hidraw.get()) : 0;
}

}  // namespace

CLinuxHidDevice::CLinuxHidDevice(int fd_I, std::string node_I, std::optional<SHidCaps> caps_I)
    : mFd(fd_I), mNode(std::move(node_I)), mCaps(caps_I)
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
  if (!mCaps) return false;
  caps_O = *mCaps;
  return true;
}

bool CLinuxHidDevice::SetFeature(const std::vector<uint8_t>& report_I)
{
  if (report_I.empty() || report_I.size() > kMaxFeatureReport) return false;
  std::vector<uint8_t> buffer = report_I;
  const int sent = ioctl(mFd, HIDIOCSFEATURE(buffer.size()), buffer.data());
  return sent >= 0 && static_cast<size_t>(sent) == report_I.size();
}

bool CLinuxHidDevice::GetFeature(std::vector<uint8_t>& report_IO)
{
  if (report_IO.empty() || report_IO.size() > kMaxFeatureReport) return false;
  std::vector<uint8_t> buffer = report_IO;
  const int received = ioctl(mFd, HIDIOCGFEATURE(buffer.size()), buffer.data());
  if (received < 0 || static_cast<size_t>(received) != buffer.size() || buffer[0] != report_IO[0]) return false;
  report_IO.swap(buffer);
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
  return std::make_unique<CLinuxHidDevice>(fd, path->node, CollectionCaps(fd, path->collection));
}

std::string CLinuxHidSystem::GetAncestorId(const std::string& instanceId_I, uint8_t levels_I)
{
  return LinuxAncestorId(instanceId_I, levels_I);
}

std::string CLinuxHidSystem::InstanceIdOfPath(const std::string& path_I) { return LinuxInstanceIdOfPath(path_I); }

}  // namespace orv

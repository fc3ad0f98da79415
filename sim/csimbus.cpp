#include "sim/csimbus.h"

#include <algorithm>
#include <utility>

#include "common/cclock.h"
#include "common/stringutilities.h"

namespace orv::sim {
namespace {

using Plugged = std::shared_ptr<std::atomic<bool>>;

// A handle opened through the bus: it dies when its device is unplugged.
class CSimBusHidHandle : public CHidDevice {
 public:
  CSimBusHidHandle(std::unique_ptr<CHidDevice> device_I, Plugged plugged_I)
      : mDevice(std::move(device_I)), mPlugged(std::move(plugged_I))
  {
  }

  bool GetAttributes(SHidAttributes& attributes_O) override
  {
    return *mPlugged && mDevice->GetAttributes(attributes_O);
  }
  bool GetCaps(SHidCaps& caps_O) override { return *mPlugged && mDevice->GetCaps(caps_O); }
  bool SetFeature(const std::vector<uint8_t>& report_I) override { return *mPlugged && mDevice->SetFeature(report_I); }
  bool GetFeature(std::vector<uint8_t>& report_IO) override { return *mPlugged && mDevice->GetFeature(report_IO); }

 private:
  std::unique_ptr<CHidDevice> mDevice;
  Plugged mPlugged;
};

class CSimBusUsbHandle : public CUsbDevice {
 public:
  CSimBusUsbHandle(std::unique_ptr<CUsbDevice> device_I, Plugged plugged_I)
      : mDevice(std::move(device_I)), mPlugged(std::move(plugged_I))
  {
  }

  bool GetDeviceDescriptor(std::vector<uint8_t>& descriptor_O) override
  {
    return *mPlugged && mDevice->GetDeviceDescriptor(descriptor_O);
  }
  bool ControlTransfer(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO) override
  {
    return *mPlugged && mDevice->ControlTransfer(setup_I, data_IO);
  }

 private:
  std::unique_ptr<CUsbDevice> mDevice;
  Plugged mPlugged;
};

// An unrelated device's collection: it tells who it is and takes no feature report.
class CSimCollectionHandle : public CHidDevice {
 public:
  explicit CSimCollectionHandle(const SSimHidIdentity& identity_I) : mIdentity(identity_I) {}

  bool GetAttributes(SHidAttributes& attributes_O) override
  {
    attributes_O = {mIdentity.vendorId, mIdentity.productId, mIdentity.version};
    return true;
  }
  bool GetCaps(SHidCaps& caps_O) override
  {
    caps_O = {mIdentity.usage, mIdentity.usagePage};
    return true;
  }
  bool SetFeature(const std::vector<uint8_t>&) override { return false; }
  bool GetFeature(std::vector<uint8_t>&) override { return false; }

 private:
  const SSimHidIdentity mIdentity;
};

}  // namespace

std::unique_ptr<CHidDevice> CSimHidCollection::OpenHid(const std::string& path_I)
{
  if (!EqualsIgnoreCase(path_I, mIdentity.path)) return nullptr;
  return std::make_unique<CSimCollectionHandle>(mIdentity);
}

bool CSimBus::Attach(const std::shared_ptr<CSimBusDevice>& device_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (!device_I || FindLocked(device_I.get()) != mDevices.end()) return false;
  // What the device went through before it was plugged in is nobody's news.
  device_I->TakeInterfaceChanges();
  const uint64_t now = Clock().NowMs();
  for (const SSimInterface& iface : device_I->PresentInterfaces()) QueueLocked(now, iface, true);
  for (const SSimNode& node : device_I->Nodes()) AddNodeLocked(node.instanceId, node.parentId);
  mDevices.push_back({device_I, std::make_shared<std::atomic<bool>>(true)});
  return true;
}

bool CSimBus::Detach(const std::shared_ptr<CSimBusDevice>& device_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  const auto attached = FindLocked(device_I.get());
  if (attached == mDevices.end()) return false;
  CollectLocked(*device_I);
  const uint64_t now = Clock().NowMs();
  for (const SSimInterface& iface : device_I->PresentInterfaces()) QueueLocked(now, iface, false);
  *attached->plugged = false;
  mDevices.erase(attached);
  return true;
}

void CSimBus::AddNode(const std::string& instanceId_I, const std::string& parentId_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  AddNodeLocked(instanceId_I, parentId_I);
}

void CSimBus::SetEventDelayMs(uint32_t delay_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mEventDelayMs = delay_I;
}

uint32_t CSimBus::EventDelayMs()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mEventDelayMs;
}

void CSimBus::Subscribe(CDeviceEventSink* sink_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (sink_I && !SubscribedLocked(sink_I)) mSinks.push_back(sink_I);
}

void CSimBus::Unsubscribe(CDeviceEventSink* sink_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mSinks.erase(std::remove(mSinks.begin(), mSinks.end(), sink_I), mSinks.end());
}

size_t CSimBus::DeliverDueEvents()
{
  size_t delivered = 0;
  for (;;) {
    std::unique_lock<std::mutex> lock(mLock);
    CollectLocked();
    if (mEvents.empty() || mEvents.front().dueMs > Clock().NowMs()) return delivered;
    const SEvent event = mEvents.front();
    mEvents.pop_front();
    const std::vector<CDeviceEventSink*> sinks = mSinks;
    lock.unlock();
    ++delivered;
    for (CDeviceEventSink* sink : sinks) {
      // A sink may unsubscribe another one (or itself) while this event goes round.
      lock.lock();
      const bool subscribed = SubscribedLocked(sink);
      lock.unlock();
      if (!subscribed) continue;
      if (event.arrival) {
        sink->OnInterfaceArrival(event.iface.path, event.iface.deviceClass);
      } else {
        sink->OnInterfaceRemoval(event.iface.path, event.iface.deviceClass);
      }
    }
  }
}

std::optional<uint64_t> CSimBus::NextEventDueMs()
{
  std::lock_guard<std::mutex> lock(mLock);
  CollectLocked();
  std::optional<uint64_t> next;
  if (!mEvents.empty()) next = mEvents.front().dueMs;
  for (const SAttached& attached : mDevices) {
    const std::optional<uint64_t> change = attached.device->NextInterfaceChangeMs();
    if (change && (!next || *change + mEventDelayMs < *next)) next = *change + mEventDelayMs;
  }
  return next;
}

std::vector<std::string> CSimBus::EnumerateInterfacePaths(EDeviceClass class_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  std::vector<std::string> paths;
  for (const SAttached& attached : mDevices) {
    for (const SSimInterface& iface : attached.device->PresentInterfaces()) {
      if (iface.deviceClass == class_I) paths.push_back(iface.path);
    }
  }
  return paths;
}

std::unique_ptr<CHidDevice> CSimBus::OpenHid(const std::string& path_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  for (const SAttached& attached : mDevices) {
    if (std::unique_ptr<CHidDevice> device = attached.device->OpenHid(path_I)) {
      return std::make_unique<CSimBusHidHandle>(std::move(device), attached.plugged);
    }
  }
  return nullptr;
}

std::unique_ptr<CUsbDevice> CSimBus::OpenUsb(const std::string& path_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  for (const SAttached& attached : mDevices) {
    if (std::unique_ptr<CUsbDevice> device = attached.device->OpenUsb(path_I)) {
      return std::make_unique<CSimBusUsbHandle>(std::move(device), attached.plugged);
    }
  }
  return nullptr;
}

std::string CSimBus::GetAncestorId(const std::string& instanceId_I, uint8_t levels_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  auto node = mNodes.find(ToLower(instanceId_I));
  if (node == mNodes.end()) return {};
  for (uint8_t level = 0; level < levels_I && !node->second.parentKey.empty(); ++level) {
    node = mNodes.find(node->second.parentKey);
  }
  return node->second.id;
}

std::vector<CSimBus::SAttached>::iterator CSimBus::FindLocked(const CSimBusDevice* device_I)
{
  return std::find_if(mDevices.begin(), mDevices.end(),
                      [device_I](const SAttached& attached_I) { return attached_I.device.get() == device_I; });
}

void CSimBus::AddNodeLocked(const std::string& instanceId_I, const std::string& parentId_I)
{
  if (instanceId_I.empty()) return;
  const std::string parentKey = ToLower(parentId_I);
  if (!parentKey.empty()) mNodes.try_emplace(parentKey, SNode{parentId_I, {}});
  SNode& node = mNodes.try_emplace(ToLower(instanceId_I), SNode{instanceId_I, {}}).first->second;
  node.parentKey = parentKey;
}

void CSimBus::CollectLocked()
{
  for (const SAttached& attached : mDevices) CollectLocked(*attached.device);
}

void CSimBus::CollectLocked(CSimBusDevice& device_I)
{
  for (const SSimInterfaceChange& change : device_I.TakeInterfaceChanges()) {
    QueueLocked(change.timeMs, change.iface, change.arrived);
  }
}

void CSimBus::QueueLocked(uint64_t timeMs_I, const SSimInterface& interface_I, bool arrival_I)
{
  const uint64_t due = timeMs_I + mEventDelayMs;
  const auto later = std::upper_bound(mEvents.begin(), mEvents.end(), due,
                                      [](uint64_t due_I, const SEvent& event_I) { return due_I < event_I.dueMs; });
  mEvents.insert(later, {due, interface_I, arrival_I});
}

bool CSimBus::SubscribedLocked(CDeviceEventSink* sink_I) const
{
  return std::find(mSinks.begin(), mSinks.end(), sink_I) != mSinks.end();
}

}  // namespace orv::sim

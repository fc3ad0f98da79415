// Enumeration and hot-plug: which device interfaces are present, and news of their arrival and removal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// The two device interface classes the system looks at: HID collections (HID and I2C-tunnel boards) and the
// vendor class of bulk boards.
enum EDeviceClass : int32_t {
  EDEVICECLASS_HID = 0,
  EDEVICECLASS_BULK = 1,
};

class CDeviceEnumerator {
 public:
  virtual ~CDeviceEnumerator() = default;
  // The present interfaces of one class, in the order the system reports them.
  virtual std::vector<std::string> EnumerateInterfacePaths(EDeviceClass class_I) = 0;
};

// Receives arrival and removal of device interfaces on the application thread, as the operating system
// reports them.
class CDeviceEventSink {
 public:
  virtual ~CDeviceEventSink() = default;
  virtual void OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I) = 0;
  virtual void OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I) = 0;
};

// Where arrivals and removals come from: the platform keeps them until the application's event loop asks.
class CDeviceEventSource {
 public:
  virtual ~CDeviceEventSource() = default;
  virtual void Subscribe(CDeviceEventSink* sink_I) = 0;
  virtual void Unsubscribe(CDeviceEventSink* sink_I) = 0;
  // Hands every event that is due to the subscribers, on the caller's thread.
  virtual void DeliverDueEvents() = 0;
};

}  // namespace orv

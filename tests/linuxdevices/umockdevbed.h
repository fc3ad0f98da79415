// A umockdev testbed for one test: a private sysfs and /dev that libudev, libusb, libftdi1 and every open,
// ioctl and udev monitor of this process see, with ioctl handlers written in the test.
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <vector>

namespace orv::test {

// One ioctl a handler answers; it runs on umockdev's own thread.
class CIoctlCall {
 public:
  explicit CIoctlCall(UMockdevIoctlClient* client_I) : mClient(client_I) {}
  unsigned long Request() const { return umockdev_ioctl_client_get_request(mClient); }
  // The caller's memory the argument points to: size_I bytes that the handler may read and change; they go
  // back to the caller on Complete. Owned by the call.
  uint8_t* Memory(size_t size_I);
  // The memory (size_I bytes) the argument points to, or a pointer at offset_I within already resolved
  // memory (such as a URB's buffer); owned by the call, null when it cannot be read.
  UMockdevIoctlData* Resolved(size_t size_I, UMockdevIoctlData* within_I = nullptr, size_t offset_I = 0);
  void Complete(long result_I, int errno_I = 0);
  ~CIoctlCall();

 private:
  UMockdevIoctlClient* mClient;
  std::vector<UMockdevIoctlData*> mResolved;
};

using IoctlHandler = std::function<void(CIoctlCall& call_IO)>;

// Sets this thread as the one umockdev answers ioctls on, for the clock to tell.
bool InDeviceHandler();

class CUmockdevBed {
 public:
  CUmockdevBed();
  ~CUmockdevBed();
  CUmockdevBed(const CUmockdevBed&) = delete;
  CUmockdevBed& operator=(const CUmockdevBed&) = delete;

  // Adds a device; attributes and properties are name/value pairs. Returns its syspath.
  std::string Add(const std::string& subsystem_I, const std::string& name_I, const std::string& parent_I,
                  const std::vector<std::string>& attributes_I, const std::vector<std::string>& properties_I);
  void SetBinary(const std::string& syspath_I, const std::string& name_I, const std::vector<uint8_t>& bytes_I);
  // Creates the device node file (the testbed only records major:minor) and answers its ioctls. A node read
  // for what the device sends is a FIFO: a plain file would always be readable.
  void CreateNode(const std::string& node_I, IoctlHandler handler_I, bool fifo_I = false);
  void Chmod(const std::string& node_I, unsigned mode_I);
  void Uevent(const std::string& syspath_I, const char* action_I);
  // Sends "remove" first, while the device is still in sysfs, then takes it away.
  void Remove(const std::string& syspath_I);

 private:
  struct SHandler {
    UMockdevIoctlBase* base = nullptr;
    IoctlHandler handler;
  };

  UMockdevTestbed* mBed;
  std::string mRoot;
  std::mutex mLock;
  std::list<SHandler> mHandlers;
};

}  // namespace orv::test

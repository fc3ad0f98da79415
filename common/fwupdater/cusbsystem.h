// The USB-control seam: what the bulk board interface needs from the operating system's USB stack.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/fwupdater/cdevicetree.h"

namespace orv {

struct SUsbSetupPacket {
  uint8_t requestType = 0;
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;
};

// One opened USB device interface.
class CUsbDevice {
 public:
  virtual ~CUsbDevice() = default;
  // The 18-byte standard device descriptor.
  virtual bool GetDeviceDescriptor(std::vector<uint8_t>& descriptor_O) = 0;
  // One control transfer; the data stage moves up to `length` bytes to or from the buffer, which must be at
  // least that long. A device may answer fewer bytes than asked for: after a transfer from the device, the
  // buffer holds exactly the bytes it sent.
  virtual bool ControlTransfer(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO) = 0;
};

class CUsbSystem : public CDeviceTree {
 public:
  // Opens the device interface path for control transfers; empty when it cannot be opened.
  virtual std::unique_ptr<CUsbDevice> Open(const std::string& path_I) = 0;
};

}  // namespace orv

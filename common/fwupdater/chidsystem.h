// The HID-device seam: what the flash-loader interfaces need from the operating system's HID stack and its
// device tree. Each platform (and the simulation) supplies one CHidSystem.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/fwupdater/cdevicetree.h"

namespace orv {

struct SHidAttributes {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t version = 0;
};

struct SHidCaps {
  uint16_t usage = 0;
  uint16_t usagePage = 0;
  bool operator==(const SHidCaps&) const = default;
};

// One open HID collection.
class CHidDevice {
 public:
  virtual ~CHidDevice() = default;
  virtual bool GetAttributes(SHidAttributes& attributes_O) = 0;
  // Usage and usage page of the top-level collection.
  virtual bool GetCaps(SHidCaps& caps_O) = 0;
  // Sends a feature report; byte 0 is the report id, the vector's size is the report's length.
  virtual bool SetFeature(const std::vector<uint8_t>& report_I) = 0;
  // Reads a feature report into the buffer; byte 0 names the report id, the buffer's size its length.
  virtual bool GetFeature(std::vector<uint8_t>& report_IO) = 0;
};

// HID collections and the device tree they hang in.
class CHidSystem : public CDeviceTree {
 public:
  // Opens the collection at a device interface path for feature-report I/O; empty when it cannot be opened.
  virtual std::unique_ptr<CHidDevice> Open(const std::string& path_I) = 0;
};

}  // namespace orv

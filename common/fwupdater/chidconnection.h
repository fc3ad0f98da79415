// A board interface's connection to one HID collection: open and close, identity, ancestor ids, and feature
// reports, wrapped in the HID-router report when the collection sits behind a HID router.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/fwupdater/chidsystem.h"

namespace orv {

constexpr uint16_t kHidRouterUsagePage = 0xFF00;

class CHidConnection {
 public:
  explicit CHidConnection(std::shared_ptr<CHidSystem> system_I) : mSystem(std::move(system_I)) {}

  bool Open(const std::string& path_I);
  void Close() { mDevice.reset(); }
  bool IsOpen() const { return mDevice != nullptr; }
  bool GetAttributes(SHidAttributes& attributes_O);
  bool GetCaps(SHidCaps& caps_O);
  // Behind a HID router (usage page 0xFF00) the report travels wrapped; the buffer comes back unwrapped,
  // as long as the device said (never longer than what came back), whatever the result. A get whose inner
  // answer is shorter than the report asked for fails.
  bool SetFeature(std::vector<uint8_t>& report_IO, uint16_t usagePage_I);
  bool GetFeature(std::vector<uint8_t>& report_IO, uint16_t usagePage_I);
  // The instance id `levels_I` steps up the device tree from the device node of an interface path.
  std::string GetParentDeviceId(const std::string& path_I, uint8_t levels_I);

  // The wrapper: 0xDC, the inner length (most significant byte first), the inner report, zeros up to 1024.
  static void Wrap(std::vector<uint8_t>& report_IO);
  static void Unwrap(std::vector<uint8_t>& report_IO);

 private:
  std::shared_ptr<CHidSystem> mSystem;
  std::unique_ptr<CHidDevice> mDevice;
};

}  // namespace orv

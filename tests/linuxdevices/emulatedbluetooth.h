// A board on bluetooth, as the kernel shows it: its HID device hangs below the connection of the host's
// adapter (itself a USB dongle of another maker), its hidraw node answers with the bluetooth bus, and the
// version the board declares is carried by the input device the kernel makes for it: the HID device has none
// and there is no USB device of its own.
#pragma once

#include <cstdint>
#include <string>

#include "tests/linuxdevices/emulatedudev.h"

namespace orv::test {

class CEmulatedBluetoothBoard {
 public:
  static constexpr uint16_t kProductId = 0x0211;
  static constexpr const char* kNode = "/dev/hidraw7";

  // The board connects; udev has not finished with its node yet.
  CEmulatedBluetoothBoard(CUmockdevBed& bed_I, CEmulatedUdev& udev_I, uint16_t version_I);

  const std::string& HidrawSyspath() const { return mHidraw; }

 private:
  std::string mHidraw;
};

}  // namespace orv::test

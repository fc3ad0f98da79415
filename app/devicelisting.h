// What "--list" shows: every device a discovery finds, its boards with their ids, how each is reached, whether
// it runs normally or its boot loader, the firmware version it reports and the version of the package's file
// for it where the file names one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/fwupdater/cdiscovery.h"

namespace orv {

struct SListedBoard {
  std::string board;
  uint32_t vendorId = 0;
  uint32_t productId = 0;
  // "HID", "I2C", "BULK", "FTDI".
  std::string interfaceKind;
  // "normal", "loader", or "not found" for a board the model has but the bus does not show.
  std::string mode;
  std::string path;
  // Empty when unknown.
  std::string version;
  std::string file;
  std::string fileVersion;
  // Why the file does not load; empty when it does (or there is none).
  std::string fileProblem;
};

struct SListedDevice {
  std::string name;
  bool loader = false;
  std::vector<SListedBoard> boards;
};

// Files are looked up relative to the working directory, as an update would. The scaler's version is read
// over DDC/CI through the installed bridge binding on the given port (low byte), or without one (0xFF) on the
// only bridge attached, as an update would.
std::vector<SListedDevice> ListDevices(const CDiscovery& discovery_I, uint16_t scalerPort_I = 65535);

// One line per board, under one line per device:
//   Orvel Display 16 (normal mode)
//     pen  HID  4F52:0210  normal  firmware 1.00  file display_pen.orv 1.01  \\?\HID#...
std::vector<std::string> DeviceListingLines(const std::vector<SListedDevice>& devices_I);

}  // namespace orv

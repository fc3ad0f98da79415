// What a simulated board's firmware declares in its HID report descriptor, written as vendor firmware writes
// it: per top-level collection several feature report ids, each at its own length. The normal-mode commands
// sit in reports of one fixed size, the loader's at their protocol lengths for the board's geometry, a
// router's wrapper at its full length, a tunnel's requests and answers at the longer of their two uses. The
// board's command handlers read the first bytes of a report and fill the first bytes of an answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/fwupdater/chidsystem.h"
#include "sim/csimplatform.h"

namespace orv::test {

struct SFirmwareReport {
  uint8_t id = 0;
  // On the wire, the id byte included (for a collection without ids, the 0 hidraw puts in front).
  size_t length = 0;
  // What the board's handler takes from a set and answers to a get; the rest of the report is zero.
  size_t setLength = 0;
  size_t getLength = 0;
};

struct SFirmwareCollection {
  SHidCaps caps;
  std::vector<SFirmwareReport> reports;
  // The collection's one report carries no id.
  bool withoutIds = false;
};

// A HID descriptor with the collections, each report id given before its fields (a report of a collection
// without ids has none).
std::vector<uint8_t> FirmwareDescriptor(const std::vector<SFirmwareCollection>& collections_I);

// The collection of the board at the simulated path: the normal-mode reports where the board shows in normal
// mode, the loader's where it shows as its loader (both for a board that switches in place), only the
// wrapper behind a HID router, the tunnel's reports and ping for an I2C tunnel; none for a device that
// is none of these boards.
SFirmwareCollection BoardFirmware(const sim::CSimPlatform& platform_I, const std::string& simPath_I,
                                  const SHidCaps& caps_I);

}  // namespace orv::test
